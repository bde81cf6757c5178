#include "archive/directory_codec.h"

#include <algorithm>
#include <cstring>

namespace bigfile {
namespace {

constexpr char kCurrentMagic[4] = {'D', 'R', 'V', '2'};
constexpr char kLegacyMagic[4] = {'D', 'R', 'V', 'D'};

uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint64_t Load64(const uint8_t* p) { return uint64_t{Load32(p)} | uint64_t{Load32(p + 4)} << 32; }

void Store32(uint32_t v, uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Store64(uint64_t v, uint8_t* p) {
  Store32(static_cast<uint32_t>(v), p);
  Store32(static_cast<uint32_t>(v >> 32), p + 4);
}

// Reads little-endian values from a block that knows its end. Every read
// checks the bytes left, so no caller can step outside the block.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t position() const { return position_; }
  size_t left() const { return size_ - position_; }

  bool Read32(uint32_t* value) {
    if (left() < 4) return false;
    *value = Load32(data_ + position_);
    position_ += 4;
    return true;
  }
  bool Read64(uint64_t* value) {
    if (left() < 8) return false;
    *value = Load64(data_ + position_);
    position_ += 8;
    return true;
  }
  // A name runs up to its 0 byte, which must lie inside the block.
  bool ReadName(std::string_view* name) {
    const void* end = std::memchr(data_ + position_, 0, left());
    if (end == nullptr) return false;
    size_t length = static_cast<const uint8_t*>(end) - (data_ + position_);
    *name = std::string_view(reinterpret_cast<const char*>(data_ + position_), length);
    position_ += length + 1;
    return true;
  }
  const uint8_t* Take(size_t count) {
    if (left() < count) return nullptr;
    const uint8_t* at = data_ + position_;
    position_ += count;
    return at;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

bool Fail(std::vector<std::string>* problems, std::string text) {
  if (problems != nullptr) problems->push_back(std::move(text));
  return false;
}

std::string RecordText(size_t index, std::string_view name) {
  std::string text = "record " + std::to_string(index) + " '";
  text.append(name.substr(0, 64));
  if (name.size() > 64) text += "...";
  return text + "'";
}

std::string RangeText(uint64_t offset, uint64_t size) {
  // Appended piece by piece: GCC 12 at -O3 warns falsely on "[" + std::string.
  std::string text = "[";
  text.append(std::to_string(offset)).append(", ").append(std::to_string(offset + size));
  return text.append(")");
}

bool DecodeRecord(Cursor& in, Layout layout, size_t index, DirectoryRecord* record,
                  std::vector<std::string>* problems) {
  const size_t at = in.position();
  auto where = [&] {
    return "record " + std::to_string(index) + " at block byte " + std::to_string(at);
  };
  if (!in.ReadName(&record->name)) return Fail(problems, where() + ": name without its 0 byte");
  if (layout == Layout::kCurrent) {
    uint64_t size = 0;
    if (!in.Read64(&record->offset) || !in.Read64(&size)) {
      return Fail(problems, where() + ": offset and size run past the block");
    }
    record->size = static_cast<uint32_t>(size);
  } else {
    uint32_t offset = 0;
    if (!in.Read32(&offset) || !in.Read32(&record->size)) {
      return Fail(problems, where() + ": offset and size run past the block");
    }
    record->offset = offset;
  }
  uint32_t tagLength = 0;
  if (!in.Read32(&tagLength)) return Fail(problems, where() + ": tag length runs past the block");
  const uint8_t* tag = in.Take(tagLength);
  if (tag == nullptr) {
    return Fail(problems,
                where() + ": tag of " + std::to_string(tagLength) + " bytes runs past the block");
  }
  std::memset(record->tag, 0, kTagSize);
  std::memcpy(record->tag, tag, std::min<uint32_t>(tagLength, kTagSize));
  return true;
}

struct Region {
  uint64_t offset;
  uint64_t size;
  size_t index;  // record index, or SIZE_MAX for the directory
};

std::string RegionText(const Region& region, const DirectoryContents& contents) {
  if (region.index == SIZE_MAX) return "directory " + RangeText(region.offset, region.size);
  return RecordText(region.index, contents.records[region.index].name) + " " +
         RangeText(region.offset, region.size);
}

}  // namespace

Layout LayoutOf(const uint8_t* bytes, size_t size) {
  if (size < 4) return Layout::kNone;
  if (std::memcmp(bytes, kCurrentMagic, 4) == 0) return Layout::kCurrent;
  if (std::memcmp(bytes, kLegacyMagic, 4) == 0) return Layout::kLegacy;
  return Layout::kNone;
}

Header ParseHeader(const uint8_t* bytes) {
  Header header;
  header.layout = LayoutOf(bytes, kHeaderSize);
  if (header.layout == Layout::kCurrent) {
    header.directoryOffset = Load64(bytes + 4);
    header.directorySize = Load32(bytes + 12);
  } else {
    header.directoryOffset = Load32(bytes + 8);
    header.directorySize = Load32(bytes + 12);
  }
  return header;
}

void WriteHeader(uint64_t directoryOffset, uint32_t directorySize, uint8_t out[kHeaderSize]) {
  std::memcpy(out, kCurrentMagic, 4);
  Store64(directoryOffset, out + 4);
  Store32(directorySize, out + 12);
}

bool DecodeDirectoryBlock(const uint8_t* block, size_t size, Layout layout, DirectoryContents* out,
                          std::vector<std::string>* problems) {
  out->records.clear();
  out->reserved = 0;
  Cursor in(block, size);
  uint32_t rawCount = 0;
  if (!in.Read32(&rawCount)) return Fail(problems, "directory block too short for its count");
  const int32_t count = static_cast<int32_t>(rawCount);
  // Every record takes at least its 0 byte, offset, size and tag length, so a
  // count the block cannot hold is refused before anything is reserved.
  const size_t smallest = layout == Layout::kCurrent ? 1 + 8 + 8 + 4 : 1 + 4 + 4 + 4;
  if (count > 0 && static_cast<uint64_t>(count) > in.left() / smallest) {
    return Fail(problems, "directory count " + std::to_string(count) +
                              " is more than the block of " + std::to_string(size) +
                              " bytes can hold");
  }
  for (int32_t i = 0; i < count; ++i) {
    DirectoryRecord record;
    if (!DecodeRecord(in, layout, i, &record, problems)) return false;
    out->records.push_back(record);
  }
  uint32_t trailerLength = 0;
  if (!in.Read32(&trailerLength)) return Fail(problems, "trailer length runs past the block");
  const uint8_t* trailer = in.Take(trailerLength);
  if (trailer == nullptr) {
    return Fail(problems,
                "trailer of " + std::to_string(trailerLength) + " bytes runs past the block");
  }
  uint8_t reserved[kTrailerSize] = {};
  std::memcpy(reserved, trailer, std::min<uint32_t>(trailerLength, kTrailerSize));
  out->reserved = Load32(reserved);
  return true;
}

bool CheckRegions(const DirectoryContents& contents, const Header& header, uint64_t fileSize,
                  std::vector<std::string>* problems) {
  bool sound = true;
  std::vector<Region> regions;
  regions.reserve(contents.records.size() + 1);
  auto inside = [&](const Region& region) {
    // Offset 0 is how memory marks data not yet written, so a record that
    // stores it could never be saved back; it counts as overlapping the header.
    if (region.offset < kHeaderSize && (region.size > 0 || region.index != SIZE_MAX)) {
      sound = Fail(problems, RegionText(region, contents) + " overlaps the header");
      return false;
    }
    // A region of size 0 covers nothing, so it cannot lie outside the file.
    if (region.size > 0 && (region.offset > fileSize || region.size > fileSize - region.offset)) {
      sound = Fail(problems, RegionText(region, contents) + " runs past the end of the file (" +
                                 std::to_string(fileSize) + " bytes)");
      return false;
    }
    return true;
  };
  if (header.directorySize > 0) {
    Region directory{header.directoryOffset, header.directorySize, SIZE_MAX};
    if (inside(directory)) regions.push_back(directory);
    if (!sound && problems == nullptr) return false;
  }
  for (size_t i = 0; i < contents.records.size(); ++i) {
    const DirectoryRecord& record = contents.records[i];
    Region region{record.offset, record.size, i};
    if (inside(region) && region.size > 0) regions.push_back(region);
    if (!sound && problems == nullptr) return false;
  }
  std::sort(regions.begin(), regions.end(), [](const Region& a, const Region& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.index < b.index;
  });
  // Each region is compared with the one reaching furthest among those before it.
  size_t furthest = 0;
  for (size_t i = 1; i < regions.size(); ++i) {
    const Region& before = regions[furthest];
    if (regions[i].offset < before.offset + before.size) {
      sound = Fail(problems,
                   RegionText(regions[i], contents) + " overlaps " + RegionText(before, contents));
      if (problems == nullptr) return false;
    }
    if (regions[i].offset + regions[i].size > before.offset + before.size) furthest = i;
  }
  return sound;
}

}  // namespace bigfile
