#include "launcher/local_settings.h"

#include <memory>

#include "archive/big_file.h"
#include "common/parlo_string.h"
#include "common/typed_text.h"

namespace {
constexpr char kSettingsEntry[] = "_localSettings";
}  // namespace

void OpenOrCreateBigFile(Parlo_BigFile* archive, const char* path) {
  if (archive->LoadBigFile(path)) return;
  archive->CreateBigFile(path);
  archive->LoadBigFile(path);
}

void StoreLanguage(Parlo_BigFile* archive, int32_t language) {
  Parlo_String text = Parlo_String::Format("#defaultLanguage=i%x", language);
  // The terminating NUL is part of the entry, so a reader can take it as text.
  archive->AddFile(kSettingsEntry, text.Buffer(), static_cast<uint32_t>(text.Length() + 1),
                   kBigFileReplace);
  archive->SaveBigFile();
}

int32_t ReadLanguage(Parlo_BigFile* archive) {
  int64_t length = archive->GetFileLength(kSettingsEntry);
  if (length <= 0) return 0;
  // One zero byte more than the entry, so the text ends even if the entry's does not.
  auto bytes = std::make_unique<char[]>(static_cast<size_t>(length) + 1);
  if (!archive->ExtractFile(kSettingsEntry, bytes.get())) return 0;
  Parlo_StringW text(bytes.get());
  if (text.IsNull()) return 0;
  Parlo_TypedText settings(text.Buffer(), text.Length());
  const Parlo_TypedNode* node = settings.root.Find(u"defaultLanguage");
  return node != nullptr ? node->AsInt() : 0;
}
