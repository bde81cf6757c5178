// The updater's side of the network benchmark: downloads a list of addresses
// through Fendu_DownloadFromUpdateURL on one client, several rounds, and prints
// the throughput of each round. Driven by bench/net_bench.sh.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/debug_log.h"
#include "common/streams.h"
#include "net/fendu_download.h"
#include "net/fendu_socket.h"

namespace {

void Quiet(const char16_t*) {}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  std::vector<std::string> urls;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--poll") == 0 && i + 1 < argc) {
      ++i;
      Fendu_Socket_Nonblocking::SetWaitMode(std::strcmp(argv[i], "sleep") == 0
                                                ? Fendu_Socket_Nonblocking::WaitMode::kSleepPoll
                                                : Fendu_Socket_Nonblocking::WaitMode::kSelect);
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--list") == 0 && i + 1 < argc) {
      std::ifstream list(argv[++i]);
      for (std::string line; std::getline(list, line);) {
        if (!line.empty()) urls.push_back(line);
      }
    } else {
      urls.push_back(argv[i]);
    }
  }
  if (urls.empty()) {
    std::fputs(
        "usage: net_bench_client [--poll sleep|select] [--rounds N] (--list FILE | URL...)\n",
        stderr);
    return 2;
  }
  SetDebugLogSink(Quiet);  // the log lines would measure the terminal
  // The update procedure copies each body out of the client into its own
  // stream; one stream reused across files stands for that copy.
  Parlo_StreamwriterMemory out;
  char url[kUpdateUrlBytes];
  for (int round = 1; round <= rounds; ++round) {
    uint64_t bytes = 0;
    auto start = std::chrono::steady_clock::now();
    for (const std::string& address : urls) {
      std::memset(url, 0, sizeof(url));
      std::strncpy(url, address.c_str(), sizeof(url) - 1);
      out.Reset();
      if (!Fendu_DownloadFromUpdateURL(nullptr, url, &out)) {
        std::fprintf(stderr, "download failed: %s\n", address.c_str());
        return 1;
      }
      bytes += out.GetLength();
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("round %d bytes %llu seconds %.4f MBps %.1f\n", round,
                static_cast<unsigned long long>(bytes), seconds, bytes / seconds / 1e6);
  }
  return 0;
}
