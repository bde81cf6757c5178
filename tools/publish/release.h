// A release folder as the operator lays it out: one folder per target archive,
// and language variants under lang/<N>/<target>/. Scanning checks every name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace publish {

// The archives the updater knows; any other target would silently land in
// the main archive, so a release may only use these folder names.
inline constexpr const char* kTargets[] = {"Layers", "Vossarium"};
inline constexpr const char* kMainTarget = "Vossarium";
// The game executable, which the updater deploys from the main archive.
inline constexpr const char* kClientName = "DravoClient";

// Largest file the updater can take: it holds a whole body in memory with a
// signed 32-bit length, and archive entries have 32-bit sizes.
constexpr uint64_t kMaxResourceBytes = 0x7FFFFFFF;

struct ReleaseFile {
  int32_t language = 0;  // 0 for the common resources
  std::string target;    // one of kTargets
  std::string name;      // UTF-8, "/" between folders
  std::filesystem::path source;
  uint64_t size = 0;
};

struct Release {
  std::vector<ReleaseFile> files;  // sorted by language, target, name
  std::vector<int32_t> languages;  // sorted, always starting with 0
};

// Scans `dir`. On failure answers false with one line per problem in `errors`,
// each naming the file or folder.
bool ScanRelease(const std::filesystem::path& dir, Release* release,
                 std::vector<std::string>* errors);

// The files of one language's list, as indexes into release.files, sorted by
// target then name: the common files, with the language's own replacing a
// common file of the same target and name.
std::vector<size_t> LanguageFiles(const Release& release, int32_t language);

// "Vossarium/a/b" or "lang/1/Layers/x": where a file came from, for messages.
std::string DisplayName(const ReleaseFile& file);

}  // namespace publish
