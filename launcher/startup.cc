#include "launcher/startup.h"

#include <cstring>

#include "archive/big_file.h"
#include "launcher/local_settings.h"
#include "launcher/start_update.h"
#include "platform/platform.h"

#ifndef VOSSARIUM_WEBSITE_URL
#define VOSSARIUM_WEBSITE_URL "https://www.vossarium.com"
#endif

Parlo_String g_gameDirectory;
int32_t g_language = 0;
Parlo_BigFile g_mainBigFile;
Parlo_BigFile g_layersBigFile;

namespace {

constexpr char kSwitch[] = "--configurelanguage";
constexpr const char* kGraphicsLibraries[] = {"d3dx9_31.dll", "d3dx9_39.dll"};
constexpr char kGraphicsQuestion[] =
    "You don't have the latest version of DirectX required by Vossarium. Would you like to "
    "download it?";

bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a number as the scan pattern "%d" does: white space skipped, an optional
// sign, decimal digits. Overflow wraps at 32 bits. False when no digit follows.
bool ScanDecimal(const char* text, int32_t* value) {
  while (IsScanSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  if (*text < '0' || *text > '9') return false;
  uint32_t number = 0;
  for (; *text >= '0' && *text <= '9'; ++text) number = number * 10u + uint32_t(*text - '0');
  if (negative) number = 0u - number;
  *value = static_cast<int32_t>(number);
  return true;
}

}  // namespace

Parlo_String GameDirectoryFromPath(const char* module_path, char separator) {
  Parlo_String path(module_path);
  int last = path.ReverseFind(separator);
  if (last < 0) return Parlo_String();
  return path.Left(last + 1);
}

bool FindConfigureLanguage(const char* command_line, int32_t* language) {
  if (command_line == nullptr) return false;
  const char* found = std::strstr(command_line, kSwitch);
  if (found == nullptr) return false;
  *language = 0;
  ScanDecimal(found + sizeof(kSwitch) - 1, language);
  return true;
}

bool CheckGraphicsRuntime() {
  for (const char* name : kGraphicsLibraries) {
    if (platform::LibraryExists(name)) continue;
    int answer = platform::ShowMessageBox(kGraphicsQuestion, "Vossarium", platform::kMbYesNo);
    if (answer == platform::kIdYes) {
      platform::ShellOpen(VOSSARIUM_WEBSITE_URL "/Redirect:Latest_DirectX");
    }
    return false;
  }
  return true;
}

int RunUpdater(void* instance, const char* command_line) {
  std::string module_path = platform::ModulePath();
  g_gameDirectory = GameDirectoryFromPath(module_path.c_str(), platform::PathSeparator());
  Parlo_String main_archive = g_gameDirectory + "Vossarium.kbf";

  int32_t language = 0;
  if (FindConfigureLanguage(command_line, &language)) {
    // The language mode needs neither the graphics runtime nor the layers.
    OpenOrCreateBigFile(&g_mainBigFile, main_archive.Buffer());
    StoreLanguage(&g_mainBigFile, language);
    return 1;
  }
  if (!CheckGraphicsRuntime()) return -1;

  OpenOrCreateBigFile(&g_mainBigFile, main_archive.Buffer());
  Parlo_String layers_archive = g_gameDirectory + "Layers.kbf";
  OpenOrCreateBigFile(&g_layersBigFile, layers_archive.Buffer());
  g_language = ReadLanguage(&g_mainBigFile);

  StartUpdate(instance);
  return 0;
}
