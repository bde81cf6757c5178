// main of the programs on POSIX: records the arguments so the rest of the system
// sees one command line text, as on Windows, and hands it to AppMain.
#include <string>

#include "platform/entry.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::SetCommandLine(argc, argv);
  std::string command_line = platform::CommandLineArgs();
  return AppMain(nullptr, command_line.c_str());
}
