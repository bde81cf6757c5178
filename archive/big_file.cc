#include "archive/big_file.h"

#include <algorithm>
#include <cstring>

#include "archive/directory_codec.h"
#include "archive/scramble.h"
#include "common/streams.h"

namespace {

constexpr uint64_t kHeaderSize = bigfile::kHeaderSize;

// Closes a file at the end of a scope.
class ScopedFile {
 public:
  explicit ScopedFile(platform::FileHandle file) : file_(file) {}
  ~ScopedFile() {
    if (file_ != nullptr) platform::FileClose(file_);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  platform::FileHandle get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }
  void Close() {
    if (file_ != nullptr) platform::FileClose(file_);
    file_ = nullptr;
  }

 private:
  platform::FileHandle file_;
};

void FoldInto(const char* name, std::string* folded) {
  folded->assign(name);
  for (char& c : *folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string FoldName(const char* name) {
  std::string folded;
  FoldInto(name, &folded);
  return folded;
}

bool SameFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
    if (x == 0) return true;
  }
}

// Reads exactly `size` bytes at `offset`; false on any shortfall.
bool ReadAt(platform::FileHandle file, uint64_t offset, void* buffer, uint64_t size) {
  if (platform::FileSeek(file, static_cast<int64_t>(offset), platform::SeekOrigin::kBegin) !=
      static_cast<int64_t>(offset)) {
    return false;
  }
  uint8_t* out = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(size, 1u << 30));
    int64_t got = platform::FileRead(file, out, chunk);
    if (got <= 0) return false;
    out += got;
    size -= static_cast<uint64_t>(got);
  }
  return true;
}

bool WriteAt(platform::FileHandle file, uint64_t offset, const void* data, uint32_t size) {
  return platform::FileSeek(file, static_cast<int64_t>(offset), platform::SeekOrigin::kBegin) ==
             static_cast<int64_t>(offset) &&
         platform::FileWrite(file, data, size);
}

// Opens the archive for writing, creating it when it does not exist yet, but
// never emptying a file that is there.
platform::FileHandle OpenForWriting(const char* path) {
  if (path == nullptr || *path == 0) return nullptr;
  platform::FileHandle file = platform::FileOpenExisting(path, true);
  if (file == nullptr && !platform::FileExists(path)) file = platform::FileCreateTruncate(path);
  return file;
}

void MakeScrambled(BIGFILE_FILE* entry) {
  if (entry->scrambled != nullptr || entry->data == nullptr) return;
  entry->scrambled = std::make_unique_for_overwrite<uint8_t[]>(entry->dataSize);
  ScrambleBytes(entry->data.get(), entry->scrambled.get(), entry->dataSize);
  entry->scrambledSize = entry->dataSize;
}

void ReleaseMemory(BIGFILE_FILE* entry) {
  entry->data.reset();
  entry->scrambled.reset();
}

}  // namespace

Parlo_BigFile::Parlo_BigFile() = default;
Parlo_BigFile::~Parlo_BigFile() = default;

// ---- Lookups -----------------------------------------------------------------

void Parlo_BigFile::RebuildIndex() {
  index_.clear();
  index_.reserve(static_cast<size_t>(count) * 2);
  for (int i = 0; i < count; ++i) {
    const char* name = items[i]->name.Buffer();
    index_.emplace(FoldName(name != nullptr ? name : ""), i);  // the first one stays
  }
  indexedCount_ = count;
  indexedItems_ = items;
  indexValid_ = true;
}

int Parlo_BigFile::FindFile(const char* name) {
  if (name == nullptr) return -1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    // The list is public: a change made around the archive's operations shows
    // in its count or slot block, and a stale answer fails the name check.
    if (!indexValid_ || indexedCount_ != count || indexedItems_ != items) RebuildIndex();
    // One key buffer per thread: lookups allocate nothing once it has grown.
    thread_local std::string key;
    FoldInto(name, &key);
    auto found = index_.find(key);
    if (found == index_.end()) return -1;
    int i = found->second;
    const char* held = i < count ? items[i]->name.Buffer() : nullptr;
    if (held != nullptr && SameFolded(held, name)) return i;
    indexValid_ = false;
  }
  return -1;
}

