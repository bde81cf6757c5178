#include "common/streams.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Typed values travel little-endian whatever the machine.
uint64_t DecodeLittleEndian(const uint8_t* bytes, int size) {
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

void EncodeLittleEndian(uint64_t value, uint8_t* bytes, int size) {
  for (int i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

// ---- Parlo_Streamreader ----------------------------------------------------

uint32_t Parlo_Streamreader::Read(void*, uint32_t) { return 0; }

int64_t Parlo_Streamreader::ReadInt64() {
  uint8_t bytes[8] = {};
  Read(bytes, sizeof(bytes));
  return static_cast<int64_t>(DecodeLittleEndian(bytes, 8));
}

int32_t Parlo_Streamreader::ReadInt32() {
  uint8_t bytes[4] = {};
  Read(bytes, sizeof(bytes));
  return static_cast<int32_t>(DecodeLittleEndian(bytes, 4));
}

int16_t Parlo_Streamreader::ReadInt16() {
  uint8_t bytes[2] = {};
  Read(bytes, sizeof(bytes));
  return static_cast<int16_t>(DecodeLittleEndian(bytes, 2));
}

int8_t Parlo_Streamreader::ReadInt8() {
  uint8_t byte = 0;
  Read(&byte, 1);
  return static_cast<int8_t>(byte);
}

float Parlo_Streamreader::ReadFloat() {
  uint8_t bytes[4] = {};
  Read(bytes, sizeof(bytes));
  uint32_t bits = static_cast<uint32_t>(DecodeLittleEndian(bytes, 4));
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

// ---- Parlo_StreamreaderMemory ----------------------------------------------

Parlo_StreamreaderMemory::~Parlo_StreamreaderMemory() { delete[] data_; }

bool Parlo_StreamreaderMemory::Open(const void* data, uint32_t size) {
  delete[] data_;
  data_ = nullptr;
  size_ = 0;
  position_ = 0;
  if (data == nullptr && size != 0) return false;
  if (size != 0) {
    data_ = new uint8_t[size];
    std::memcpy(data_, data, size);
  }
  size_ = size;
  return true;
}

uint32_t Parlo_StreamreaderMemory::Read(void* buffer, uint32_t size) {
  if (buffer == nullptr || position_ >= size_) return 0;
  uint64_t left = size_ - position_;
  uint32_t count = size < left ? size : static_cast<uint32_t>(left);
  if (count == 0) return 0;
  std::memcpy(buffer, data_ + position_, count);
  position_ += count;
  return count;
}

// ---- Parlo_StreamreaderFile ------------------------------------------------

Parlo_StreamreaderFile::~Parlo_StreamreaderFile() {
  if (file_ != nullptr) platform::FileClose(file_);
}

bool Parlo_StreamreaderFile::Open(const char* path) {
  if (file_ != nullptr) platform::FileClose(file_);
  file_ = path != nullptr ? platform::FileOpenExisting(path, false) : nullptr;
  return file_ != nullptr;
}

uint32_t Parlo_StreamreaderFile::Read(void* buffer, uint32_t size) {
  if (file_ == nullptr || size == 0) return 0;
  int64_t read = platform::FileRead(file_, buffer, size);
  return read > 0 ? static_cast<uint32_t>(read) : 0;
}

uint32_t Parlo_StreamreaderFile::GetSize() {
  if (file_ == nullptr) return 0;
  int64_t size = platform::FileSize(file_);
  return size > 0 ? static_cast<uint32_t>(size) : 0;
}

uint32_t Parlo_StreamreaderFile::GetPosition() {
  if (file_ == nullptr) return 0;
  int64_t position = platform::FileSeek(file_, 0, platform::SeekOrigin::kCurrent);
  return position > 0 ? static_cast<uint32_t>(position) : 0;
}

void Parlo_StreamreaderFile::SetPosition(uint64_t offset) {
  if (file_ == nullptr) return;
  platform::FileSeek(file_, static_cast<int64_t>(offset), platform::SeekOrigin::kBegin);
}

void Parlo_StreamreaderFile::Skip(int64_t delta) {
  if (file_ == nullptr) return;
  platform::FileSeek(file_, delta, platform::SeekOrigin::kCurrent);
}

// ---- Parlo_Streamwriter ----------------------------------------------------

bool Parlo_Streamwriter::WriteInt64(int64_t value) {
  uint8_t bytes[8];
  EncodeLittleEndian(static_cast<uint64_t>(value), bytes, 8);
  return Write(bytes, sizeof(bytes)) == sizeof(bytes);
}

bool Parlo_Streamwriter::WriteInt32(int32_t value) {
  uint8_t bytes[4];
  EncodeLittleEndian(static_cast<uint32_t>(value), bytes, 4);
  return Write(bytes, sizeof(bytes)) == sizeof(bytes);
}

bool Parlo_Streamwriter::WriteInt16(int16_t value) {
  uint8_t bytes[2];
  EncodeLittleEndian(static_cast<uint16_t>(value), bytes, 2);
  return Write(bytes, sizeof(bytes)) == sizeof(bytes);
}

bool Parlo_Streamwriter::WriteInt8(int8_t value) {
  uint8_t byte = static_cast<uint8_t>(value);
  return Write(&byte, 1) == 1;
}

bool Parlo_Streamwriter::WriteFloat(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  uint8_t bytes[4];
  EncodeLittleEndian(bits, bytes, 4);
  return Write(bytes, sizeof(bytes)) == sizeof(bytes);
}

// ---- Parlo_StreamwriterMemory ----------------------------------------------

namespace {

constexpr uint32_t kInitialCapacity = 1024;

// calloc that never answers null for a size of 0, and reports exhaustion the
// way new does.
uint8_t* AllocateZeroed(uint32_t size) {
  void* block = std::calloc(size != 0 ? size : 1, 1);
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<uint8_t*>(block);
}

}  // namespace

Parlo_StreamwriterMemory::Parlo_StreamwriterMemory()
    : buffer_(AllocateZeroed(kInitialCapacity)), capacity_(kInitialCapacity), length_(0) {}

Parlo_StreamwriterMemory::Parlo_StreamwriterMemory(const Parlo_StreamwriterMemory& other)
    : buffer_(AllocateZeroed(other.length_)), capacity_(other.length_), length_(0) {
  Write(other.buffer_, other.length_);
}

Parlo_StreamwriterMemory::~Parlo_StreamwriterMemory() { std::free(buffer_); }

Parlo_StreamwriterMemory& Parlo_StreamwriterMemory::operator=(
    const Parlo_StreamwriterMemory& other) {
  if (this == &other) return *this;
  uint8_t* block = AllocateZeroed(other.length_);
  std::free(buffer_);
  buffer_ = block;
  capacity_ = other.length_;
  length_ = 0;
  Write(other.buffer_, other.length_);
  return *this;
}

void Parlo_StreamwriterMemory::Resize(uint32_t capacity) {
  // realloc keeps the written bytes without copying them into fresh pages when
  // it can (large blocks are remapped), which matters for bodies of hundreds of
  // MiB. The caller zeroes what it does not fill.
  void* block = std::realloc(buffer_, capacity != 0 ? capacity : 1);
  if (block == nullptr) throw std::bad_alloc();
  buffer_ = static_cast<uint8_t*>(block);
  capacity_ = capacity;
}

void Parlo_StreamwriterMemory::Reserve(uint32_t size) {
  if (size <= capacity_) return;
  Resize(size);
  std::memset(buffer_ + length_, 0, capacity_ - length_);
}

uint32_t Parlo_StreamwriterMemory::Write(const void* data, uint32_t size) {
  if (size == 0) return 0;
  if (data == nullptr) return 0;
  if (size > UINT32_MAX - length_) return 0;
  const uint8_t* source = static_cast<const uint8_t*>(data);
  if (length_ + size > capacity_) {
    // The bytes may come from this writer's own block, which may move.
    bool inside = source >= buffer_ && source < buffer_ + capacity_;
    size_t offset = inside ? static_cast<size_t>(source - buffer_) : 0;
    uint64_t grown = (static_cast<uint64_t>(capacity_) + size) * 2;
    Resize(grown > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(grown));
    if (inside) source = buffer_ + offset;
    std::memmove(buffer_ + length_, source, size);
    length_ += size;
    std::memset(buffer_ + length_, 0, capacity_ - length_);
    return size;
  }
  std::memmove(buffer_ + length_, source, size);
  length_ += size;
  return size;
}

uint8_t* Parlo_StreamwriterMemory::PrepareAppend(uint32_t size) {
  if (size > UINT32_MAX - length_) return nullptr;
  if (length_ + size > capacity_) {
    uint64_t grown = (static_cast<uint64_t>(capacity_) + size) * 2;
    Resize(grown > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(grown));
    std::memset(buffer_ + length_, 0, capacity_ - length_);
  }
  return buffer_ + length_;
}

void Parlo_StreamwriterMemory::CommitAppend(uint32_t size) {
  length_ += size < capacity_ - length_ ? size : capacity_ - length_;
}

void Parlo_StreamwriterMemory::Swap(Parlo_StreamwriterMemory& other) noexcept {
  std::swap(buffer_, other.buffer_);
  std::swap(capacity_, other.capacity_);
  std::swap(length_, other.length_);
}

void Parlo_StreamwriterMemory::Discard(uint32_t count) {
  if (count > length_) {
    length_ = 0;
    return;
  }
  std::memmove(buffer_, buffer_ + count, length_ - count);
  length_ -= count;
}
