// The platform layer over the Win32 API: the calls the updater has always made,
// behind the same interface the POSIX build answers.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: shellapi.h builds on its macros.
#include <shellapi.h>

#include <climits>
#include <cstdio>
#include <mutex>
#include <new>

#include "platform/hooks.h"
#include "platform/platform.h"

namespace platform {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 on Windows");
static_assert(sizeof(LONG) == sizeof(int32_t), "InterlockedCompareExchange works on 32 bits");
static_assert(sizeof(CRITICAL_SECTION) <= 64, "the critical section must fit its storage");
static_assert(alignof(CRITICAL_SECTION) <= 16, "the critical section must fit its alignment");

constexpr UINT kUtf8CodePage = 65001;

HANDLE HandleOf(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FileOf(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return nullptr;
  return reinterpret_cast<FileHandle>(handle);
}

FileHandle OpenFile(const char* path, DWORD access, DWORD disposition) {
  HANDLE handle = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return FileOf(handle);
}

CRITICAL_SECTION* SectionOf(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

}  // namespace

// ---- Processes -------------------------------------------------------------

std::string ModulePath() {
  char buffer[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return std::string(buffer, length < MAX_PATH ? length : MAX_PATH);
}

char PathSeparator() { return '\\'; }

std::string CommandLineArgs() {
  // The program name ends at the first blank outside quotes, the way the C
  // runtime finds WinMain's lpCmdLine; the blanks behind it are skipped too.
  const char* p = GetCommandLineA();
  if (!p) return std::string();
  bool in_quotes = false;
  while (static_cast<unsigned char>(*p) > ' ' || (*p != '\0' && in_quotes)) {
    if (*p == '"') in_quotes = !in_quotes;
    ++p;
  }
  while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
  return std::string(p);
}

void SetCommandLine(int, char**) {}

void ExitProcessNow(int code) {
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

// ---- Files -----------------------------------------------------------------

FileHandle FileOpenExisting(const char* path, bool write) {
  return OpenFile(path, GENERIC_READ | (write ? GENERIC_WRITE : 0), OPEN_EXISTING);
}

FileHandle FileCreateTruncate(const char* path) {
  return OpenFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
}

int64_t FileRead(FileHandle file, void* buffer, uint32_t size) {
  if (!file) return -1;
  DWORD read = 0;
  if (!ReadFile(HandleOf(file), buffer, size, &read, nullptr)) return -1;
  return read;
}

bool FileWrite(FileHandle file, const void* data, uint32_t size) {
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(HandleOf(file), data, size, &written, nullptr) && written == size;
}

int64_t FileSeek(FileHandle file, int64_t offset, SeekOrigin origin) {
  if (!file) return -1;
  DWORD method = origin == SeekOrigin::kBegin     ? FILE_BEGIN
                 : origin == SeekOrigin::kCurrent ? FILE_CURRENT
                                                  : FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  if (!SetFilePointerEx(HandleOf(file), distance, &position, method)) return -1;
  return position.QuadPart;
}

int64_t FileSize(FileHandle file) {
  if (!file) return -1;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(HandleOf(file), &size)) return -1;
  return size.QuadPart;
}

bool FileSetEnd(FileHandle file) { return file && SetEndOfFile(HandleOf(file)); }

bool FileFlush(FileHandle file) { return file && FlushFileBuffers(HandleOf(file)); }

void FileClose(FileHandle file) {
  if (file) CloseHandle(HandleOf(file));
}

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool FileRemove(const char* path) { return DeleteFileA(path) != 0; }

bool FileMoveReplace(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool FileMakeExecutable(const char*) { return true; }

// ---- Time and threads ------------------------------------------------------

uint32_t TickCount32() { return GetTickCount(); }

void SleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

int32_t AtomicCompareExchange(volatile int32_t* target, int32_t exchange, int32_t comparand) {
  return InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(target), exchange, comparand);
}

CriticalSection::CriticalSection() { InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }

CriticalSection::~CriticalSection() { DeleteCriticalSection(SectionOf(storage_)); }

void CriticalSection::Enter() { EnterCriticalSection(SectionOf(storage_)); }

void CriticalSection::Leave() { LeaveCriticalSection(SectionOf(storage_)); }

// ---- Diagnostics and dialogs -----------------------------------------------

void DebugOutput(const char16_t* text) {
  if (text) OutputDebugStringW(reinterpret_cast<const wchar_t*>(text));
}

int ShowMessageBox(const char* text, const char* caption, uint32_t flags) {
  MessageBoxHook hook = hooks::CurrentMessageBoxHook();
  if (hook) return hook(text ? text : "", caption ? caption : "", flags);
  return MessageBoxA(nullptr, text, caption, flags);
}

int ShowMessageBoxW(const char16_t* text, const char16_t* caption, uint32_t flags) {
  MessageBoxHook hook = hooks::CurrentMessageBoxHook();
  if (hook) {
    return hook(text ? Utf16ToUtf8(text) : std::string(),
                caption ? Utf16ToUtf8(caption) : std::string(), flags);
  }
  return MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text),
                     reinterpret_cast<const wchar_t*>(caption), flags);
}

bool ShellOpen(const char* address) {
  ShellOpenHook hook = hooks::CurrentShellOpenHook();
  if (hook) return hook(address ? address : "");
  HINSTANCE result = ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOW);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool LibraryExists(const char* name) {
  LibraryHook hook = hooks::CurrentLibraryHook();
  if (hook) return hook(name ? name : "");
  HMODULE library = LoadLibraryA(name);
  if (!library) return false;
  FreeLibrary(library);
  return true;
}

// ---- Text ------------------------------------------------------------------

std::u16string Utf8ToUtf16(std::string_view text) {
  // Explicit lengths, so embedded zeros convert like any other character.
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::u16string();
  int length = static_cast<int>(text.size());
  int needed = MultiByteToWideChar(kUtf8CodePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return std::u16string();
  std::u16string out(static_cast<size_t>(needed), u'\0');
  int written = MultiByteToWideChar(kUtf8CodePage, 0, text.data(), length,
                                    reinterpret_cast<wchar_t*>(out.data()), needed);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  int length = static_cast<int>(text.size());
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  int needed = WideCharToMultiByte(kUtf8CodePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string out(static_cast<size_t>(needed), '\0');
  int written =
      WideCharToMultiByte(kUtf8CodePage, 0, wide, length, out.data(), needed, nullptr, nullptr);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::u16string SystemErrorText(uint32_t code) {
  wchar_t buffer[1024] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer, 1023, nullptr);
  return std::u16string(reinterpret_cast<const char16_t*>(buffer));
}

}  // namespace platform
