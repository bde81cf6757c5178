#include "launcher/update_run.h"

#include <zlib.h>

#include <cstring>
#include <new>

#include "archive/big_file.h"
#include "common/clock.h"
#include "common/crc32.h"
#include "common/debug_log.h"
#include "common/random.h"
#include "common/streams.h"
#include "common/typed_text.h"
#include "launcher/fendu_update.h"
#include "net/fendu_download.h"
#include "net/http.h"
#include "platform/platform.h"

#ifndef VOSSARIUM_UPDATE_URL
#define VOSSARIUM_UPDATE_URL "http://127.0.0.1:8080/"
#endif

char g_updateBaseURL[1024] = VOSSARIUM_UPDATE_URL;
uint32_t g_retryPauseMs = 3000;

const char* const g_clientResources[6] = {
    "DravoClient",
    "gfx_postfilters_and_layersetup",
    "gfx_layersetup_lowshadow",
    "gfx_layersetup_hishadow",
    "gfx_backgrounds",
    "gfx_basebackground",
};

namespace {

constexpr int kAttempts = 20;
// Deflate never expands more than 1032 to 1: a prefix announcing more than
// that (plus the stream's own framing) cannot be honest.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 1024;

constexpr char kCorruptedData[] = "Corrupted update data! Please try again later!";
constexpr char kWriteFailed[] =
    "Unable to write datafile! Please check for disk space and disk integrity!";

// Any of the integer letters a list may use for a number.
int64_t IntegerOf(const Parlo_TypedNode& node) {
  switch (node.type) {
    case u'i':
    case u'n':
      return node.AsInt();
    case u'L':
    case u'm':
      return node.AsInt64();
    default:
      return 0;
  }
}

// The fields of a resource entry; an entry that is no list has none.
const Parlo_TypedNodeList& FieldsOf(const Parlo_TypedNode& entry) {
  static const Parlo_TypedNodeList kNoFields;
  const Parlo_TypedNodeList* fields = entry.AsList();
  return fields != nullptr ? *fields : kNoFields;
}

Parlo_StringW TargetOf(const Parlo_TypedNode& entry) {
  const Parlo_TypedNode* target = entry.Find(u"target");
  if (target != nullptr && target->AsText() != nullptr) return Parlo_StringW(target->AsText());
  return Parlo_StringW(u"Vossarium");
}

Parlo_String Narrow(const char16_t* text) {
  Parlo_String narrow(text != nullptr ? text : u"");
  return narrow.IsNull() ? Parlo_String() : narrow;
}

bool IsClientResource(const Parlo_String& name) {
  for (const char* client : g_clientResources) {
    if (std::strcmp(name.Buffer(), client) == 0) return true;
  }
  return false;
}

void WriteLittleEndian32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The CRC-32 of a whole file, 0 when it cannot be opened.
uint32_t FileCrc32(const char* path) {
  Parlo_StreamreaderFile file;
  if (!file.Open(path)) return 0;
  static constexpr uint32_t kPiece = 1 << 20;
  auto buffer = std::make_unique<uint8_t[]>(kPiece);
  uint32_t crc = 0;
  for (uint32_t got; (got = file.Read(buffer.get(), kPiece)) > 0;) {
    crc = Crc32Update(crc, buffer.get(), got);
  }
  return crc;
}

// Writes the game executable as "Vossarium.tmp" through a side file, so the
// replacer can never find a partly written program under that name.
bool WriteClientFile(const Parlo_String& directory, const uint8_t* data, uint32_t size) {
  Parlo_String target = directory + "Vossarium.tmp";
  Parlo_String part = target + ".part";
  platform::FileHandle file = platform::FileCreateTruncate(part.Buffer());
  if (file == nullptr) return false;
  bool ok = platform::FileWrite(file, data, size) && platform::FileFlush(file);
  platform::FileClose(file);
  ok = ok && platform::FileMoveReplace(part.Buffer(), target.Buffer());
  if (!ok) {
    platform::FileRemove(part.Buffer());
    platform::FileRemove(target.Buffer());
    return false;
  }
  platform::FileMakeExecutable(target.Buffer());
  return true;
}

bool CancelRun(Fendu_Update* frontEnd) {
  frontEnd->CloseWindow();
  g_http.Close();
  return false;
}

// Fetches and parses the resource list; every failure is fatal.
void FetchResourceList(Fendu_Update* frontEnd, Parlo_TypedText* list) {
  Parlo_String address = ResourceListAddress(frontEnd, Parlo_Random());
  g_http.keepAlive = true;
  g_http.SetMethod("GET");
  g_http.SetURL(address.Buffer());
  if (!g_http.SendRequest(nullptr, nullptr)) FatalError("Server not responding!");
  if (g_http.ReadHead() != 200) FatalError("Error while downloading resourcelist!");
  uint8_t* body = nullptr;
  int length = 0;
  if (!g_http.ReadBody(&body, &length, nullptr, nullptr)) {
    FatalError("Error while downloading list of resources!");
  }
  Parlo_String bytes(reinterpret_cast<const char*>(body), length);
  Parlo_StringW text(bytes.Buffer());
  list->Parse(text.IsNull() ? Parlo_StringW() : text);
  if (list->root.Find(u"resources") == nullptr || list->root.Find(u"date") == nullptr) {
    FatalError("Invalid data! Please try again later!");
  }
}

// Downloads one resource, unpacked when the list says so, retrying as the run
// does. False when the player cancelled.
bool DownloadResource(Fendu_Update* frontEnd, char* url, bool compressed, const Parlo_String& name,
                      Parlo_StreamwriterMemory* body, UnpackBuffer* unpacked,
                      uint32_t* unpacked_length) {
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    body->Reset();
    bool ok = Fendu_DownloadFromUpdateURL(frontEnd, url, body);
    if (ok && compressed) {
      UnpackResult result =
          UnpackResource(body->GetBuffer(), body->GetLength(), unpacked, unpacked_length);
      if (result == UnpackResult::kZeroLength) {
        FatalError(
            Parlo_String::Format("Uncompressed size is zero in '%s'", name.Buffer()).Buffer());
      }
      // A body that does not unpack to what it announced is as good as a
      // failed download: it is fetched again, never stored.
      ok = result == UnpackResult::kOk;
    }
    if (ok) return true;
    if (frontEnd->IsCancelled()) return false;
    frontEnd->SetStatus(u"update_retry", attempt, kAttempts);
    platform::SleepMs(g_retryPauseMs);
  }
  FatalError("Failed to acquire resource! Please try again later!");
}

