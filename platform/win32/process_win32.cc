// Process starts and the process list over Win32: CreateProcessA, ShellExecuteA
// and Toolhelp snapshots with psapi's module path when the system has it.
#include <windows.h>
// The shell and Toolhelp headers need <windows.h> before them.
#include <shellapi.h>
#include <tlhelp32.h>

#include <mutex>

// Paths in this layer are 8-bit, as GetModuleFileNameA gives them; the process
// records must be the 8-bit ones even in a UNICODE build.
#undef Process32First
#undef Process32Next
#undef PROCESSENTRY32

#include "platform/hooks.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace platform {

namespace {

using ModuleFileNameExA = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
std::once_flag g_lookup_once;
ModuleFileNameExA g_module_file_name_ex = nullptr;

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (valid()) CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::string CommandLine() {
  const char* line = GetCommandLineA();
  return line ? std::string(line) : std::string();
}

bool StartProcess(const char* application, const char* command_line, const char* directory,
                  uint32_t* error) {
  uint32_t ignored = 0;
  if (!error) error = &ignored;
  *error = 0;
  ProcessStartHook hook = hooks::CurrentProcessStartHook();
  if (hook) {
    return hook(application ? application : "", command_line ? command_line : "",
                directory ? directory : "", error);
  }
  // CreateProcessA may write into the command line, so it gets a copy.
  std::string line = command_line ? command_line : "";
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof(info));
  if (!CreateProcessA(application, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory && *directory ? directory : nullptr, &startup, &info)) {
    *error = GetLastError();
    return false;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}

intptr_t ShellStart(const char* file, const char* parameters, const char* directory) {
  ShellStartHook hook = hooks::CurrentShellStartHook();
  if (hook) return hook(file ? file : "", parameters ? parameters : "", directory ? directory : "");
  HINSTANCE result = ShellExecuteA(nullptr, nullptr, file, parameters, directory, SW_MINIMIZE);
  return reinterpret_cast<intptr_t>(result);
}

bool LoadProcessPathLookup() {
  std::call_once(g_lookup_once, [] {
    // The library stays loaded for the rest of the process.
    HMODULE psapi = LoadLibraryA("psapi.dll");
    if (!psapi) return;
    // Through void* because FARPROC's type says nothing about the real one.
    g_module_file_name_ex = reinterpret_cast<ModuleFileNameExA>(
        reinterpret_cast<void*>(GetProcAddress(psapi, "GetModuleFileNameExA")));
  });
  return g_module_file_name_ex != nullptr;
}

bool ForEachProcess(const ProcessVisitor& visit) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return false;
  PROCESSENTRY32 entry;
  ZeroMemory(&entry, sizeof(entry));
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    // A process of another user cannot be opened and is no game of ours.
    ScopedHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
    if (!process.valid()) continue;
    std::string path;
    if (g_module_file_name_ex) {
      char buffer[MAX_PATH] = {};
      DWORD n = g_module_file_name_ex(process.get(), nullptr, buffer, MAX_PATH);
      path.assign(buffer, n < MAX_PATH ? n : MAX_PATH);
    } else {
      path = entry.szExeFile;
    }
    if (visit(entry.th32ProcessID, path)) break;
  }
  return true;
}

bool PathExists(const char* path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(path, &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

bool RemoveFileReporting(const char* path, uint32_t* error) {
  if (DeleteFileA(path)) return true;
  if (error) *error = GetLastError();
  return false;
}

bool MoveFileReporting(const char* from, const char* to, uint32_t* error) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  if (error) *error = GetLastError();
  return false;
}

}  // namespace platform
