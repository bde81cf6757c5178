// vossarium-dbgcapture PROGRAM [ARGS...]: runs PROGRAM as a debuggee and copies
// every text it sends to the debugger output, as UTF-8, to standard output.
//
// Each text is written exactly as emitted (no separator is added), so tests can
// compare the whole output. The exit code is the debuggee's.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: shellapi.h builds on its macros.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

// Quotes one argument so that the child's command line parser reads it back
// unchanged: backslashes count only in front of a quote, where they double.
void AppendQuoted(std::wstring* out, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
    out->append(arg);
    return;
  }
  out->push_back(L'"');
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out->push_back(c);
  }
  out->append(backslashes * 2, L'\\');
  out->push_back(L'"');
}

// Straight to the handle: the C runtime's text mode would add carriage returns.
void WriteOut(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!WriteFile(out, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                   nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

std::u16string Decode(UINT code_page, DWORD flags, const std::string& narrow) {
  int needed = MultiByteToWideChar(code_page, flags, narrow.data(), static_cast<int>(narrow.size()),
                                   nullptr, 0);
  if (needed <= 0) return std::u16string();
  std::u16string wide(static_cast<size_t>(needed), u'\0');
  MultiByteToWideChar(code_page, flags, narrow.data(), static_cast<int>(narrow.size()),
                      reinterpret_cast<wchar_t*>(wide.data()), needed);
  return wide;
}

// Reads the debuggee's text: UTF-16 when it comes wide, else ANSI bytes.
std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  size_t length = info.nDebugStringLength;  // characters, with the terminator
  if (length == 0) return std::string();
  if (info.fUnicode) {
    std::u16string wide(length, u'\0');
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, info.lpDebugStringData, wide.data(), length * 2, &read)) {
      return std::string();
    }
    wide.resize(read / 2);
    size_t end = wide.find(u'\0');
    if (end != std::u16string::npos) wide.resize(end);
    return platform::Utf16ToUtf8(wide);
  }
  std::string narrow(length, '\0');
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, info.lpDebugStringData, narrow.data(), length, &read)) {
    return std::string();
  }
  narrow.resize(read);
  size_t end = narrow.find('\0');
  if (end != std::string::npos) narrow.resize(end);
  if (narrow.empty()) return narrow;
  // The text is in the debuggee's ANSI code page, which a debugger cannot ask
  // for. Well-formed UTF-8 is taken as such (a debuggee running with the UTF-8
  // code page, as Wine narrows OutputDebugStringW); anything else is read in
  // this process's code page, the system's default.
  std::u16string wide = Decode(CP_UTF8, MB_ERR_INVALID_CHARS, narrow);
  if (wide.empty()) wide = Decode(CP_ACP, 0, narrow);
  return platform::Utf16ToUtf8(wide);
}

void CloseIfSet(HANDLE handle) {
  if (handle) CloseHandle(handle);
}

using WaitForDebugEventFunction = BOOL(WINAPI*)(DEBUG_EVENT*, DWORD);

// WaitForDebugEventEx (Windows 10) hands OutputDebugStringW text over wide;
// plain WaitForDebugEvent only gets it narrowed to the ANSI code page.
WaitForDebugEventFunction PickWaitFunction() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  FARPROC wide = kernel ? GetProcAddress(kernel, "WaitForDebugEventEx") : nullptr;
  if (!wide) return &WaitForDebugEvent;
  return reinterpret_cast<WaitForDebugEventFunction>(reinterpret_cast<void (*)()>(wide));
}

int RunDebuggee(std::wstring command_line) {
  WaitForDebugEventFunction wait_for_debug_event = PickWaitFunction();
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS,
                      nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "vossarium-dbgcapture: cannot start the program (error %lu)\n",
                 GetLastError());
    return 1;
  }
  DWORD exit_code = 1;
  for (;;) {
    DEBUG_EVENT event = {};
    if (!wait_for_debug_event(&event, INFINITE)) {
      std::fprintf(stderr, "vossarium-dbgcapture: lost the debuggee (error %lu)\n", GetLastError());
      break;
    }
    DWORD status = DBG_CONTINUE;
    bool done = false;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        CloseIfSet(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        CloseIfSet(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT:
        WriteOut(ReadDebugString(process.hProcess, event.u.DebugString));
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The loader's breakpoint is ours to swallow; every other exception
        // goes back to the program's own handlers, as without a debugger.
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        exit_code = event.u.ExitProcess.dwExitCode;
        done = true;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    if (done) break;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exit_code);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) {
    std::fprintf(stderr, "usage: vossarium-dbgcapture PROGRAM [ARGS...]\n");
    return 2;
  }
  std::wstring command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line.push_back(L' ');
    AppendQuoted(&command_line, argv[i]);
  }
  LocalFree(argv);
  return RunDebuggee(command_line);
}
