#include "archive/scramble.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint8_t ReferenceKey(uint64_t i) {
  return static_cast<uint8_t>((((i % 256) ^ 0x5B) * ((i + 1) % 256)) - 0x39);
}

TEST(ScrambleTest, KeystreamStartsWithKnownBytes) {
  // k(0) = 0x5B*1-0x39, k(1) = 0x5A*2-0x39, k(255) = 0xA4*0-0x39.
  EXPECT_EQ(ScrambleKey(0), 0x22);
  EXPECT_EQ(ScrambleKey(1), 0x7B);
  EXPECT_EQ(ScrambleKey(255), 0xC7);
  EXPECT_EQ(ScrambleKey(256), 0x22);  // the stream repeats every 256 bytes
  const uint8_t zeros[4] = {};
  uint8_t out[4];
  ScrambleBytes(zeros, out, 4);
  EXPECT_EQ(
      std::vector<uint8_t>(out, out + 4),
      (std::vector<uint8_t>{ReferenceKey(0), ReferenceKey(1), ReferenceKey(2), ReferenceKey(3)}));
}

TEST(ScrambleTest, EveryLengthMatchesTheReferenceAndRoundTrips) {
  std::vector<uint8_t> plain(600);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 + 3);
  for (size_t length = 0; length <= 600; ++length) {
    std::vector<uint8_t> scrambled(length + 1, 0xEE);  // one guard byte
    ScrambleBytes(plain.data(), scrambled.data(), length);
    for (size_t i = 0; i < length; ++i) {
      ASSERT_EQ(scrambled[i], plain[i] ^ ReferenceKey(i)) << "length " << length << " at " << i;
    }
    ASSERT_EQ(scrambled[length], 0xEE) << "wrote past the end at length " << length;
    ScrambleBytes(scrambled.data(), scrambled.data(), length);  // in place
    ASSERT_TRUE(std::equal(plain.begin(), plain.begin() + length, scrambled.begin()))
        << "length " << length;
  }
}

TEST(ScrambleTest, UnalignedBuffersWork) {
  std::vector<uint8_t> buffer(1030);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> out(1030);
  ScrambleBytes(buffer.data() + 3, out.data() + 1, 1000);
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(out[1 + i], buffer[3 + i] ^ ReferenceKey(i));
}

}  // namespace
