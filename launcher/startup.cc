#include "launcher/startup.h"

#include <cstring>

#include "launcher/start_update.h"
#include "platform/platform.h"

#ifndef VOSSARIUM_WEBSITE_URL
#define VOSSARIUM_WEBSITE_URL "https://www.vossarium.com"
#endif

Parlo_String g_gameDirectory;
int32_t g_language = 0;

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
    // The language mode arrives with the archive: it stores the language in
    // the main archive's "_localSettings" entry and ends with exit code 1.
    return 1;
  }
  if (!CheckGraphicsRuntime()) return -1;

  // Opening "Vossarium.kbf" and "Layers.kbf" and reading "defaultLanguage"
  // arrive with the archive and the typed text.
  StartUpdate(instance);
  return 0;
}
