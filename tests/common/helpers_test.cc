#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/clock.h"
#include "common/crc32.h"
#include "common/random.h"

namespace {

TEST(Crc32Test, KnownValues) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(Crc32("a", 1), 0xE8B7BE43u);
}

TEST(Crc32Test, PiecesGiveTheWholeBlockValue) {
  std::vector<unsigned char> data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 31 + 7);
  uint32_t whole = Crc32(data.data(), data.size());
  uint32_t pieces = Crc32Update(0, data.data(), 12345);
  pieces = Crc32Update(pieces, data.data() + 12345, data.size() - 12345);
  EXPECT_EQ(pieces, whole);
}

TEST(ClockTest, TickExtenderAddsTwoToThe32AtEachWrap) {
  Parlo_TickExtender extender;
  EXPECT_EQ(extender.Extend(100), 100u);
  EXPECT_EQ(extender.Extend(100), 100u);
  EXPECT_EQ(extender.Extend(0xFFFFFFF0u), 0xFFFFFFF0u);
  EXPECT_EQ(extender.Extend(5), 0x100000005ull);
  EXPECT_EQ(extender.Extend(0xFFFFFFFFu), 0x1FFFFFFFFull);
  EXPECT_EQ(extender.Extend(0), 0x200000000ull);
  EXPECT_EQ(extender.Extend(0), 0x200000000ull);
}

TEST(ClockTest, MillisecondsDoNotGoBackwards) {
  uint64_t first = Parlo_Milliseconds();
  uint64_t second = Parlo_Milliseconds();
  EXPECT_GE(second, first);
  EXPECT_EQ(static_cast<uint32_t>(second) - static_cast<uint32_t>(first), second - first);
}

TEST(RandomTest, ClassicSequence) {
  Parlo_SeedRandom(1);
  std::vector<int> seedOne;
  for (int i = 0; i < 5; ++i) seedOne.push_back(Parlo_Random());
  EXPECT_EQ(seedOne, (std::vector<int>{41, 18467, 6334, 26500, 19169}));

  Parlo_SeedRandom(0);
  std::vector<int> seedZero;
  for (int i = 0; i < 3; ++i) seedZero.push_back(Parlo_Random());
  EXPECT_EQ(seedZero, (std::vector<int>{38, 7719, 21238}));

  Parlo_SeedRandom(0xFFFFFFFFu);
  for (int i = 0; i < 1000; ++i) {
    int value = Parlo_Random();
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 32767);
  }
}

}  // namespace
