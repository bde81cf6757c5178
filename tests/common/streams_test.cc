#include "common/streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const Parlo_StreamwriterMemory& writer) {
  return std::vector<uint8_t>(writer.GetBuffer(), writer.GetBuffer() + writer.GetLength());
}

std::string Text(const Parlo_StreamwriterMemory& writer) {
  return std::string(reinterpret_cast<const char*>(writer.GetBuffer()), writer.GetLength());
}

TEST(StreamreaderMemoryTest, ShortReadsAndZeroFilledTypedReads) {
  const uint8_t bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  Parlo_StreamreaderMemory reader;
  ASSERT_TRUE(reader.Open(bytes, sizeof(bytes)));
  uint8_t out[16] = {};
  EXPECT_EQ(reader.Read(out, 4), 4u);
  EXPECT_EQ(reader.GetPosition(), 4u);
  EXPECT_EQ(reader.Read(out, 10), 6u);
  EXPECT_EQ(out[5], 10);
  EXPECT_EQ(reader.Read(out, 10), 0u);
  EXPECT_EQ(reader.ReadInt32(), 0);
  EXPECT_EQ(reader.ReadInt64(), 0);
  EXPECT_EQ(reader.ReadFloat(), 0.0f);

  reader.SetPosition(8);  // two bytes left: 09 0A
  EXPECT_EQ(reader.ReadInt32(), 0x0A09);
  EXPECT_EQ(reader.GetPosition(), 10u);
}

TEST(StreamreaderMemoryTest, KeepsItsOwnCopy) {
  std::vector<uint8_t> bytes = {0x34, 0x12};
  Parlo_StreamreaderMemory reader;
  ASSERT_TRUE(reader.Open(bytes.data(), 2));
  bytes.assign(2, 0xFF);
  bytes.shrink_to_fit();
  EXPECT_EQ(reader.GetSize(), 2u);
  EXPECT_EQ(reader.ReadInt16(), 0x1234);
}

TEST(StreamreaderMemoryTest, PositionsOutsideTheDataReadNothing) {
  const uint8_t bytes[4] = {1, 2, 3, 4};
  Parlo_StreamreaderMemory reader;
  ASSERT_TRUE(reader.Open(bytes, 4));
  uint8_t out[4] = {};
  reader.SetPosition(uint64_t{1} << 40);
  EXPECT_EQ(reader.Read(out, 4), 0u);
  reader.SetPosition(2);
  reader.Skip(-3);  // before the start: wraps to a huge position
  EXPECT_EQ(reader.Read(out, 4), 0u);
  EXPECT_EQ(reader.ReadInt32(), 0);
  reader.SetPosition(1);
  reader.Skip(1);
  EXPECT_EQ(reader.ReadInt8(), 3);

  Parlo_StreamreaderMemory empty;
  EXPECT_EQ(empty.Read(out, 4), 0u);
  EXPECT_EQ(empty.GetSize(), 0u);
  EXPECT_FALSE(empty.Open(nullptr, 4));
  EXPECT_TRUE(empty.Open(nullptr, 0));
}

TEST(StreamsTest, TypedValuesAreLittleEndian) {
  Parlo_StreamwriterMemory writer;
  EXPECT_TRUE(writer.WriteInt32(1));
  EXPECT_TRUE(writer.WriteInt16(0x1234));
  EXPECT_TRUE(writer.WriteInt8(-1));
  EXPECT_TRUE(writer.WriteInt64(0x0102030405060708LL));
  EXPECT_TRUE(writer.WriteFloat(1.0f));
  EXPECT_TRUE(writer.WriteInt32(-2));
  EXPECT_EQ(Bytes(writer), (std::vector<uint8_t>{0x01, 0x00, 0x00, 0x00, 0x34, 0x12, 0xFF, 0x08,
                                                 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x00,
                                                 0x00, 0x80, 0x3F, 0xFE, 0xFF, 0xFF, 0xFF}));

  Parlo_StreamreaderMemory reader;
  ASSERT_TRUE(reader.Open(writer.GetBuffer(), writer.GetLength()));
  EXPECT_EQ(reader.ReadInt32(), 1);
  EXPECT_EQ(reader.ReadInt16(), 0x1234);
  EXPECT_EQ(reader.ReadInt8(), -1);
  EXPECT_EQ(reader.ReadInt64(), 0x0102030405060708LL);
  EXPECT_EQ(reader.ReadFloat(), 1.0f);
  EXPECT_EQ(reader.ReadInt32(), -2);
  EXPECT_EQ(reader.ReadInt16(), 0);
}

