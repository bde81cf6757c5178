// Progress of a long run on a terminal: files done, bytes and rate, redrawn on
// one line a few times a second. Silent when standard error is no terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace publish {

class Progress {
 public:
  Progress(bool enabled, std::string verb, uint64_t total_files, uint64_t total_bytes);
  ~Progress();

  // One more file of `bytes` bytes done. Safe from several threads.
  void Add(uint64_t bytes);
  // Draws the final state and ends the line.
  void Finish();

 private:
  void Draw(bool final);

  bool enabled_;
  std::string verb_;
  uint64_t total_files_;
  uint64_t total_bytes_;
  uint64_t files_ = 0;
  uint64_t bytes_ = 0;
  bool finished_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
  std::mutex mutex_;
};

}  // namespace publish
