// An archive file ("big file") opened by the system: its entry list in memory,
// with adding, removing, reading and saving in place. FORMAT.md has the bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/spin_lock.h"
#include "common/containers.h"
#include "common/parlo_string.h"
#include "platform/platform.h"

namespace bigfile {
struct DirectoryContents;
}  // namespace bigfile

// One entry of an archive, owned by the entry list.
struct BIGFILE_FILE {
  // Where the stored bytes start in the file; 0 while they are not written.
  uint64_t offset = 0;
  // Size of the stored bytes; 0 for an entry added and not yet written.
  uint32_t size = 0;
  Parlo_String name;
  // The plain bytes held in memory, or none.
  std::unique_ptr<uint8_t[]> data;
  uint32_t dataSize = 0;
  // The scrambled copy of `data`, made when the entry is written.
  std::unique_ptr<uint8_t[]> scrambled;
  uint32_t scrambledSize = 0;
  // Opaque to the archive: version, language and a flag, set by the updater.
  uint8_t tag[13] = {};

  BIGFILE_FILE() = default;
  BIGFILE_FILE(const BIGFILE_FILE&) = delete;
  BIGFILE_FILE& operator=(const BIGFILE_FILE&) = delete;
};

// One used region of the file, collected while looking for free space.
struct FILEOFS {
  int32_t index;  // the entry's place in the list; -1 for the directory
  uint64_t offset;
  uint32_t size;
};

// Add flag: an entry of the same name (in any letter case) is replaced.
constexpr uint32_t kBigFileReplace = 1;

// An open archive. Names are compared with the ASCII letters A to Z folded to
// lower case; a lookup answers the first entry in list order with that name.
// Entries reach the file only through SaveBigFile (or CreateBigFile); reading
// an entry always goes to the file.
//
// Thread safety: the operations marked "locked" hold the archive's recursive
// lock; the others do not and belong to the thread that changes the archive.
class Parlo_BigFile : public CDynamicList<BIGFILE_FILE> {
 public:
  Parlo_BigFile();
  ~Parlo_BigFile() override;
  Parlo_BigFile(const Parlo_BigFile&) = delete;
  Parlo_BigFile& operator=(const Parlo_BigFile&) = delete;

  // Locked. Opens an existing archive and reads its directory. False when the
  // file cannot be opened (nothing changes), carries no known magic (the path
  // is set, the entries stay), or is damaged: a short header or directory, a
  // region outside the file or over the header, overlapping regions. A
  // damaged archive leaves the path set and the object empty, as if new.
  bool LoadBigFile(const char* path);
  // Locked. Writes the whole archive anew to `path` (through `path`.tmp, moved
  // into place): header, every entry back to back, directory. Entries whose
  // data are not in memory are copied from the archive's current file. On any
  // failure the file at `path` and the entries stay as they were.
  void CreateBigFile(const char* path);
  // Locked. Writes new entries into free space, then the directory to a place
  // other than the current one, then the header, then cuts the file behind the
  // last used byte. A process stopped at any point leaves a file that loads
  // with the entries of either this save or the one before.
  bool SaveBigFile();
  // Locked. Adds a copy of `size` bytes under `name` at the end of the list.
  // Nothing happens for a null or empty name, size 0, or a name already there
  // without kBigFileReplace in `flags`; with it, the old entry is removed first.
  void AddFile(const char* name, const void* data, uint32_t size, uint32_t flags);
  // Locked. Drops the entry from the list; the file changes at the next save.
  // A name that is not there only trims the file.
  void RemoveFile(const char* name);
  // Locked. Reads the entry's bytes from the file into `buffer`, which must
  // hold GetFileLength(name) bytes. False when the name is not there (the
  // buffer is untouched) or the file cannot be read (the buffer is zeroed).
  bool ExtractFile(const char* name, void* buffer);

  bool FileExists(const char* name);
  // The stored size, 0 for an entry not yet saved, -1 when there is none.
  int64_t GetFileLength(const char* name);
  // The entry's 13-byte tag, to read or change in place; null when absent.
  uint8_t* GetFileTag(const char* name);
  // Release the memory copies of saved entries. An entry not yet written keeps
  // its data, since the file does not hold them yet.
  void UnloadFile(const char* name);
  void UnloadAllFiles();
  // Locked. Cuts (or extends) the file at the end of the last used byte.
  void TrimBigFile();

  // The place of the first entry with this name, or -1.
  int FindFile(const char* name);

  // Building blocks of the operations above.
  bool WriteFileData(BIGFILE_FILE* entry);
  uint64_t FindFreeSpace(uint32_t size);
  uint64_t GetDataEnd();
  void EncodeDirectory();
  bool DecodeDirectory();
  bool DecodeLegacyDirectory();

  Parlo_String path;
  // The directory block itself: its offset and size in the file, the plain
  // block in `data` and the scrambled one in `scrambled`.
  BIGFILE_FILE directory;
  uint32_t reserved = 0;
  Parlo_SpinLock lock;

 private:
  struct Region {
    uint64_t offset;
    uint64_t size;
  };

  // Regions the header's directory lists. They stay used until a new header
  // is on disk, so a save never writes over data that a crash could still need.
  std::vector<Region> committed_;

  // Folded name -> place of its first entry; rebuilt whenever it may be stale.
  std::unordered_map<std::string, int> index_;
  bool indexValid_ = false;
  // Whether the file at `path` is known to be this archive (loaded, created or
  // saved); only then may a trim change its length.
  bool opened_ = false;
  int indexedCount_ = -1;
  BIGFILE_FILE** indexedItems_ = nullptr;

  void InvalidateIndex() { indexValid_ = false; }
  // One block for scrambling entries on their way to the file, kept between saves.
  std::unique_ptr<uint8_t[]> scratch_;

  void RebuildIndex();
  void CommitRegions();
  void ResetToEmpty();
  bool DecodeBlock(bool legacy);
  // Appends an entry per decoded record and takes the trailer's reserved value.
  void AddDecodedEntries(const bigfile::DirectoryContents& contents);
  void TrimOpenFile(platform::FileHandle file);
  bool WriteScrambled(platform::FileHandle file, uint64_t position, const BIGFILE_FILE* entry);
  bool WriteEntryTo(platform::FileHandle file, BIGFILE_FILE* entry,
                    std::vector<FILEOFS>* sortedRegions);
  std::vector<FILEOFS> UsedRegions();
  std::vector<FILEOFS> SortedRegions();
};
