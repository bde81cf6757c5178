// Drives the download routine for the peer tests: several downloads on one
// client (keep-alive), and aborts from a timer or from the progress report.
// Debug lines go to stderr; one result line per download goes to stdout.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "common/debug_log.h"
#include "common/streams.h"
#include "net/fendu_download.h"
#include "net/http.h"
#include "platform/platform.h"
#include "tests/net/fake_update.h"

namespace {

void PrintDebugLine(const char16_t* text) {
  std::string line = platform::Utf16ToUtf8(text);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

bool WriteFile(const std::string& path, const Parlo_StreamwriterMemory& body) {
  platform::FileHandle file = platform::FileCreateTruncate(path.c_str());
  if (file == nullptr) return false;
  bool ok = body.GetLength() == 0 || platform::FileWrite(file, body.GetBuffer(), body.GetLength());
  platform::FileClose(file);
  return ok;
}

void SetUrl(char* url, const char* text) {
  std::memset(url, 0, kUpdateUrlBytes);
  std::strncpy(url, text, kUpdateUrlBytes - 1);
}

long Elapsed(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - since)
                               .count());
}

// get [--gap MS] OUTDIR URL...: one attempt per address, in order, on the one
// client, with an optional pause between them.
int Get(int argc, char** argv) {
  int first = 2;
  int gap = 0;
  if (argc > 3 && std::strcmp(argv[2], "--gap") == 0) {
    gap = std::atoi(argv[3]);
    first = 4;
  }
  if (argc < first + 2) return 2;
  std::string dir = argv[first];
  char url[kUpdateUrlBytes];
  for (int i = first + 1; i < argc; ++i) {
    if (gap > 0 && i > first + 1) std::this_thread::sleep_for(std::chrono::milliseconds(gap));
    SetUrl(url, argv[i]);
    Parlo_StreamwriterMemory body;
    bool ok = Fendu_DownloadFromUpdateURL(nullptr, url, &body);
    int index = i - first - 1;
    if (ok && !WriteFile(dir + "/" + std::to_string(index) + ".bin", body)) return 3;
    std::printf("%d %d %u %s\n", index, ok ? 1 : 0, body.GetLength(), url);
    std::fflush(stdout);
  }
  return 0;
}

// abort-timer MS URL: Abort from another thread after MS milliseconds.
int AbortTimer(int argc, char** argv) {
  if (argc < 4) return 2;
  int delay = std::atoi(argv[2]);
  char url[kUpdateUrlBytes];
  SetUrl(url, argv[3]);
  auto start = std::chrono::steady_clock::now();
  std::thread timer([delay] {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    g_http.Abort();
  });
  Parlo_StreamwriterMemory body;
  bool ok = Fendu_DownloadFromUpdateURL(nullptr, url, &body);
  long elapsed = Elapsed(start);
  timer.join();
  std::printf("%d %ld\n", ok ? 1 : 0, elapsed);
  return 0;
}

// abort-progress URL: the front end's status call aborts, as the window's button does.
int AbortProgress(int argc, char** argv) {
  if (argc < 3) return 2;
  char url[kUpdateUrlBytes];
  SetUrl(url, argv[2]);
  FakeUpdate frontEnd;
  frontEnd.abort_in_status = true;
  auto start = std::chrono::steady_clock::now();
  Parlo_StreamwriterMemory body;
  bool ok = Fendu_DownloadFromUpdateURL(&frontEnd, url, &body);
  std::printf("%d %ld %zu\n", ok ? 1 : 0, Elapsed(start), frontEnd.statuses.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SetDebugLogSink(PrintDebugLine);
  if (argc >= 2 && std::strcmp(argv[1], "get") == 0) return Get(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "abort-timer") == 0) return AbortTimer(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "abort-progress") == 0) return AbortProgress(argc, argv);
  std::fputs("usage: net_peer_driver get OUTDIR URL... | abort-timer MS URL | abort-progress URL\n",
             stderr);
  return 2;
}
