// The progress dialog on Win32: created from the executable's template 102 and
// serviced only when the updater pumps its messages.
#include "platform/progress_window.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "platform/platform.h"

namespace platform {
namespace {

constexpr int kDialogTemplate = 102;
constexpr int kIcon = 104;
constexpr int kButton = 1;
constexpr int kStatusEdit = 1000;
constexpr int kProgressBar = 1004;

// One progress window per process: the dialog procedure has no other way to
// reach its owner before WM_INITDIALOG.
ProgressWindowEvents g_events;

HWND AsWindow(ProgressWindow window) { return static_cast<HWND>(window); }

INT_PTR CALLBACK UpdateDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  // Registered on every call so that the class exists by the time the
  // dialog's controls are created (this runs before WM_INITDIALOG).
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = 8;
  controls.dwICC = ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&controls);

  switch (message) {
    case WM_INITDIALOG: {
      SetDlgItemTextA(window, kStatusEdit, "Idle...");
      HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
      HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(kIcon));
      SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
      SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
      ShowWindow(window, SW_SHOW);
      return TRUE;
    }
    case WM_ACTIVATE:
      if (g_events.on_activate) g_events.on_activate(wParam != 0);
      return FALSE;
    case WM_CLOSE:
      // Closing the window is the player's way out: nothing is saved, and
      // every resource already stored stays stored.
      ExitProcessNow(0);
    case WM_COMMAND:
      if (LOWORD(wParam) == kButton) {
        SetDlgItemTextA(window, kButton, "Wait...");
        if (g_events.on_cancel) g_events.on_cancel();
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

ProgressWindow ProgressWindowOpen(void* instance, const ProgressWindowEvents& events) {
  g_events = events;
  return CreateDialogParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(kDialogTemplate),
                            nullptr, UpdateDialogProc, 0);
}

void ProgressWindowDestroy(ProgressWindow window) {
  if (window) DestroyWindow(AsWindow(window));
}

void PumpMessages(ProgressWindow window) {
  if (!window) return;
  MSG message;
  while (PeekMessageA(&message, AsWindow(window), 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void ProgressWindowSetStatus(ProgressWindow window, const char16_t* text) {
  if (!window) return;
  HWND edit = GetDlgItem(AsWindow(window), kStatusEdit);
  if (edit) SetWindowTextW(edit, reinterpret_cast<const wchar_t*>(text));
}

void ProgressWindowSetTitle(ProgressWindow window, const char16_t* text) {
  if (window) SetWindowTextW(AsWindow(window), reinterpret_cast<const wchar_t*>(text));
}

void ProgressWindowSetPosition(ProgressWindow window, uint32_t position) {
  if (window) SendDlgItemMessageA(AsWindow(window), kProgressBar, PBM_SETPOS, position, 0);
}

void ProgressWindowSetRange(ProgressWindow window, uint32_t range) {
  if (!window) return;
  SendDlgItemMessageA(AsWindow(window), kProgressBar, PBM_SETRANGE32, 0, range);
  SendDlgItemMessageA(AsWindow(window), kProgressBar, PBM_SETPOS, 0, 0);
}

bool ProgressWindowAvailable() { return true; }

void ProgressWindowClickCancel(ProgressWindow window) {
  if (!window) return;
  HWND button = GetDlgItem(AsWindow(window), kButton);
  if (button) PostMessageA(button, BM_CLICK, 0, 0);
}

}  // namespace platform