// Adds the resource to its archive, tags it and saves the archive at once, so
// every finished resource survives an interruption.
void CommitResource(Fendu_Update* frontEnd, const Parlo_StringW& target, const Parlo_String& name,
                    const uint8_t* data, uint32_t length, uint32_t version, int32_t language) {
  DebugLog(u"[update] AddFile: %S - %d bytes\n", name.Buffer(), static_cast<int>(length));
  Parlo_BigFile* archive = frontEnd->GetBigFile(target);
  archive->AddFile(name.Buffer(), data, length, kBigFileReplace);
  if (uint8_t* tag = archive->GetFileTag(name.Buffer())) {
    WriteLittleEndian32(tag + 4, version);
    WriteLittleEndian32(tag + 8, static_cast<uint32_t>(language));
    tag[12] = 1;
  }
  DebugLog(u"[update] SaveBigFile\n");
  if (!archive->SaveBigFile()) FatalError(kWriteFailed);
  DebugLog(u"[update] UnloadAllFiles\n");
  archive->UnloadAllFiles();
}

// Deploys the main archive's game executable when it differs from the one on
// disk or when the run asks for it. Ends the process when there is none.
void CheckClient(Fendu_Update* frontEnd, bool deploy) {
  Parlo_String directory = frontEnd->GetGameDirectory();
  Parlo_String executable = directory + "Vossarium.exe";
  uint32_t local_crc = FileCrc32(executable.Buffer());

  Parlo_BigFile* archive = frontEnd->GetBigFile(Parlo_StringW(u"Vossarium"));
  int64_t length = archive->GetFileLength("DravoClient");
  // An entry without bytes is no executable either: installing it would
  // leave the player without a game.
  if (length <= 0) {
    DebugLog(u"[update] Client not found in bigfile!");
    platform::ExitProcessNow(0);
  }
  std::unique_ptr<uint8_t[]> client(new (std::nothrow) uint8_t[static_cast<size_t>(length)]);
  if (!client || !archive->ExtractFile("DravoClient", client.get())) FatalError(kWriteFailed);
  uint32_t size = static_cast<uint32_t>(length);
  if (Crc32(client.get(), size) == local_crc && !deploy) return;
  if (!WriteClientFile(directory, client.get(), size)) FatalError(kWriteFailed);
  frontEnd->ReplaceClient();
}

}  // namespace

