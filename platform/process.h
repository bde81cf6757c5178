// Starting programs and looking at running ones: the command line as Windows
// keeps it, process starts with and without the shell, and the process list.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The whole command line of this process as GetCommandLineA gives it, the
// program's own path as its first token. On POSIX it is rebuilt from main()'s
// arguments (SetCommandLine) and quoted the way SplitCommandLine reads it back.
std::string CommandLine();

// Splits a Windows command line into arguments by the C runtime's rules: the
// first token is the program name (quotes only group), the others honour
// backslash-quote escapes and "" inside quotes.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// Starts `application` with `command_line` as its whole command line (its first
// token becomes argv[0] on POSIX) in `directory` (null: this process's own),
// without handing over any handle but the standard ones, and without waiting.
// Answers false with the system's error code in *error when it cannot start.
bool StartProcess(const char* application, const char* command_line, const char* directory,
                  uint32_t* error);

// Starts `file` through the shell (ShellExecuteA, default verb, minimised) with
// `parameters` in `directory`. Answers the shell's result: above 32 when it
// started. POSIX has no shell that opens programs; there the file is started
// with the command line `"file" parameters` and a failure answers 2 (file not
// found), 3 (path not found), 5 (access denied), 11 (bad format) or 31.
intptr_t ShellStart(const char* file, const char* parameters, const char* directory);

// Loads the optional module-path lookup of the process list ("psapi.dll"'s
// GetModuleFileNameExA) once; later calls do nothing. Answers whether it is
// there. Without it the list names each program by its file name only.
bool LoadProcessPathLookup();

// Calls visit(id, path) for every running process that can be opened, until
// visit answers true. Processes of other users that cannot be opened are left
// out. Answers false when the process list cannot be taken.
using ProcessVisitor = std::function<bool(uint32_t id, const std::string& path)>;
bool ForEachProcess(const ProcessVisitor& visit);

// Whether a file or directory of this name exists (FindFirstFileA).
bool PathExists(const char* path);

// DeleteFileA and MoveFileExA(REPLACE_EXISTING | WRITE_THROUGH) that report the
// system's error code of a failure in *error.
bool RemoveFileReporting(const char* path, uint32_t* error);
bool MoveFileReporting(const char* from, const char* to, uint32_t* error);

// ---- Test seams ------------------------------------------------------------
// Tests replace the two starts to see what would be started, or to make a start
// fail. An empty function restores the real behaviour.

using ProcessStartHook =
    std::function<bool(std::string_view application, std::string_view command_line,
                       std::string_view directory, uint32_t* error)>;
using ShellStartHook = std::function<intptr_t(std::string_view file, std::string_view parameters,
                                              std::string_view directory)>;
void SetProcessStartHook(ProcessStartHook hook);
void SetShellStartHook(ShellStartHook hook);

}  // namespace platform