bool Parlo_BigFile::FileExists(const char* name) { return FindFile(name) >= 0; }

int64_t Parlo_BigFile::GetFileLength(const char* name) {
  int i = FindFile(name);
  return i < 0 ? -1 : static_cast<int64_t>(items[i]->size);
}

uint8_t* Parlo_BigFile::GetFileTag(const char* name) {
  int i = FindFile(name);
  return i < 0 ? nullptr : items[i]->tag;
}

// ---- Memory ------------------------------------------------------------------

void Parlo_BigFile::UnloadFile(const char* name) {
  int i = FindFile(name);
  if (i >= 0 && items[i]->offset != 0) ReleaseMemory(items[i]);
}

void Parlo_BigFile::UnloadAllFiles() {
  for (int i = 0; i < count; ++i) {
    if (items[i]->offset != 0) ReleaseMemory(items[i]);
  }
}

void Parlo_BigFile::AddFile(const char* name, const void* data, uint32_t size, uint32_t flags) {
  Parlo_SpinLockScope hold(lock);
  if (name == nullptr || *name == 0 || size == 0 || data == nullptr) return;
  if (FindFile(name) >= 0) {
    if ((flags & kBigFileReplace) == 0) return;
    RemoveFile(name);
  }
  auto entry = std::make_unique<BIGFILE_FILE>();
  entry->name = name;
  entry->data = std::make_unique_for_overwrite<uint8_t[]>(size);
  std::memcpy(entry->data.get(), data, size);
  entry->dataSize = size;
  const bool keepIndex = indexValid_ && indexedCount_ == count && indexedItems_ == items;
  Add(entry.release());
  if (keepIndex) {
    index_.emplace(FoldName(name), count - 1);
    indexedCount_ = count;
    indexedItems_ = items;
  }
}

void Parlo_BigFile::RemoveFile(const char* name) {
  Parlo_SpinLockScope hold(lock);
  int i = FindFile(name);
  if (i < 0) {
    TrimBigFile();
    return;
  }
  RemoveAt(i);
  InvalidateIndex();
}

// ---- Reading -----------------------------------------------------------------

void Parlo_BigFile::ResetToEmpty() {
  Clear();
  ReleaseMemory(&directory);
  directory.offset = 0;
  directory.size = 0;
  directory.dataSize = 0;
  directory.scrambledSize = 0;
  reserved = 0;
  committed_.clear();
  opened_ = false;
  InvalidateIndex();
}

bool Parlo_BigFile::LoadBigFile(const char* newPath) {
  Parlo_SpinLockScope hold(lock);
  if (newPath == nullptr) return false;
  ScopedFile file(platform::FileOpenExisting(newPath, false));
  if (!file) return false;
  path = newPath;

  uint8_t headerBytes[kHeaderSize] = {};
  int64_t got = platform::FileRead(file.get(), headerBytes, kHeaderSize);
  if (got < 0) got = 0;
  bigfile::Layout layout = bigfile::LayoutOf(headerBytes, static_cast<size_t>(got));
  if (layout == bigfile::Layout::kNone) {
    opened_ = false;
    return false;
  }
  // From here on the file claims to be an archive; anything that does not
  // hold together leaves the object empty, so nothing of it is ever written back.
  ResetToEmpty();
  int64_t fileSize = platform::FileSize(file.get());
  if (got < static_cast<int64_t>(kHeaderSize) || fileSize < 0) return false;
  bigfile::Header header = bigfile::ParseHeader(headerBytes);
  const bool legacy = layout == bigfile::Layout::kLegacy;
  if (header.directorySize == 0 && !legacy) {
    directory.offset = header.directoryOffset;
    opened_ = true;
    return true;
  }
  if (header.directorySize > 0 &&
      (header.directoryOffset < kHeaderSize ||
       header.directoryOffset > static_cast<uint64_t>(fileSize) ||
       header.directorySize > static_cast<uint64_t>(fileSize) - header.directoryOffset)) {
    return false;
  }
  directory.offset = header.directoryOffset;
  directory.size = header.directorySize;
  directory.scrambled = std::make_unique_for_overwrite<uint8_t[]>(header.directorySize);
  directory.scrambledSize = header.directorySize;
  if (!ReadAt(file.get(), header.directoryOffset, directory.scrambled.get(),
              header.directorySize)) {
    ResetToEmpty();
    return false;
  }
  directory.data = std::make_unique_for_overwrite<uint8_t[]>(header.directorySize);
  directory.dataSize = header.directorySize;
  ScrambleBytes(directory.scrambled.get(), directory.data.get(), header.directorySize);

  bigfile::DirectoryContents contents;
  bool decoded = legacy && header.directorySize == 0
                     ? true
                     : bigfile::DecodeDirectoryBlock(directory.data.get(), directory.dataSize,
                                                     layout, &contents, nullptr);
  if (!decoded ||
      !bigfile::CheckRegions(contents, header, static_cast<uint64_t>(fileSize), nullptr)) {
    ResetToEmpty();
    return false;
  }
  // Room for 10 records to start with; the list doubles from there.
  Clear();
  items = new BIGFILE_FILE*[10]();
  capacity = 10;
  AddDecodedEntries(contents);
  CommitRegions();
  opened_ = true;
  return true;
}