void FatalError(const char* text) {
  platform::ShowMessageBox(text, "Vossarium - Fatal error!", platform::kMbIconError);
  platform::ExitProcessNow(0);
}

Parlo_String ResourceListAddress(Fendu_Update* frontEnd, int firg) {
  Parlo_String base = frontEnd->GetUpdateURL();
  return Parlo_String::Format("%sresource.002.php?language=%d&client=%d&firg=%d", base.Buffer(),
                              frontEnd->GetLanguage(), frontEnd->GetClientId(), firg);
}

Parlo_String ChooseDownloadBase(Fendu_Update* frontEnd, const Parlo_TypedText& list) {
  Parlo_String base = frontEnd->GetUpdateURL();
  const Parlo_TypedNode* mirrors = list.root.Find(u"mirrors");
  if (mirrors == nullptr) return base;
  int draw = Parlo_Random();
  // An empty mirror list leaves nothing to choose from: the base stays.
  if (mirrors->Count() <= 0) return base;
  const Parlo_TypedNode& mirror = mirrors->At(draw % mirrors->Count());
  const char16_t* url = mirror.Get(u"url").AsText();
  return url != nullptr ? Narrow(url) : base;
}

UnpackResult UnpackResource(const uint8_t* body, uint32_t length, std::unique_ptr<uint8_t[]>* out,
                            uint32_t* out_length) {
  UnpackBuffer buffer;
  UnpackResult result = UnpackResource(body, length, &buffer, out_length);
  if (result == UnpackResult::kOk) *out = std::move(buffer.block);
  return result;
}

UnpackResult UnpackResource(const uint8_t* body, uint32_t length, UnpackBuffer* out,
                            uint32_t* out_length) {
  if (body == nullptr || length < 4) return UnpackResult::kFailed;
  uint32_t announced = uint32_t(body[0]) | uint32_t(body[1]) << 8 | uint32_t(body[2]) << 16 |
                       uint32_t(body[3]) << 24;
  if (announced == 0) return UnpackResult::kZeroLength;
  uint64_t stream_length = length - 4;
  if (announced > stream_length * kMaxInflateRatio + kInflateSlack) return UnpackResult::kFailed;
  if (out->capacity < announced) {
    out->block.reset();
    out->capacity = 0;
    out->block.reset(new (std::nothrow) uint8_t[announced]);
    if (!out->block) return UnpackResult::kFailed;
    out->capacity = announced;
  }
  uLongf produced = announced;
  int rc = uncompress(out->block.get(), &produced, body + 4, static_cast<uLong>(stream_length));
  if (rc != Z_OK || produced != announced) return UnpackResult::kFailed;
  *out_length = announced;
  return UnpackResult::kOk;
}

bool Fendu_Update::NeedsUpdate(const Parlo_StringW& name, const Parlo_TypedNodeList& fields,
                               const Parlo_StringW& target) {
  Parlo_String narrow = Narrow(name.Buffer());
  const Parlo_TypedNode* version_node = fields.Find(u"version");
  if (version_node == nullptr) FatalError(kCorruptedData);
  uint32_t version = static_cast<uint32_t>(IntegerOf(*version_node));
  int32_t language = static_cast<int32_t>(IntegerOf(fields.Get(u"language")));

  Parlo_BigFile* archive = GetBigFile(target);
  bool needed = true;
  if (archive->FileExists(narrow.Buffer())) {
    uint8_t* tag = archive->GetFileTag(narrow.Buffer());
    tag[12] = 0;
    uint32_t stored_version;
    int32_t stored_language;
    std::memcpy(&stored_version, tag + 4, 4);
    std::memcpy(&stored_language, tag + 8, 4);
    if (stored_language != language) {
      archive->RemoveFile(narrow.Buffer());
    } else {
      needed = stored_version < version;
    }
  }
  if (archive->GetFileLength(narrow.Buffer()) <= 0) needed = true;
  return needed;
}