TEST(StreamwriterMemoryTest, GrowthKeepsTheBytesAndZeroFillsTheRest) {
  struct Case {
    std::vector<uint32_t> writes;
    uint32_t capacity;
  };
  const Case cases[] = {
      {{1000}, 1024}, {{1000, 100}, 2248},  // (1,024 + 100) * 2
      {{3000}, 8048},                       // (1,024 + 3,000) * 2
      {{1024}, 1024}, {{1024, 1}, 2050},
  };
  for (const Case& c : cases) {
    Parlo_StreamwriterMemory writer;
    std::string expected;
    for (uint32_t size : c.writes) {
      std::string chunk(size, static_cast<char>('a' + expected.size() % 26));
      EXPECT_EQ(writer.Write(chunk.data(), size), size);
      expected += chunk;
    }
    EXPECT_EQ(writer.GetCapacity(), c.capacity) << c.writes.size();
    EXPECT_EQ(Text(writer), expected);
    for (uint32_t i = writer.GetLength(); i < writer.GetCapacity(); ++i) {
      ASSERT_EQ(writer.GetBuffer()[i], 0) << i;
    }
  }
}

TEST(StreamwriterMemoryTest, DiscardResetAndReserve) {
  Parlo_StreamwriterMemory writer;
  writer.Write("abcdef", 6);
  writer.Discard(3);
  EXPECT_EQ(Text(writer), "def");
  writer.Discard(3);
  EXPECT_EQ(writer.GetLength(), 0u);
  writer.Write("xyz", 3);
  writer.Discard(10);
  EXPECT_EQ(writer.GetLength(), 0u);

  writer.Write(std::string(900, 'q').data(), 900);
  writer.Reset();
  EXPECT_EQ(writer.Write("12345", 5), 5u);
  EXPECT_EQ(writer.GetLength(), 5u);
  EXPECT_EQ(writer.GetCapacity(), 1024u);

  writer.Reserve(100000);
  EXPECT_EQ(writer.GetCapacity(), 100000u);
  EXPECT_EQ(Text(writer), "12345");
  EXPECT_EQ(writer.GetBuffer()[99999], 0);
  std::string body(100000 - 5, 'b');
  writer.Write(body.data(), static_cast<uint32_t>(body.size()));
  EXPECT_EQ(writer.GetCapacity(), 100000u);  // no growth once reserved
  writer.Reserve(10);
  EXPECT_EQ(writer.GetCapacity(), 100000u);
}

TEST(StreamwriterMemoryTest, WritingItsOwnBytesWhileGrowing) {
  Parlo_StreamwriterMemory writer;
  std::string first(1000, 'r');
  writer.Write(first.data(), 1000);
  EXPECT_EQ(writer.Write(writer.GetBuffer(), 1000), 1000u);  // the block moves meanwhile
  EXPECT_EQ(Text(writer), std::string(2000, 'r'));
}

TEST(StreamwriterMemoryTest, AssignmentCopiesIntoAnExactBlock) {
  Parlo_StreamwriterMemory source;
  source.Write("hello", 5);
  Parlo_StreamwriterMemory target;
  target.Write("old text", 8);
  target = source;
  EXPECT_EQ(Text(target), "hello");
  EXPECT_EQ(target.GetCapacity(), 5u);
  target.Write("!", 1);
  EXPECT_EQ(target.GetCapacity(), 12u);  // (5 + 1) * 2
  EXPECT_EQ(Text(target), "hello!");
  EXPECT_EQ(Text(source), "hello");

  Parlo_StreamwriterMemory& alias = target;
  target = alias;
  EXPECT_EQ(Text(target), "hello!");

  Parlo_StreamwriterMemory empty;
  target = empty;
  EXPECT_EQ(target.GetLength(), 0u);
  EXPECT_EQ(target.Write("ab", 2), 2u);
  EXPECT_EQ(Text(target), "ab");

  Parlo_StreamwriterMemory copy(source);
  EXPECT_EQ(Text(copy), "hello");
}

