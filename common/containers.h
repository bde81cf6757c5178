// The container templates: CDynamicArray (values), CDynamicArrayThreadSafe
// (pointers under a lock), CDynamicList (owned records, heap sort), CDynamicMap.
#pragma once

#include <cassert>
#include <climits>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace containers_internal {

// Capacities are signed 32-bit; a growth that would pass INT_MAX is clamped,
// and a container already at INT_MAX slots cannot grow (as if out of memory).
inline int ClampCapacity(double wanted, int current) {
  if (current >= INT_MAX) throw std::bad_alloc();
  if (wanted >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(wanted);
}

}  // namespace containers_internal

// A growable array of values. Class elements live in constructed slots; the
// first `count` of the `capacity` slots are in use. Not thread-safe.
template <class T>
class CDynamicArray {
 public:
  CDynamicArray() : capacity(1), count(0), data(new T[1]()) {}

  // Deep copy, with the same capacity as the source.
  CDynamicArray(const CDynamicArray& other)
      : capacity(other.capacity > 0 ? other.capacity : 1), count(0), data(new T[capacity]()) {
    for (int i = 0; i < other.count; ++i) data[i] = other.data[i];
    count = other.count;
  }

  virtual ~CDynamicArray() { delete[] data; }

  // Keeps the own slots and appends every element of the other array.
  CDynamicArray& operator=(const CDynamicArray& other) {
    if (data == other.data) return *this;
    count = 0;
    for (int i = 0; i < other.count; ++i) Add(other.data[i]);
    return *this;
  }

  void Add(const T& item) {
    if (count == capacity) {
      int grown = containers_internal::ClampCapacity(capacity * 1.2 + 1.0, capacity);
      T* block = new T[grown]();
      for (int i = 0; i < count; ++i) block[i] = data[i];
      // `item` may lie in the old block (adding an element to its own array),
      // so the old block is released only after the copy.
      block[count] = item;
      delete[] data;
      data = block;
      capacity = grown;
    } else {
      data[count] = item;
    }
    ++count;
  }

  T& operator[](int index) {
    assert(index >= 0 && index < count);
    return data[index];
  }
  const T& operator[](int index) const {
    assert(index >= 0 && index < count);
    return data[index];
  }

  int capacity;
  int count;
  T* data;
};

// A growable array of pointers whose Add holds a critical section. It does not
// own what the pointers point to.
template <class T>
class CDynamicArrayThreadSafe {
 public:
  CDynamicArrayThreadSafe() : capacity(1), count(0), data(new T[1]()) {}
  CDynamicArrayThreadSafe(const CDynamicArrayThreadSafe&) = delete;
  CDynamicArrayThreadSafe& operator=(const CDynamicArrayThreadSafe&) = delete;
  virtual ~CDynamicArrayThreadSafe() { delete[] data; }

  void Add(T item) {
    lock.Enter();
    if (count == capacity) {
      int grown = containers_internal::ClampCapacity((capacity + 1) * 1.5, capacity);
      T* block = new T[grown]();
      for (int i = 0; i < count; ++i) block[i] = data[i];
      delete[] data;
      data = block;
      capacity = grown;
    }
    data[count] = item;
    ++count;
    lock.Leave();
  }

  // Unlocked: readers take the lock themselves when writers may run.
  T& operator[](int index) {
    assert(index >= 0 && index < count);
    return data[index];
  }
  const T& operator[](int index) const {
    assert(index >= 0 && index < count);
    return data[index];
  }

  int capacity;
  platform::CriticalSection lock;
  int count;
  T* data;
};

// A growable array of pointers to heap records that the list owns. Slots at and
// beyond `count` always hold null. Not thread-safe.
template <class T>
class CDynamicList {
 public:
  CDynamicList() : capacity(1), sortHeap(nullptr), sortHeapCount(0), count(0), items(new T*[1]()) {}

  // Deep copy: every record is copied into a record of its own.
  CDynamicList(const CDynamicList& other)
      : capacity(other.capacity),
        sortHeap(nullptr),
        sortHeapCount(0),
        count(0),
        items(other.capacity > 0 ? new T*[other.capacity]() : nullptr) {
    for (int i = 0; i < other.count; ++i) items[i] = new T(*other.items[i]);
    count = other.count;
  }
  CDynamicList& operator=(const CDynamicList&) = delete;

  virtual ~CDynamicList() { Clear(); }

