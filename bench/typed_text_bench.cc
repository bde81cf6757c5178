// Reading and writing a resource list of 20,000 entries. The reference is the
// UTF-8 decoding that every list goes through before it is parsed, so the
// parser's cost reads as a multiple of one plain pass over the text. Peak heap
// use is counted by the replacement operator new below.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "common/typed_text.h"
#include "common/typed_text_json.h"
#include "common/typed_text_writer.h"
#include "platform/platform.h"

namespace {

std::atomic<int64_t> g_live_bytes{0};
std::atomic<int64_t> g_peak_bytes{0};

// Each block carries its size in front of it, so delete knows what it frees.
constexpr size_t kHeader = alignof(std::max_align_t);

void* CountedNew(size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  int64_t live = g_live_bytes.fetch_add(static_cast<int64_t>(size)) + static_cast<int64_t>(size);
  int64_t peak = g_peak_bytes.load();
  while (live > peak && !g_peak_bytes.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void CountedDelete(void* pointer) {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  g_live_bytes.fetch_sub(static_cast<int64_t>(*static_cast<size_t*>(block)));
  std::free(block);
}

// The resource list as the update server sends it (UTF-8).
std::string ResourceListUtf8(int count) {
  std::string text = "#resources=[";
  for (int k = 0; k < count; ++k) {
    std::string name = "textures/world/item" + std::to_string(k) + ".dds";
    text += "|" + name + "=[|version=i" + std::to_string(k % 9 + 1) + "|language=i0|size=i" +
            std::to_string(4000 + k) + "|path=$data/" + name + "|compression=i1" +
            (k % 3 == 0 ? "|target=$Layers" : "") + "|hash=iDEADBEEF]";
  }
  text += "]\r\n#date=$2026-12-10 12:00\r\n#mirrors=[|m1=[|url=$http://mirror1.example/]]";
  return text;
}

constexpr int kResources = 20000;

const std::string& ListText() {
  static const std::string text = ResourceListUtf8(kResources);
  return text;
}

void BM_DecodeUtf8Reference(benchmark::State& state) {
  const std::string& text = ListText();
  for (auto _ : state) {
    std::u16string wide = platform::Utf8ToUtf16(text);
    benchmark::DoNotOptimize(wide.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeUtf8Reference)->Unit(benchmark::kMillisecond);

void BM_ParseResourceList(benchmark::State& state) {
  const std::string& text = ListText();
  std::u16string wide = platform::Utf8ToUtf16(text);
  int64_t peak = 0;
  int64_t held = 0;
  for (auto _ : state) {
    int64_t before = g_live_bytes.load();
    g_peak_bytes.store(before);
    {
      Parlo_TypedText doc(wide.data(), static_cast<int32_t>(wide.size()));
      held = g_live_bytes.load() - before;
      if (doc.root.Get(u"resources").Count() != kResources) state.SkipWithError("wrong count");
    }
    peak = g_peak_bytes.load() - before;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["text_bytes"] = static_cast<double>(text.size());
  state.counters["peak_heap_bytes"] = static_cast<double>(peak);
  state.counters["tree_heap_bytes"] = static_cast<double>(held);
}
BENCHMARK(BM_ParseResourceList)->Unit(benchmark::kMillisecond);

void BM_WriteResourceList(benchmark::State& state) {
  std::u16string wide = platform::Utf8ToUtf16(ListText());
  Parlo_TypedText doc(wide.data(), static_cast<int32_t>(wide.size()));
  for (auto _ : state) {
    Parlo_StringW out = TypedTextWrite(doc);
    benchmark::DoNotOptimize(out.Buffer());
  }
}
BENCHMARK(BM_WriteResourceList)->Unit(benchmark::kMillisecond);

void BM_JsonResourceList(benchmark::State& state) {
  std::u16string wide = platform::Utf8ToUtf16(ListText());
  Parlo_TypedText doc(wide.data(), static_cast<int32_t>(wide.size()));
  for (auto _ : state) {
    Parlo_String out = TypedTextToJson(doc);
    benchmark::DoNotOptimize(out.Buffer());
  }
}
BENCHMARK(BM_JsonResourceList)->Unit(benchmark::kMillisecond);

}  // namespace

void* operator new(size_t size) { return CountedNew(size); }
void* operator new[](size_t size) { return CountedNew(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return CountedNew(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return CountedNew(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* pointer) noexcept { CountedDelete(pointer); }
void operator delete[](void* pointer) noexcept { CountedDelete(pointer); }
void operator delete(void* pointer, size_t) noexcept { CountedDelete(pointer); }
void operator delete[](void* pointer, size_t) noexcept { CountedDelete(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { CountedDelete(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { CountedDelete(pointer); }

BENCHMARK_MAIN();
