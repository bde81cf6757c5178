// Byte streams: readers over a private memory copy or an open file, and a
// growing memory writer. Typed values are little-endian, untagged and unaligned.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// A source of bytes. Typed reads never fail: bytes the source could not deliver
// read as zero, so at the end of the data a typed read answers 0.
class Parlo_Streamreader {
 public:
  virtual ~Parlo_Streamreader() = default;

  // Copies up to `size` bytes into `buffer`; answers how many were copied.
  virtual uint32_t Read(void* buffer, uint32_t size);
  int64_t ReadInt64();
  int32_t ReadInt32();
  int16_t ReadInt16();
  int8_t ReadInt8();
  float ReadFloat();

  virtual uint32_t GetSize() = 0;
  virtual uint32_t GetPosition() = 0;
  virtual void SetPosition(uint64_t offset) = 0;
  virtual void Skip(int64_t delta) = 0;
};

// Reads from its own copy of a memory block, so the caller may release its
// block right after Open. Positions are not range-checked, but a read from a
// position at or past the end answers 0 bytes.
class Parlo_StreamreaderMemory : public Parlo_Streamreader {
 public:
  Parlo_StreamreaderMemory() = default;
  Parlo_StreamreaderMemory(const Parlo_StreamreaderMemory&) = delete;
  Parlo_StreamreaderMemory& operator=(const Parlo_StreamreaderMemory&) = delete;
  ~Parlo_StreamreaderMemory() override;

  // Copies `size` bytes and rewinds. False (and an empty reader) when `data` is
  // null but `size` is not 0.
  bool Open(const void* data, uint32_t size);

  uint32_t Read(void* buffer, uint32_t size) override;
  uint32_t GetSize() override { return size_; }
  uint32_t GetPosition() override { return static_cast<uint32_t>(position_); }
  void SetPosition(uint64_t offset) override { position_ = offset; }
  void Skip(int64_t delta) override { position_ += static_cast<uint64_t>(delta); }

 private:
  uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  uint64_t position_ = 0;
};

// Reads an existing file that other processes may read and write meanwhile.
// Sizes and reported positions are the low 32 bits: files of 4 GiB and more
// are not supported. Without an open file every read answers 0 and GetSize 0.
class Parlo_StreamreaderFile : public Parlo_Streamreader {
 public:
  Parlo_StreamreaderFile() = default;
  Parlo_StreamreaderFile(const Parlo_StreamreaderFile&) = delete;
  Parlo_StreamreaderFile& operator=(const Parlo_StreamreaderFile&) = delete;
  ~Parlo_StreamreaderFile() override;

  // Opens the file at `path` (narrow) for reading; false when it cannot.
  bool Open(const char* path);

  uint32_t Read(void* buffer, uint32_t size) override;
  uint32_t GetSize() override;
  uint32_t GetPosition() override;
  void SetPosition(uint64_t offset) override;
  void Skip(int64_t delta) override;

 private:
  platform::FileHandle file_ = nullptr;
};

// A sink of bytes. The typed writes answer true exactly when Write took all of
// the value's bytes.
class Parlo_Streamwriter {
 public:
  virtual ~Parlo_Streamwriter() = default;

  // Appends `size` bytes; answers how many were taken.
  virtual uint32_t Write(const void* data, uint32_t size) = 0;
  bool WriteInt64(int64_t value);
  bool WriteInt32(int32_t value);
  bool WriteInt16(int16_t value);
  bool WriteInt8(int8_t value);
  bool WriteFloat(float value);
};

// Collects bytes in one growing block (1,024 bytes at first; a growth makes
// room for (capacity + size) * 2). The block beyond the written bytes reads as
// zero. Lengths are 32-bit: a write that would pass 4 GiB takes nothing.
class Parlo_StreamwriterMemory : public Parlo_Streamwriter {
 public:
  Parlo_StreamwriterMemory();
  Parlo_StreamwriterMemory(const Parlo_StreamwriterMemory& other);
  ~Parlo_StreamwriterMemory() override;

  // Replaces the content with a copy of the other's, in a block of exactly its
  // length.
  Parlo_StreamwriterMemory& operator=(const Parlo_StreamwriterMemory& other);

  // Answers `size`, or 0 (nothing taken) when the length would pass 4 GiB.
  uint32_t Write(const void* data, uint32_t size) override;

  // Valid until the next write that grows the block, or destruction.
  uint8_t* GetBuffer() { return buffer_; }
  const uint8_t* GetBuffer() const { return buffer_; }
  uint32_t GetLength() const { return length_; }
  uint32_t GetCapacity() const { return capacity_; }

  // Makes the block hold at least `size` bytes at once, so a caller that knows
  // the final size avoids the growth steps.
  void Reserve(uint32_t size);
  // Empties the writer; the block stays.
  void Reset() { length_ = 0; }
  // Room for `size` more bytes behind the written ones, grown as Write grows,
  // for a reader that fills them in place (one copy fewer than Write). Null
  // when the length could pass 4 GiB. CommitAppend(n) then counts n of them
  // (at most the room) as written.
  uint8_t* PrepareAppend(uint32_t size);
  void CommitAppend(uint32_t size);
  // Exchanges blocks, lengths and capacities with `other`: a body changes
  // hands without being copied.
  void Swap(Parlo_StreamwriterMemory& other) noexcept;
  // Drops the first `count` bytes (everything when count passes the length).
  void Discard(uint32_t count);

 private:
  // Resizes the block keeping its bytes; the caller zeroes the part it does not fill.
  void Resize(uint32_t capacity);

  uint8_t* buffer_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t length_ = 0;
};
