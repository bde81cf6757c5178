#include "common/containers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/parlo_string.h"

namespace {

struct Region {
  int offset;
};

int CompareRegions(const Region* a, const Region* b) {
  return a->offset < b->offset ? -1 : (a->offset > b->offset ? 1 : 0);
}

TEST(ContainersTest, GrowthSequences) {
  CDynamicArray<int> array;
  std::vector<int> arrayCapacities = {array.capacity};
  for (int i = 0; i < 40; ++i) {
    array.Add(i);
    if (array.capacity != arrayCapacities.back()) arrayCapacities.push_back(array.capacity);
  }
  EXPECT_EQ(arrayCapacities,
            (std::vector<int>{1, 2, 3, 4, 5, 7, 9, 11, 14, 17, 21, 26, 32, 39, 47}));

  CDynamicArrayThreadSafe<char*> safe;
  std::vector<int> safeCapacities = {safe.capacity};
  for (int i = 0; i < 30; ++i) {
    safe.Add(nullptr);
    if (safe.capacity != safeCapacities.back()) safeCapacities.push_back(safe.capacity);
  }
  EXPECT_EQ(safeCapacities, (std::vector<int>{1, 3, 6, 10, 16, 25, 39}));

  CDynamicList<Region> list;
  std::vector<int> listCapacities = {list.capacity};
  for (int i = 0; i < 20; ++i) {
    list.Add(new Region{i});
    if (list.capacity != listCapacities.back()) listCapacities.push_back(list.capacity);
  }
  EXPECT_EQ(listCapacities, (std::vector<int>{1, 3, 7, 15, 31}));
}

TEST(ContainersTest, ArrayOfTenEndsWithCapacityEleven) {
  CDynamicArray<int> array;
  EXPECT_EQ(array.data[0], 0);
  for (int i = 0; i < 10; ++i) array.Add(i * 3);
  EXPECT_EQ(array.count, 10);
  EXPECT_EQ(array.capacity, 11);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(array[i], i * 3);
}

TEST(ContainersTest, ThreadSafeArrayOfFourHasCapacitySix) {
  CDynamicArrayThreadSafe<char16_t*> array;
  char16_t texts[4][2] = {u"a", u"b", u"c", u"d"};
  for (auto& text : texts) array.Add(text);
  EXPECT_EQ(array.count, 4);
  EXPECT_EQ(array.capacity, 6);
  EXPECT_EQ(array[3], texts[3]);
  EXPECT_EQ(array.data[4], nullptr);
}

TEST(ContainersTest, ArrayOfStringsCopiesDeeply) {
  CDynamicArray<Parlo_StringW> array;
  for (int i = 0; i < 12; ++i) array.Add(Parlo_StringW::Format(u"item %d", i));
  CDynamicArray<Parlo_StringW> copy(array);
  CDynamicArray<Parlo_StringW> assigned;
  assigned.Add(u"old");
  assigned = array;
  array[0] = u"changed";
  ASSERT_EQ(copy.count, 12);
  ASSERT_EQ(assigned.count, 12);
  EXPECT_TRUE(copy[0] == u"item 0");
  EXPECT_TRUE(assigned[0] == u"item 0");
  EXPECT_TRUE(assigned[11] == u"item 11");
}

TEST(ContainersTest, SelfAssignmentAndAddingOwnElement) {
  CDynamicArray<int> numbers;
  for (int i = 1; i <= 5; ++i) numbers.Add(i);
  CDynamicArray<int>& alias = numbers;
  numbers = alias;
  ASSERT_EQ(numbers.count, 5);
  EXPECT_EQ(numbers[4], 5);

  // count == capacity here, so the element's old slot is released in this Add.
  CDynamicArray<Parlo_StringW> texts;
  texts.Add(u"first");
  ASSERT_EQ(texts.count, texts.capacity);
  texts.Add(texts[0]);
  ASSERT_EQ(texts.count, 2);
  EXPECT_TRUE(texts[1] == u"first");
}

TEST(ContainersTest, ListRemoveAtIgnoresBadIndexesAndKeepsOrder) {
  CDynamicList<Region> list;
  list.RemoveAt(0);  // empty
  for (int i = 0; i < 4; ++i) list.Add(new Region{i * 10});
  for (int bad : {-1, -2, 4, 100}) {
    list.RemoveAt(bad);
    EXPECT_EQ(list.count, 4) << bad;
  }
  list.RemoveAt(1);
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list[0]->offset, 0);
  EXPECT_EQ(list[1]->offset, 20);
  EXPECT_EQ(list[2]->offset, 30);
  EXPECT_EQ(list.items[3], nullptr);
}