void Parlo_BigFile::AddDecodedEntries(const bigfile::DirectoryContents& contents) {
  for (const bigfile::DirectoryRecord& record : contents.records) {
    auto entry = std::make_unique<BIGFILE_FILE>();
    entry->name = Parlo_String(record.name.data(), static_cast<int>(record.name.size()));
    entry->offset = record.offset;
    entry->size = record.size;
    std::memcpy(entry->tag, record.tag, sizeof(entry->tag));
    Add(entry.release());
  }
  reserved = contents.reserved;
}

bool Parlo_BigFile::DecodeDirectory() { return DecodeBlock(false); }
bool Parlo_BigFile::DecodeLegacyDirectory() { return DecodeBlock(true); }

// Re-reads the entry list from the plain directory block held in memory.
bool Parlo_BigFile::DecodeBlock(bool legacy) {
  bigfile::DirectoryContents contents;
  if (directory.data == nullptr && directory.dataSize > 0) return false;
  // An empty block lists nothing (the current layout never decodes one).
  if (directory.dataSize > 0 &&
      !bigfile::DecodeDirectoryBlock(directory.data.get(), directory.dataSize,
                                     legacy ? bigfile::Layout::kLegacy : bigfile::Layout::kCurrent,
                                     &contents, nullptr)) {
    return false;
  }
  Clear();
  AddDecodedEntries(contents);
  InvalidateIndex();
  return true;
}

bool Parlo_BigFile::ExtractFile(const char* name, void* buffer) {
  Parlo_SpinLockScope hold(lock);
  int i = FindFile(name);
  if (i < 0) return false;
  BIGFILE_FILE* entry = items[i];
  if (buffer == nullptr || entry->size == 0) return true;
  // Always from the file: the memory copy of an entry may be gone or newer.
  ScopedFile file(platform::FileOpenExisting(path.Buffer() != nullptr ? path.Buffer() : "", false));
  if (!file || !ReadAt(file.get(), entry->offset, buffer, entry->size)) {
    std::memset(buffer, 0, entry->size);
    return false;
  }
  ScrambleBytes(buffer, buffer, entry->size);
  return true;
}

// ---- Placement ---------------------------------------------------------------

void Parlo_BigFile::CommitRegions() {
  committed_.clear();
  committed_.reserve(static_cast<size_t>(count) + 1);
  for (int i = 0; i < count; ++i) {
    if (items[i]->offset != 0 && items[i]->size > 0) {
      committed_.push_back({items[i]->offset, items[i]->size});
    }
  }
  if (directory.size > 0) committed_.push_back({directory.offset, directory.size});
}

