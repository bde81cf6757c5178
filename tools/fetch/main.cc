// vossarium-fetch: downloads one address with the updater's HTTP client and its
// attempt rule, prints the client's debug lines, writes the body to a file or stdout.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/debug_log.h"
#include "common/streams.h"
#include "net/fendu_download.h"
#include "platform/platform.h"
#include "platform/stdio_binary.h"

namespace {

constexpr char kUsage[] =
    "usage: vossarium-fetch [--attempts N] [--pause MS] URL [OUT]\n"
    "Downloads URL the way the updater does: up to N attempts (default 20),\n"
    "MS milliseconds apart (default 3000); a 301 answer costs one attempt and\n"
    "the next attempt goes to its Location. The body goes to OUT, or to standard\n"
    "output without OUT. Exit status 0 only when the whole body arrived.\n";

#ifdef _WIN32
// The debugger output is invisible in a console; the lines go to stderr too.
void PrintDebugLine(const char16_t* text) {
  platform::DebugOutput(text);
  std::string line = platform::Utf16ToUtf8(text);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}
#endif

bool ParseCount(const char* text, long minimum, long* value) {
  char* end = nullptr;
  long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < minimum) return false;
  *value = parsed;
  return true;
}

bool WriteBody(const char* path, const Parlo_StreamwriterMemory& body) {
  if (path == nullptr) {
    platform::SetStdoutBinary();
    size_t written = std::fwrite(body.GetBuffer(), 1, body.GetLength(), stdout);
    return std::fflush(stdout) == 0 && written == body.GetLength();
  }
  platform::FileHandle file = platform::FileCreateTruncate(path);
  if (file == nullptr) return false;
  bool ok = body.GetLength() == 0 || platform::FileWrite(file, body.GetBuffer(), body.GetLength());
  platform::FileClose(file);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  SetDebugLogSink(PrintDebugLine);
#endif
  long attempts = 20;
  long pause_ms = 3000;
  const char* address = nullptr;
  const char* out_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(arg, "--attempts") == 0 && i + 1 < argc) {
      if (!ParseCount(argv[++i], 1, &attempts)) return std::fputs(kUsage, stderr), 2;
    } else if (std::strcmp(arg, "--pause") == 0 && i + 1 < argc) {
      if (!ParseCount(argv[++i], 0, &pause_ms)) return std::fputs(kUsage, stderr), 2;
    } else if (address == nullptr) {
      address = arg;
    } else if (out_path == nullptr) {
      out_path = arg;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (address == nullptr) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  char url[kUpdateUrlBytes] = {};
  if (std::strlen(address) >= sizeof(url)) {
    std::fprintf(stderr, "vossarium-fetch: the address is longer than %d bytes\n",
                 kUpdateUrlBytes - 1);
    return 2;
  }
  std::strcpy(url, address);

  Parlo_StreamwriterMemory body;
  for (long attempt = 1; attempt <= attempts; ++attempt) {
    body.Reset();
    if (Fendu_DownloadFromUpdateURL(nullptr, url, &body)) {
      if (!WriteBody(out_path, body)) {
        std::fprintf(stderr, "vossarium-fetch: cannot write the body\n");
        return 1;
      }
      std::fprintf(stderr, "vossarium-fetch: %u bytes from %s\n", body.GetLength(), url);
      return 0;
    }
    std::fprintf(stderr, "vossarium-fetch: attempt %ld of %ld failed\n", attempt, attempts);
    if (attempt < attempts) platform::SleepMs(static_cast<uint32_t>(pause_ms));
  }
  return 1;
}