TEST(StreamwriterMemoryTest, WriteThatWouldPassFourGiBTakesNothing) {
  // Past 4 GiB the 32-bit length would wrap; the writer refuses the write and
  // stays as it was. The size alone decides, so no such block is allocated.
  Parlo_StreamwriterMemory writer;
  writer.Write("abc", 3);
  static const char byte = 'x';
  EXPECT_EQ(writer.Write(&byte, UINT32_MAX - 2), 0u);
  EXPECT_EQ(writer.GetLength(), 3u);
  EXPECT_EQ(writer.GetCapacity(), 1024u);
  EXPECT_EQ(writer.Write(nullptr, 4), 0u);
  EXPECT_EQ(Text(writer), "abc");
}

TEST(StreamreaderFileTest, ReadsAnExistingFile) {
  std::string path = ::testing::TempDir() + "streams_test_file.bin";
  platform::FileHandle file = platform::FileCreateTruncate(path.c_str());
  ASSERT_NE(file, nullptr);
  const uint8_t bytes[] = {0x78, 0x56, 0x34, 0x12, 0xAA, 0xBB};
  ASSERT_TRUE(platform::FileWrite(file, bytes, sizeof(bytes)));
  platform::FileClose(file);

  {
    Parlo_StreamreaderFile reader;
    ASSERT_TRUE(reader.Open(path.c_str()));
    EXPECT_EQ(reader.GetSize(), 6u);
    EXPECT_EQ(reader.ReadInt32(), 0x12345678);
    EXPECT_EQ(reader.GetPosition(), 4u);
    EXPECT_EQ(reader.ReadInt32(), 0xBBAA);  // short read at the end, zero-filled
    EXPECT_EQ(reader.ReadInt8(), 0);
    reader.SetPosition(1);
    reader.Skip(2);
    EXPECT_EQ(reader.GetPosition(), 3u);
    uint8_t out[8] = {};
    EXPECT_EQ(reader.Read(out, 8), 3u);
    EXPECT_EQ(out[0], 0x12);
    EXPECT_EQ(out[2], 0xBB);
  }
  EXPECT_TRUE(platform::FileRemove(path.c_str()));
}

TEST(StreamreaderFileTest, MissingFile) {
  Parlo_StreamreaderFile reader;
  std::string path = ::testing::TempDir() + "streams_test_no_such_file.bin";
  EXPECT_FALSE(reader.Open(path.c_str()));
  uint8_t out[4] = {};
  EXPECT_EQ(reader.Read(out, 4), 0u);
  EXPECT_EQ(reader.ReadInt32(), 0);
  EXPECT_EQ(reader.GetSize(), 0u);
  EXPECT_EQ(reader.GetPosition(), 0u);
}

}  // namespace

TEST(StreamwriterMemoryInPlace, AppendsInPlaceAndSwapsWithoutCopying) {
  Parlo_StreamwriterMemory writer;
  writer.Write("ab", 2);
  uint8_t* space = writer.PrepareAppend(3000);
  ASSERT_NE(space, nullptr);
  std::memcpy(space, "xyz", 3);
  writer.CommitAppend(3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(writer.GetBuffer()), writer.GetLength()), "abxyz");
  EXPECT_EQ(writer.GetCapacity(), (1024u + 3000u) * 2);

  Parlo_StreamwriterMemory other;
  const uint8_t* block = writer.GetBuffer();
  other.Swap(writer);
  EXPECT_EQ(other.GetBuffer(), block);
  EXPECT_EQ(other.GetLength(), 5u);
  EXPECT_EQ(writer.GetLength(), 0u);
  EXPECT_EQ(writer.GetCapacity(), 1024u);
}