TEST(ContainersTest, ListClearThenAddStartsFromZero) {
  CDynamicList<Region> list;
  for (int i = 0; i < 4; ++i) list.Add(new Region{i});
  EXPECT_EQ(list.capacity, 7);
  list.Clear();
  EXPECT_EQ(list.capacity, 0);
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.items, nullptr);
  list.Clear();  // twice is harmless
  list.Add(new Region{5});
  EXPECT_EQ(list.capacity, 1);
  list.Add(new Region{6});
  EXPECT_EQ(list.capacity, 3);
  EXPECT_EQ(list[1]->offset, 6);
}

TEST(ContainersTest, ListCopyIsDeep) {
  CDynamicList<Region> list;
  list.Add(new Region{1});
  list.Add(new Region{2});
  CDynamicList<Region> copy(list);
  list[0]->offset = 99;
  ASSERT_EQ(copy.count, 2);
  EXPECT_NE(copy[0], list[0]);
  EXPECT_EQ(copy[0]->offset, 1);
  EXPECT_EQ(copy[1]->offset, 2);
}

std::vector<int> Offsets(const CDynamicList<Region>& list) {
  std::vector<int> offsets;
  for (int i = 0; i < list.count; ++i) offsets.push_back(list.items[i]->offset);
  return offsets;
}

TEST(ContainersTest, SortOrdersByComparison) {
  CDynamicList<Region> list;
  for (int offset : {30, 10, 20}) list.Add(new Region{offset});
  list.Sort(CompareRegions);
  EXPECT_EQ(Offsets(list), (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(list.sortHeap, nullptr);
  EXPECT_EQ(list.sortHeapCount, 0);

  CDynamicList<Region> empty;
  empty.Sort(CompareRegions);
  EXPECT_EQ(empty.count, 0);
}

TEST(ContainersTest, SortMatchesStdSortOnRandomSets) {
  std::mt19937 random(12345);
  for (int size : {1, 2, 3, 7, 64, 1000, 1001}) {
    CDynamicList<Region> list;
    std::vector<int> expected;
    for (int i = 0; i < size; ++i) {
      int offset = static_cast<int>(random() % 500);  // with duplicates
      list.Add(new Region{offset});
      expected.push_back(offset);
    }
    std::sort(expected.begin(), expected.end());
    list.Sort([](const Region* a, const Region* b) { return CompareRegions(a, b); });
    EXPECT_EQ(Offsets(list), expected) << size;
  }
}

TEST(ContainersTest, MapLookupInsertsMissingKeys) {
  CDynamicMap<Parlo_StringW, int> map;
  EXPECT_FALSE(map.Contains(u"x"));
  EXPECT_EQ(map.entries.count, 0);

  EXPECT_EQ(map[u"x"], 0);
  EXPECT_EQ(map.entries.count, 1);
  map[u"x"] = 7;
  EXPECT_EQ(&map[u"x"], &map.entries.data[0].value);
  EXPECT_EQ(map[u"x"], 7);
  EXPECT_EQ(map.entries.count, 1);

  EXPECT_EQ(map[u"X"], 0);  // keys are case-sensitive
  EXPECT_EQ(map.entries.count, 2);
  EXPECT_TRUE(map.Contains(u"X"));
  EXPECT_TRUE(map.entries.data[1].key == u"X");
}

TEST(ContainersTest, MapAppendKeepsDuplicatesAndFirstWins) {
  CDynamicMap<Parlo_StringW, int> map;
  map[u"a"] = 1;
  map[u"b"] = 2;
  CDynamicMap<Parlo_StringW, int> other;
  other[u"b"] = 20;
  other[u"c"] = 30;
  map.Append(other);
  ASSERT_EQ(map.entries.count, 4);
  EXPECT_TRUE(map.entries.data[2].key == u"b");
  EXPECT_EQ(map[u"b"], 2);
  EXPECT_EQ(map[u"c"], 30);

  map.Append(map);  // its own entries, once
  EXPECT_EQ(map.entries.count, 8);
  EXPECT_TRUE(map.entries.data[7].key == u"c");
}

TEST(ContainersTest, MapClearKeepsTenSlots) {
  CDynamicMap<Parlo_StringW, Parlo_StringW*> map;
  Parlo_StringW value(u"v");
  map[u"a"] = &value;
  map.Clear();
  EXPECT_EQ(map.entries.count, 0);
  EXPECT_EQ(map.entries.capacity, 10);
  EXPECT_FALSE(map.Contains(u"a"));
  EXPECT_EQ(map[u"a"], nullptr);

  for (int i = 0; i < 12; ++i) map[Parlo_StringW::Format(u"k%d", i)] = &value;
  int grown = map.entries.capacity;
  EXPECT_GT(grown, 10);
  map.Clear();
  EXPECT_EQ(map.entries.capacity, grown);
  EXPECT_EQ(map.entries.count, 0);
}

}  // namespace