std::vector<FILEOFS> Parlo_BigFile::UsedRegions() {
  std::vector<FILEOFS> regions;
  regions.reserve(static_cast<size_t>(count) + committed_.size() + 1);
  for (int i = 0; i < count; ++i) {
    if (items[i]->offset != 0 && items[i]->size > 0) {
      regions.push_back({i, items[i]->offset, items[i]->size});
    }
  }
  if (directory.size > 0) regions.push_back({-1, directory.offset, directory.size});
  // What the header's directory lists stays used until a new header replaces
  // it, so a save never writes over bytes that a crash would still need.
  for (const Region& region : committed_) {
    regions.push_back({-2, region.offset, static_cast<uint32_t>(region.size)});
  }
  return regions;
}

std::vector<FILEOFS> Parlo_BigFile::SortedRegions() {
  std::vector<FILEOFS> regions = UsedRegions();
  std::sort(regions.begin(), regions.end(),
            [](const FILEOFS& a, const FILEOFS& b) { return a.offset < b.offset; });
  return regions;
}

// First fit over regions sorted by offset: the first gap behind the header
// that holds `size` bytes, or 0 when there is none (the space behind the last
// region is never offered).
static uint64_t FirstFit(const std::vector<FILEOFS>& regions, uint64_t size) {
  uint64_t position = bigfile::kHeaderSize;
  for (const FILEOFS& region : regions) {
    if (region.offset > position && region.offset - position >= size) return position;
    // A region that reaches less far (or lies in the header) never pulls the
    // position back over bytes already passed.
    position = std::max(position, region.offset + region.size);
  }
  return 0;
}

uint64_t Parlo_BigFile::FindFreeSpace(uint32_t size) { return FirstFit(SortedRegions(), size); }

uint64_t Parlo_BigFile::GetDataEnd() {
  uint64_t end = kHeaderSize;
  for (const FILEOFS& region : UsedRegions()) end = std::max(end, region.offset + region.size);
  return end;
}

void Parlo_BigFile::TrimBigFile() {
  Parlo_SpinLockScope hold(lock);
  if (!opened_ || path.Buffer() == nullptr) return;
  ScopedFile file(platform::FileOpenExisting(path.Buffer(), true));
  if (file) TrimOpenFile(file.get());
}

void Parlo_BigFile::TrimOpenFile(platform::FileHandle file) {
  if (!opened_) return;
  uint64_t end = GetDataEnd();
  // Nothing to cut: the common case of a save that appended, and no call.
  if (platform::FileSize(file) == static_cast<int64_t>(end)) return;
  if (platform::FileSeek(file, static_cast<int64_t>(end), platform::SeekOrigin::kBegin) !=
      static_cast<int64_t>(end)) {
    return;
  }
  platform::FileSetEnd(file);
}

// ---- Writing -----------------------------------------------------------------

void Parlo_BigFile::EncodeDirectory() {
  Parlo_StreamwriterMemory out;
  out.WriteInt32(count);
  for (int i = 0; i < count; ++i) {
    const BIGFILE_FILE* entry = items[i];
    const char* name = entry->name.Buffer() != nullptr ? entry->name.Buffer() : "";
    out.Write(name, static_cast<uint32_t>(std::strlen(name)) + 1);
    out.WriteInt64(static_cast<int64_t>(entry->offset));
    out.WriteInt64(static_cast<int64_t>(entry->size));  // the high half stays zero
    out.WriteInt32(bigfile::kTagSize);
    out.Write(entry->tag, bigfile::kTagSize);
  }
  out.WriteInt32(bigfile::kTrailerSize);
  out.WriteInt32(static_cast<int32_t>(reserved));
  directory.dataSize = out.GetLength();
  directory.data = std::make_unique_for_overwrite<uint8_t[]>(directory.dataSize);
  std::memcpy(directory.data.get(), out.GetBuffer(), directory.dataSize);
}

