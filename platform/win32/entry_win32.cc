// WinMain of the GUI programs: hands the instance and lpCmdLine to AppMain.
#include <windows.h>

#include "platform/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  return AppMain(instance, command_line);
}
