#include "tools/publish/progress.h"

#include <cstdio>
#include <iostream>

namespace publish {

Progress::Progress(bool enabled, std::string verb, uint64_t total_files, uint64_t total_bytes)
    : enabled_(enabled),
      verb_(std::move(verb)),
      total_files_(total_files),
      total_bytes_(total_bytes),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {}

Progress::~Progress() { Finish(); }

void Progress::Add(uint64_t bytes) {
  if (!enabled_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  ++files_;
  bytes_ += bytes;
  auto now = std::chrono::steady_clock::now();
  if (now - last_draw_ < std::chrono::milliseconds(250)) return;
  last_draw_ = now;
  Draw(false);
}

void Progress::Finish() {
  if (!enabled_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (finished_) return;
  finished_ = true;
  Draw(true);
}

void Progress::Draw(bool final) {
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  double mib = static_cast<double>(bytes_) / (1024.0 * 1024.0);
  double total_mib = static_cast<double>(total_bytes_) / (1024.0 * 1024.0);
  double rate = seconds > 0 ? mib / seconds : 0;
  char line[160];
  std::snprintf(line, sizeof(line), "\r%s %llu/%llu files, %.1f/%.1f MiB, %.1f MiB/s   ",
                verb_.c_str(), static_cast<unsigned long long>(files_),
                static_cast<unsigned long long>(total_files_), mib, total_mib, rate);
  std::cerr << line << (final ? "\n" : "") << std::flush;
}

}  // namespace publish
