// The platform layer over POSIX (Linux): the same calls the Windows build makes,
// answered with file descriptors, pthreads and the terminal.
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/hooks.h"
#include "platform/platform.h"
#include "platform/posix/utf_codec.h"
#include "platform/process.h"

namespace platform {

namespace {

// main()'s arguments once SetCommandLine has run; until then /proc has them.
bool g_args_set = false;
std::vector<std::string> g_args;

// Quotes one argument so that the Windows command line parser reads it back
// unchanged: backslashes count only in front of a quote, where they double.
void AppendQuoted(std::string* out, const std::string& arg) {
  bool needs_quotes = arg.empty() || arg.find_first_of(" \t\"") != std::string::npos;
  if (!needs_quotes) {
    out->append(arg);
    return;
  }
  out->push_back('"');
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out->append(backslashes * 2 + 1, '\\');
    } else {
      out->append(backslashes, '\\');
    }
    backslashes = 0;
    out->push_back(c);
  }
  // The closing quote must not be escaped by the argument's own backslashes.
  out->append(backslashes * 2, '\\');
  out->push_back('"');
}

std::vector<std::string> ArgsFromProc() {
  std::vector<std::string> args;
  int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return args;
  std::string all;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof(buffer))) > 0) all.append(buffer, static_cast<size_t>(n));
  close(fd);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    args.emplace_back(all, start, end - start);
    start = end + 1;
  }
  return args;
}

int FdOf(FileHandle file) { return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1); }

FileHandle HandleOf(int fd) { return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd) + 1); }

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SyncDirectoryOf(const char* path) {
  std::string_view whole(path);
  size_t slash = whole.rfind('/');
  std::string dir(slash == std::string_view::npos ? std::string_view(".")
                                                  : whole.substr(0, slash == 0 ? 1 : slash));
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

// Reads one answer letter from the terminal; 0 at end of input.
char AskTerminal(const char* prompt) {
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  char line[64];
  if (!std::fgets(line, sizeof(line), stdin)) return 0;
  for (char* p = line; *p; ++p) {
    if (*p != ' ' && *p != '\t') return *p >= 'A' && *p <= 'Z' ? static_cast<char>(*p + 32) : *p;
  }
  return 0;
}

int AnswerOnTerminal(uint32_t flags) {
  uint32_t type = flags & 0xF;
  if (type == kMbYesNo) {
    if (!isatty(STDIN_FILENO)) return kIdNo;
    return AskTerminal("[y/N] ") == 'y' ? kIdYes : kIdNo;
  }
  if (type == kMbAbortRetryIgnore) {
    if (!isatty(STDIN_FILENO)) return kIdAbort;
    for (;;) {
      switch (AskTerminal("[a]bort, [r]etry, [i]gnore? ")) {
        case 0:
        case 'a':
          return kIdAbort;
        case 'r':
          return kIdRetry;
        case 'i':
          return kIdIgnore;
        default:
          break;
      }
    }
  }
  return kIdOk;
}

// GNU and XSI strerror_r differ in their result; both overloads find the text.
[[maybe_unused]] const char* ErrorTextFrom(int result, const char* buffer) {
  return result == 0 ? buffer : "";
}
[[maybe_unused]] const char* ErrorTextFrom(const char* result, const char*) { return result; }

}  // namespace

// ---- Processes -------------------------------------------------------------

std::string ModulePath() {
  std::string path(PATH_MAX, '\0');
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return std::string();
  path.resize(static_cast<size_t>(n));
  return path;
}

char PathSeparator() { return '/'; }

std::string CommandLineArgs() {
  std::vector<std::string> args = g_args_set ? g_args : ArgsFromProc();
  std::string line;
  for (size_t i = 1; i < args.size(); ++i) {
    if (i > 1) line.push_back(' ');
    AppendQuoted(&line, args[i]);
  }
  return line;
}

// Declared in process.h; it lives here because it shares the recorded
// arguments and their quoting with CommandLineArgs.
std::string CommandLine() {
  std::vector<std::string> args = g_args_set ? g_args : ArgsFromProc();
  std::string line;
  if (!args.empty()) AppendQuoted(&line, args[0]);
  for (size_t i = 1; i < args.size(); ++i) {
    line.push_back(' ');
    AppendQuoted(&line, args[i]);
  }
  return line;
}

void SetCommandLine(int argc, char** argv) {
  g_args.clear();
  for (int i = 0; i < argc; ++i) g_args.emplace_back(argv[i] ? argv[i] : "");
  g_args_set = true;
}

void ExitProcessNow(int code) {
  std::fflush(nullptr);
  _exit(code);
}

// ---- Files -----------------------------------------------------------------

