// The one interface between the system and the operating system: files, time,
// processes, dialogs and text conversion. win32/ and posix/ each implement all of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// ---- Processes -------------------------------------------------------------

// Full path of the running executable (GetModuleFileNameA on Windows).
std::string ModulePath();

// The separator that ends a directory path: '\\' on Windows, '/' elsewhere.
char PathSeparator();

// The process's command line without the program name, as WinMain's lpCmdLine
// has it. On POSIX the arguments are joined with single blanks, each argument
// that holds a blank or a quote quoted the way Windows' parser reads it back.
std::string CommandLineArgs();

// Records the POSIX main()'s arguments for CommandLineArgs(). No-op on Windows.
void SetCommandLine(int argc, char** argv);

// Ends the process at once with this exit code.
[[noreturn]] void ExitProcessNow(int code);

// ---- Files -----------------------------------------------------------------

// An open file; null means "no file". Owned by the caller, released by FileClose.
struct FileObject;
using FileHandle = FileObject*;

enum class SeekOrigin { kBegin, kCurrent, kEnd };

// Opens an existing file for reading (and writing when `write`), sharing read
// and write access with other openers. Null when it does not exist or fails.
FileHandle FileOpenExisting(const char* path, bool write = false);
// Creates a file or truncates an existing one, for reading and writing.
FileHandle FileCreateTruncate(const char* path);
// Reads up to `size` bytes; answers the bytes read, 0 at the end, -1 on error.
int64_t FileRead(FileHandle file, void* buffer, uint32_t size);
// Writes all `size` bytes; false when the file took fewer.
bool FileWrite(FileHandle file, const void* data, uint32_t size);
// Moves the file position; answers the new absolute position or -1.
int64_t FileSeek(FileHandle file, int64_t offset, SeekOrigin origin);
// Size of the open file in bytes, or -1.
int64_t FileSize(FileHandle file);
// Cuts (or extends) the file at the current position.
bool FileSetEnd(FileHandle file);
// Pushes written data to the disk before returning.
bool FileFlush(FileHandle file);
void FileClose(FileHandle file);

bool FileExists(const char* path);
bool FileRemove(const char* path);
// Moves `from` over `to`, replacing it; returns only when the move is on disk.
bool FileMoveReplace(const char* from, const char* to);
// Marks a file that the system wrote as a program as executable (no-op on Windows).
bool FileMakeExecutable(const char* path);

// ---- Time and threads ------------------------------------------------------

// The system's 32-bit millisecond tick count (wraps after 49.7 days).
uint32_t TickCount32();
void SleepMs(uint32_t milliseconds);
uint32_t CurrentThreadId();

// Atomically: if *target == comparand, *target = exchange. Answers the old *target.
int32_t AtomicCompareExchange(volatile int32_t* target, int32_t exchange, int32_t comparand);

// A recursive lock for one process (a Windows critical section).
class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter();
  void Leave();

 private:
  alignas(16) unsigned char storage_[64];
};

// ---- Diagnostics and dialogs -----------------------------------------------

// Writes one text to the debugger output (OutputDebugStringW); on POSIX to
// standard error as UTF-8, exactly as given.
void DebugOutput(const char16_t* text);

// Message box types and answers; the values are those of the Win32 API.
enum MessageBoxFlags : uint32_t {
  kMbOk = 0x0,
  kMbAbortRetryIgnore = 0x2,
  kMbYesNo = 0x4,
  kMbIconError = 0x10,
  kMbIconWarning = 0x30,
};
enum MessageBoxAnswer : int {
  kIdOk = 1,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7,
};

// Shows a modal message box (MessageBoxA) and answers the button pressed. On
// POSIX the caption and text go to standard error; a question is asked on the
// terminal when standard input is one, otherwise it is answered No (Abort for
// Abort/Retry/Ignore).
int ShowMessageBox(const char* text, const char* caption, uint32_t flags);
// The same with a wide text and caption (MessageBoxW).
int ShowMessageBoxW(const char16_t* text, const char16_t* caption, uint32_t flags);

// Opens a document or address with the shell (ShellExecuteA "open"). Answers
// whether the shell took it. On POSIX nothing is opened; the address is printed.
bool ShellOpen(const char* address);

// Whether a dynamic library of this name can be loaded (it is released at once).
// On POSIX a Windows library name is never loaded: the answer is true, since the
// graphics runtime the updater probes for exists only on Windows.
bool LibraryExists(const char* name);

// ---- Test seams ------------------------------------------------------------
// Tests replace the dialogs and the library probe so that no run ever waits for
// a click. An empty function restores the real behaviour.

using MessageBoxHook =
    std::function<int(std::string_view text, std::string_view caption, uint32_t flags)>;
using LibraryHook = std::function<bool(std::string_view name)>;
using ShellOpenHook = std::function<bool(std::string_view address)>;
void SetMessageBoxHook(MessageBoxHook hook);
void SetLibraryHook(LibraryHook hook);
void SetShellOpenHook(ShellOpenHook hook);

// ---- Text ------------------------------------------------------------------

// UTF-8 to UTF-16 and back, as MultiByteToWideChar/WideCharToMultiByte with
// code page 65001 and no flags: invalid input becomes U+FFFD, lone surrogates
// become U+FFFD. Embedded zeros are converted like any other character.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// The system's text for an error code (FormatMessageW from the system, or
// strerror on POSIX); empty when the code has none. Not trimmed.
std::u16string SystemErrorText(uint32_t code);

}  // namespace platform