// Writes one new entry at the first gap that fits, or behind the used data.
// Its memory is released only once its bytes are in the file; a failed write
// leaves it new (offset 0, data kept) so that the next save tries again.
bool Parlo_BigFile::WriteEntryTo(platform::FileHandle file, BIGFILE_FILE* entry,
                                 std::vector<FILEOFS>* regions) {
  // An entry without bytes in memory is never written as empty.
  if (entry->scrambled == nullptr && entry->data == nullptr) return false;
  const uint32_t size = entry->scrambled != nullptr ? entry->scrambledSize : entry->dataSize;
  entry->offset = 0;
  entry->size = 0;
  uint64_t position = FirstFit(*regions, size);
  if (position == 0) {
    position = bigfile::kHeaderSize;
    for (const FILEOFS& region : *regions)
      position = std::max(position, region.offset + region.size);
  }
  if (!WriteScrambled(file, position, entry)) return false;
  entry->offset = position;
  entry->size = size;
  ReleaseMemory(entry);
  // The new region joins the sorted list, so a save of many entries sorts once.
  FILEOFS placed{-3, position, entry->size};
  auto at =
      std::upper_bound(regions->begin(), regions->end(), placed,
                       [](const FILEOFS& a, const FILEOFS& b) { return a.offset < b.offset; });
  regions->insert(at, placed);
  return true;
}

// Writes the entry's scrambled bytes at `position`. Without a scrambled copy the
// plain bytes are scrambled piece by piece through one block that lives as long
// as the archive: a fresh block per entry would cost a page fault per 4 KiB.
bool Parlo_BigFile::WriteScrambled(platform::FileHandle file, uint64_t position,
                                   const BIGFILE_FILE* entry) {
  if (entry->scrambled != nullptr) {
    return WriteAt(file, position, entry->scrambled.get(), entry->scrambledSize);
  }
  if (platform::FileSeek(file, static_cast<int64_t>(position), platform::SeekOrigin::kBegin) !=
      static_cast<int64_t>(position)) {
    return false;
  }
  // A whole number of keystream periods, so every piece starts at key 0 as
  // its offset in the entry does.
  constexpr uint32_t kPiece = 1u << 20;
  static_assert(kPiece % 256 == 0);
  if (scratch_ == nullptr) scratch_ = std::make_unique_for_overwrite<uint8_t[]>(kPiece);
  const uint8_t* plain = entry->data.get();
  for (uint32_t done = 0; done < entry->dataSize;) {
    uint32_t piece = std::min(kPiece, entry->dataSize - done);
    ScrambleBytes(plain + done, scratch_.get(), piece);
    if (!platform::FileWrite(file, scratch_.get(), piece)) return false;
    done += piece;
  }
  return true;
}

bool Parlo_BigFile::WriteFileData(BIGFILE_FILE* entry) {
  Parlo_SpinLockScope hold(lock);
  ScopedFile file(OpenForWriting(path.Buffer()));
  if (!file) return false;
  std::vector<FILEOFS> regions = SortedRegions();
  return WriteEntryTo(file.get(), entry, &regions);
}

bool Parlo_BigFile::SaveBigFile() {
  Parlo_SpinLockScope hold(lock);
  ScopedFile file(OpenForWriting(path.Buffer()));
  if (!file) return false;
  std::vector<FILEOFS> regions = SortedRegions();
  for (int i = 0; i < count; ++i) {
    if (items[i]->offset == 0 && !WriteEntryTo(file.get(), items[i], &regions)) return false;
  }
  TrimOpenFile(file.get());

  EncodeDirectory();
  const uint32_t size = directory.dataSize;
  // The current directory still counts as used, so the new one goes elsewhere
  // and the header keeps pointing at a complete directory until it is rewritten.
  // `regions` already holds every used region, the entries just placed too.
  uint64_t position = FirstFit(regions, size);
  directory.scrambled = std::make_unique_for_overwrite<uint8_t[]>(size);
  directory.scrambledSize = size;
  ScrambleBytes(directory.data.get(), directory.scrambled.get(), size);
  if (position == 0) {
    int64_t end = platform::FileSeek(file.get(), 0, platform::SeekOrigin::kEnd);
    if (end < 0) return false;
    position = std::max<uint64_t>(static_cast<uint64_t>(end), GetDataEnd());
  }
  // Entry data and the directory that lists them reach the disk together,
  // before the header that points at them: one flush for both, since neither
  // is reachable until the header names the directory.
  if (!WriteAt(file.get(), position, directory.scrambled.get(), size) ||
      !platform::FileFlush(file.get())) {
    return false;
  }
  directory.offset = position;
  directory.size = size;

  // The header goes last: until it is on disk the old directory is in force.
  uint8_t header[kHeaderSize];
  bigfile::WriteHeader(position, size, header);
  if (!WriteAt(file.get(), 0, header, sizeof(header)) || !platform::FileFlush(file.get())) {
    return false;
  }
  CommitRegions();
  opened_ = true;
  TrimOpenFile(file.get());
  return true;
}