FileHandle FileOpenExisting(const char* path, bool write) {
  int fd = open(path, (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  // A directory is not a file to read, as on Windows.
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  return HandleOf(fd);
}

FileHandle FileCreateTruncate(const char* path) {
  int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  return HandleOf(fd);
}

int64_t FileRead(FileHandle file, void* buffer, uint32_t size) {
  if (!file) return -1;
  char* p = static_cast<char*>(buffer);
  int64_t total = 0;
  // Like ReadFile on a disk file: only the end of the file stops short.
  while (total < size) {
    ssize_t n = read(FdOf(file), p + total, size - static_cast<size_t>(total));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    total += n;
  }
  return total;
}

bool FileWrite(FileHandle file, const void* data, uint32_t size) {
  if (!file) return false;
  return WriteAll(FdOf(file), data, size);
}

int64_t FileSeek(FileHandle file, int64_t offset, SeekOrigin origin) {
  if (!file) return -1;
  int whence = origin == SeekOrigin::kBegin     ? SEEK_SET
               : origin == SeekOrigin::kCurrent ? SEEK_CUR
                                                : SEEK_END;
  off_t pos = lseek(FdOf(file), static_cast<off_t>(offset), whence);
  return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

int64_t FileSize(FileHandle file) {
  if (!file) return -1;
  struct stat st;
  if (fstat(FdOf(file), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool FileSetEnd(FileHandle file) {
  if (!file) return false;
  off_t pos = lseek(FdOf(file), 0, SEEK_CUR);
  return pos >= 0 && ftruncate(FdOf(file), pos) == 0;
}

// fdatasync: the bytes and what it takes to read them back (the length), without
// the time stamps that fsync would also wait for.
bool FileFlush(FileHandle file) { return file && fdatasync(FdOf(file)) == 0; }

void FileClose(FileHandle file) {
  if (file) close(FdOf(file));
}

bool FileExists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

bool FileRemove(const char* path) { return unlink(path) == 0; }

bool FileMoveReplace(const char* from, const char* to) {
  // The data goes to the disk before the name points at it, so a crash never
  // leaves `to` naming an empty file.
  int fd = open(from, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  fsync(fd);
  close(fd);
  if (rename(from, to) != 0) return false;
  return SyncDirectoryOf(to);
}

bool FileMakeExecutable(const char* path) { return chmod(path, 0755) == 0; }

// ---- Time and threads ------------------------------------------------------

uint32_t TickCount32() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void SleepMs(uint32_t milliseconds) {
  struct timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

int32_t AtomicCompareExchange(volatile int32_t* target, int32_t exchange, int32_t comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return comparand;  // on failure the builtin stored the value it found
}

static_assert(sizeof(pthread_mutex_t) <= 64, "the mutex must fit CriticalSection's storage");
static_assert(alignof(pthread_mutex_t) <= 16, "the mutex must fit CriticalSection's alignment");

CriticalSection::CriticalSection() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(new (storage_) pthread_mutex_t, &attr);
  pthread_mutexattr_destroy(&attr);
}

CriticalSection::~CriticalSection() {
  pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(storage_));
}

void CriticalSection::Enter() { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(storage_)); }

void CriticalSection::Leave() {
  pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(storage_));
}

// ---- Diagnostics and dialogs -----------------------------------------------

void DebugOutput(const char16_t* text) {
  if (!text) return;
  std::string utf8 = Utf16ToUtf8(std::u16string_view(text));
  if (utf8.empty()) return;
  // One write, so lines of several threads or processes never interleave.
  ssize_t ignored = write(STDERR_FILENO, utf8.data(), utf8.size());
  (void)ignored;
}

int ShowMessageBox(const char* text, const char* caption, uint32_t flags) {
  MessageBoxHook hook = hooks::CurrentMessageBoxHook();
  std::string_view text_view = text ? text : "";
  std::string_view caption_view = caption ? caption : "";
  if (hook) return hook(text_view, caption_view, flags);
  std::string shown;
  shown.append(caption_view).append(": ").append(text_view).append("\n");
  WriteAll(STDERR_FILENO, shown.data(), shown.size());
  return AnswerOnTerminal(flags);
}

int ShowMessageBoxW(const char16_t* text, const char16_t* caption, uint32_t flags) {
  std::string narrow_text = text ? Utf16ToUtf8(text) : std::string();
  std::string narrow_caption = caption ? Utf16ToUtf8(caption) : std::string();
  return ShowMessageBox(narrow_text.c_str(), narrow_caption.c_str(), flags);
}

bool ShellOpen(const char* address) {
  ShellOpenHook hook = hooks::CurrentShellOpenHook();
  std::string_view view = address ? address : "";
  if (hook) return hook(view);
  std::string shown;
  shown.append("open: ").append(view).append("\n");
  WriteAll(STDERR_FILENO, shown.data(), shown.size());
  return false;
}

bool LibraryExists(const char* name) {
  LibraryHook hook = hooks::CurrentLibraryHook();
  std::string_view view = name ? name : "";
  if (hook) return hook(view);
  if (view.size() >= 4) {
    std::string tail(view.substr(view.size() - 4));
    for (char& c : tail) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    if (tail == ".dll") return true;
  }
  void* library = dlopen(std::string(view).c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!library) return false;
  dlclose(library);
  return true;
}

// ---- Text ------------------------------------------------------------------

std::u16string Utf8ToUtf16(std::string_view text) { return utf_codec::DecodeUtf8(text); }

std::string Utf16ToUtf8(std::u16string_view text) { return utf_codec::EncodeUtf8(text); }

std::u16string SystemErrorText(uint32_t code) {
  if (code > static_cast<uint32_t>(INT_MAX)) return std::u16string();
  char buffer[256] = {};
  const char* text =
      ErrorTextFrom(strerror_r(static_cast<int>(code), buffer, sizeof(buffer)), buffer);
  if (!text || std::strncmp(text, "Unknown error", 13) == 0) return std::u16string();
  return Utf8ToUtf16(text);
}

}  // namespace platform