bool Fendu_RunUpdate(Fendu_Update* frontEnd) {
  Parlo_String directory = frontEnd->GetGameDirectory();
  for (const char* stale : {"vossarium_exereplace.exe", "r.exe", "Vossarium.tmp"}) {
    platform::FileRemove((directory + stale).Buffer());
  }
  Parlo_SeedRandom(static_cast<uint32_t>(Parlo_Milliseconds()));
  bool deploy = frontEnd->ForceClientCheck();

  if (!frontEnd->OpenWindow()) FatalError("Critical error!");
  g_downloaded = 0;
  frontEnd->SetStatus(u"update_connecting");

  Parlo_TypedText list;
  FetchResourceList(frontEnd, &list);
  const Parlo_TypedNode& resources = list.root.Get(u"resources");
  const int count = resources.Count();

  int32_t total = 0;
  for (int i = 0; i < count; ++i) {
    const Parlo_TypedNode& entry = resources.At(i);
    const Parlo_TypedNodeList& fields = FieldsOf(entry);
    if (frontEnd->NeedsUpdate(entry.name, fields, TargetOf(entry))) {
      total = static_cast<int32_t>(static_cast<uint32_t>(total) +
                                   static_cast<uint32_t>(IntegerOf(entry.Get(u"size"))));
    }
  }
  frontEnd->SetProgressRange(static_cast<uint32_t>(total));
  frontEnd->SetProgress(0);

  Parlo_String base = ChooseDownloadBase(frontEnd, list);
  // Both live across resources: fresh blocks of hundreds of MiB in all would
  // cost a page fault per 4 KiB each time.
  Parlo_StreamwriterMemory body;
  UnpackBuffer unpacked;
  for (int i = 0; i < count; ++i) {
    const Parlo_TypedNode& entry = resources.At(i);
    const Parlo_TypedNodeList& fields = FieldsOf(entry);
    Parlo_String name = Narrow(entry.name.Buffer());
    Parlo_StringW target = TargetOf(entry);
    uint32_t version = static_cast<uint32_t>(IntegerOf(fields.Get(u"version")));
    int32_t language = static_cast<int32_t>(IntegerOf(fields.Get(u"language")));
    uint32_t size = static_cast<uint32_t>(IntegerOf(fields.Get(u"size")));
    bool needed = frontEnd->NeedsUpdate(entry.name, fields, target);
    bool compressed = IntegerOf(fields.Get(u"compression")) == 1;

    DebugLog(u"[update] %d/%d (%s) - %s\n", i + 1, count, entry.name.Buffer(),
             needed ? u"needs update" : u"up-to-date");
    if (needed) {
      if (IsClientResource(name)) deploy = true;
      Parlo_String address = base + Narrow(fields.Get(u"path").AsText());
      // The address must fit the download buffer whole: a cut address would
      // fetch some other file.
      if (address.Length() >= kUpdateUrlBytes) FatalError(kCorruptedData);
      char url[kUpdateUrlBytes] = {};
      std::memcpy(url, address.Buffer(), static_cast<size_t>(address.Length()));

      uint32_t unpacked_length = 0;
      if (!DownloadResource(frontEnd, url, compressed, name, &body, &unpacked, &unpacked_length)) {
        return CancelRun(frontEnd);
      }
      const uint8_t* data = compressed ? unpacked.block.get() : body.GetBuffer();
      uint32_t length = compressed ? unpacked_length : body.GetLength();
      CommitResource(frontEnd, target, name, data, length, version, language);
      g_downloaded += size;
      frontEnd->SetProgress(g_downloaded);
    }
    if (frontEnd->IsCancelled()) return CancelRun(frontEnd);
  }

  g_http.Close();
  frontEnd->SetStatus(u"update_finished");
  CheckClient(frontEnd, deploy);
  frontEnd->CloseWindow();
  return true;
}