  // Takes ownership of `item`.
  void Add(T* item) {
    if (count == capacity) {
      int grown = containers_internal::ClampCapacity(capacity * 2.0 + 1.0, capacity);
      T** block = new T*[grown]();
      for (int i = 0; i < count; ++i) block[i] = items[i];
      if (items != nullptr) {
        std::memset(items, 0, sizeof(T*) * capacity);
        delete[] items;
      }
      items = block;
      capacity = grown;
    }
    items[count] = item;
    ++count;
  }

  // Deletes the record at `index` and closes the gap; a bad index changes nothing.
  void RemoveAt(int index) {
    if (count <= 0 || index < 0 || index >= count) return;
    delete items[index];
    --count;
    for (int i = index; i < count; ++i) items[i] = items[i + 1];
    items[count] = nullptr;
  }

  // Deletes every record and the slot storage; the next Add starts from 0 slots.
  void Clear() {
    for (int i = 0; i < count; ++i) {
      delete items[i];
      items[i] = nullptr;
    }
    if (capacity != 0) delete[] items;
    items = nullptr;
    capacity = 0;
    count = 0;
  }

  T*& operator[](int index) {
    assert(index >= 0 && index < count);
    return items[index];
  }
  T* operator[](int index) const {
    assert(index >= 0 && index < count);
    return items[index];
  }

  // Orders the records ascending by `compare(const T*, const T*)` (negative,
  // zero or positive) with a heap sort; equal records keep no particular order.
  template <class Compare>
  void Sort(Compare compare) {
    if (count <= 0) return;
    sortHeap = new T*[count];
    for (int i = 0; i < count; ++i) sortHeap[i] = items[i];
    sortHeapCount = count;
    for (int i = count - 1; i >= 0; --i) {
      if (2 * i + 1 < sortHeapCount) SiftDown(i, compare);
    }
    for (int k = 0; k < count; ++k) {
      items[k] = sortHeap[0];
      --sortHeapCount;
      sortHeap[0] = sortHeap[sortHeapCount];
      SiftDown(0, compare);
    }
    std::memset(sortHeap, 0, sizeof(T*) * count);
    delete[] sortHeap;
    sortHeap = nullptr;
    sortHeapCount = 0;
  }

  int capacity;
  T** sortHeap;
  int sortHeapCount;
  int count;
  T** items;

 private:
  template <class Compare>
  void SiftDown(int parent, Compare& compare) {
    for (;;) {
      int child = 2 * parent + 1;
      if (child >= sortHeapCount) return;
      int right = child + 1;
      if (right < sortHeapCount && compare(sortHeap[child], sortHeap[right]) > 0) child = right;
      if (compare(sortHeap[child], sortHeap[parent]) >= 0) return;
      T* moved = sortHeap[parent];
      sortHeap[parent] = sortHeap[child];
      sortHeap[child] = moved;
      parent = child;
    }
  }
};

// One association of a map.
template <class K, class V>
struct KVP {
  K key;
  V value;
};

// An association from keys to values, kept in insertion order and searched by
// exact comparison from the first entry. It does not own what pointer values
// point to. Not thread-safe.
template <class K, class V>
class CDynamicMap {
 public:
  using KVP = ::KVP<K, V>;

  // Empties the map; a block of at least 10 slots stays for the next use.
  void Clear() {
    if (entries.capacity < 10) {
      delete[] entries.data;
      entries.data = nullptr;  // keeps the map destructible if the next line throws
      entries.capacity = 0;
      entries.count = 0;
      entries.data = new KVP[10]();
      entries.capacity = 10;
    }
    entries.count = 0;
  }

  // The value of the first entry with this key; a missing key is added with a
  // zero value.
  V& operator[](K key) {
    for (int i = 0; i < entries.count; ++i) {
      if (entries.data[i].key == key) return entries.data[i].value;
    }
    KVP entry{};
    entry.key = key;
    entries.Add(entry);
    return entries.data[entries.count - 1].value;
  }

  // Appends every entry of `other` in its order; keys already present repeat.
  void Append(const CDynamicMap& other) {
    int n = other.entries.count;  // appending a map to itself copies its entries once
    for (int i = 0; i < n; ++i) entries.Add(other.entries.data[i]);
  }

  bool Contains(K key) const {
    for (int i = 0; i < entries.count; ++i) {
      if (entries.data[i].key == key) return true;
    }
    return false;
  }

  CDynamicArray<KVP> entries;
};