void Parlo_BigFile::CreateBigFile(const char* newPath) {
  Parlo_SpinLockScope hold(lock);
  if (newPath == nullptr || *newPath == 0) return;
  const Parlo_String target(newPath);
  const Parlo_String temporary = target + ".tmp";
  platform::FileHandle out = platform::FileCreateTruncate(temporary.Buffer());
  if (out == nullptr) return;
  // Entries whose bytes are only in the current file are copied from there.
  ScopedFile source(path.Buffer() != nullptr && *path.Buffer() != 0
                        ? platform::FileOpenExisting(path.Buffer(), false)
                        : nullptr);
  // Entries of another file keep that file's path until their bytes have moved.
  if (count == 0) path = target;

  // New places are kept aside and take effect only once the file is in place.
  std::vector<uint64_t> offsets(static_cast<size_t>(count));
  std::vector<uint32_t> sizes(static_cast<size_t>(count));
  uint8_t header[kHeaderSize] = {'D', 'R', 'V', '2'};
  bool ok = platform::FileWrite(out, header, kHeaderSize);
  uint64_t position = kHeaderSize;
  std::vector<uint8_t> copy;
  for (int i = 0; ok && i < count; ++i) {
    BIGFILE_FILE* entry = items[i];
    MakeScrambled(entry);
    const uint8_t* bytes = entry->scrambled.get();
    uint32_t size = entry->scrambledSize;
    if (bytes == nullptr) {
      // Not in memory: a stored entry is copied, and one that cannot be is
      // never written as empty; the whole write is given up instead.
      ok = entry->offset != 0 && static_cast<bool>(source);
      if (!ok) break;
      copy.resize(entry->size);
      size = entry->size;
      ok = ReadAt(source.get(), entry->offset, copy.data(), size);
      bytes = copy.data();
    }
    ok = ok && platform::FileWrite(out, bytes, size);
    offsets[i] = position;
    sizes[i] = size;
    position += size;
  }
  if (ok) {
    std::vector<uint64_t> oldOffsets(static_cast<size_t>(count));
    std::vector<uint32_t> oldSizes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      oldOffsets[i] = items[i]->offset;
      oldSizes[i] = items[i]->size;
      items[i]->offset = offsets[i];
      items[i]->size = sizes[i];
    }
    EncodeDirectory();
    for (int i = 0; i < count; ++i) {
      items[i]->offset = oldOffsets[i];
      items[i]->size = oldSizes[i];
    }
    const uint32_t directorySize = directory.dataSize;
    auto block = std::make_unique_for_overwrite<uint8_t[]>(directorySize);
    ScrambleBytes(directory.data.get(), block.get(), directorySize);
    bigfile::WriteHeader(position, directorySize, header);
    ok = platform::FileWrite(out, block.get(), directorySize) &&
         WriteAt(out, 0, header, kHeaderSize) && platform::FileFlush(out);
    if (ok) {
      directory.scrambled = std::move(block);
      directory.scrambledSize = directorySize;
    }
  }
  platform::FileClose(out);
  source.Close();
  // A replacing move: the old archive stays whole until the new one takes its
  // place, so no failure here can leave the path without an archive.
  if (!ok || !platform::FileMoveReplace(temporary.Buffer(), target.Buffer())) {
    platform::FileRemove(temporary.Buffer());
    return;
  }
  path = target;
  for (int i = 0; i < count; ++i) {
    items[i]->offset = offsets[i];
    items[i]->size = sizes[i];
  }
  bigfile::Header written = bigfile::ParseHeader(header);
  directory.offset = written.directoryOffset;
  directory.size = written.directorySize;
  CommitRegions();
  opened_ = true;
}
