#include "tools/publish/release.h"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>
#include <tuple>

#include "tools/publish/resource_name.h"

namespace fs = std::filesystem;

namespace publish {
namespace {

std::string Utf8Of(const fs::path& path) {
  auto text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

bool IsTarget(const std::string& name) {
  for (const char* target : kTargets) {
    if (name == target) return true;
  }
  return false;
}

// Languages are folder names: a plain decimal number from 1 to 2147483647.
bool ParseLanguage(const std::string& text, int32_t* language) {
  if (text.empty() || text.size() > 10 || text[0] == '0') return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > INT32_MAX) return false;
  *language = static_cast<int32_t>(value);
  return true;
}

void ScanTarget(const fs::path& root, int32_t language, const std::string& target,
                const std::string& shown_root, Release* release, std::vector<std::string>* errors) {
  std::error_code ec;
  fs::recursive_directory_iterator it(root, fs::directory_options::follow_directory_symlink, ec);
  if (ec) {
    errors->push_back(shown_root + ": cannot read the folder: " + ec.message());
    return;
  }
  for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& entry = *it;
    std::string name = Utf8Of(entry.path().lexically_relative(root));
    std::string shown = shown_root + "/" + name;
    std::error_code type_ec;
    if (entry.is_directory(type_ec)) continue;
    if (!entry.is_regular_file(type_ec)) {
      errors->push_back(shown + ": not a regular file");
      continue;
    }
    std::string why = CheckResourceName(name);
    if (!why.empty()) {
      errors->push_back(shown + ": the name " + why);
      continue;
    }
    if (target == kMainTarget && FoldCase(name) == FoldCase(kSettingsEntry)) {
      errors->push_back(shown +
                        ": the name is the main archive's settings entry, which holds "
                        "the player's language");
      continue;
    }
    uint64_t size = entry.file_size(type_ec);
    if (type_ec) {
      errors->push_back(shown + ": cannot read its size: " + type_ec.message());
      continue;
    }
    if (size == 0) {
      errors->push_back(shown +
                        ": the file is empty; the updater cannot install an empty "
                        "resource");
      continue;
    }
    if (size > kMaxResourceBytes) {
      errors->push_back(shown + ": the file is larger than " + std::to_string(kMaxResourceBytes) +
                        " bytes, more than the updater can hold");
      continue;
    }
    release->files.push_back(ReleaseFile{language, target, name, entry.path(), size});
  }
  if (ec) errors->push_back(shown_root + ": cannot read the folder: " + ec.message());
}

// Reads the target folders (and, at the top level, "lang") below `dir`.
void ScanTargets(const fs::path& dir, int32_t language, const std::string& shown_prefix,
                 Release* release, std::vector<std::string>* errors) {
  std::error_code ec;
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(dir, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    entries.push_back(*it);
  }
  if (ec) {
    errors->push_back(shown_prefix + ": cannot read the folder: " + ec.message());
    return;
  }
  std::sort(entries.begin(), entries.end());
  bool has_main = false;
  for (const fs::directory_entry& entry : entries) {
    std::string name = Utf8Of(entry.path().filename());
    std::string shown = shown_prefix.empty() ? name : shown_prefix + "/" + name;
    std::error_code type_ec;
    bool is_dir = entry.is_directory(type_ec);
    if (language == 0 && name == "lang" && is_dir) continue;
    if (!IsTarget(name) || !is_dir) {
      errors->push_back(shown + ": unexpected " + (is_dir ? "folder" : "file") +
                        "; a release holds only the folders Vossarium, Layers" +
                        (language == 0 ? " and lang" : ""));
      continue;
    }
    if (name == kMainTarget) has_main = true;
    ScanTarget(entry.path(), language, name, shown, release, errors);
  }
  if (language == 0 && !has_main) {
    errors->push_back(shown_prefix + (shown_prefix.empty() ? "" : "/") +
                      "Vossarium: missing; the release must hold the folder Vossarium with the "
                      "game executable DravoClient");
  }
}

void ScanLanguages(const fs::path& lang_dir, Release* release, std::vector<std::string>* errors) {
  std::error_code ec;
  for (fs::directory_iterator it(lang_dir, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::string name = Utf8Of(it->path().filename());
    int32_t language;
    std::error_code type_ec;
    if (!it->is_directory(type_ec) || !ParseLanguage(name, &language)) {
      errors->push_back("lang/" + name +
                        ": expected a folder named by a language number from 1 to 2147483647 "
                        "(language 0 is the release's top level)");
      continue;
    }
    release->languages.push_back(language);
    ScanTargets(it->path(), language, "lang/" + name, release, errors);
  }
  if (ec) errors->push_back("lang: cannot read the folder: " + ec.message());
}

auto SortKey(const ReleaseFile& file) { return std::tie(file.language, file.target, file.name); }

// Names the archive would take for one entry must not meet in one list.
void CheckCaseClashes(const Release& release, std::vector<std::string>* errors) {
  std::set<std::string> reported;
  for (int32_t language : release.languages) {
    std::map<std::pair<std::string, std::string>, const ReleaseFile*> seen;
    for (size_t index : LanguageFiles(release, language)) {
      const ReleaseFile& file = release.files[index];
      auto [it, fresh] = seen.emplace(std::make_pair(file.target, FoldCase(file.name)), &file);
      if (fresh) continue;
      std::string pair = DisplayName(*it->second) + " and " + DisplayName(file);
      if (!reported.insert(pair).second) continue;
      errors->push_back(pair +
                        ": the names differ only in letter case, and the archive takes them for "
                        "one entry");
    }
  }
}

}  // namespace

std::string DisplayName(const ReleaseFile& file) {
  std::string prefix = file.language == 0 ? "" : "lang/" + std::to_string(file.language) + "/";
  return prefix + file.target + "/" + file.name;
}

bool ScanRelease(const fs::path& dir, Release* release, std::vector<std::string>* errors) {
  *release = Release{};
  size_t errors_before = errors->size();
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    errors->push_back(Utf8Of(dir) + ": the release folder does not exist or is not a folder");
    return false;
  }
  release->languages.push_back(0);
  ScanTargets(dir, 0, "", release, errors);
  fs::path lang_dir = dir / "lang";
  if (fs::is_directory(lang_dir, ec)) ScanLanguages(lang_dir, release, errors);
  std::sort(release->languages.begin(), release->languages.end());
  std::sort(release->files.begin(), release->files.end(),
            [](const ReleaseFile& a, const ReleaseFile& b) { return SortKey(a) < SortKey(b); });
  bool has_client = std::any_of(release->files.begin(), release->files.end(), [](auto& f) {
    return f.language == 0 && f.target == kMainTarget && f.name == kClientName;
  });
  if (!has_client && errors->size() == errors_before) {
    errors->push_back(
        "Vossarium/DravoClient: missing; the main archive must carry the game "
        "executable");
  }
  CheckCaseClashes(*release, errors);
  return errors->size() == errors_before;
}

std::vector<size_t> LanguageFiles(const Release& release, int32_t language) {
  std::map<std::pair<std::string, std::string>, size_t> chosen;
  for (size_t i = 0; i < release.files.size(); ++i) {
    const ReleaseFile& file = release.files[i];
    if (file.language != 0 && file.language != language) continue;
    auto key = std::make_pair(file.target, file.name);
    // Files are sorted by language, so a language's own file comes after the common one.
    chosen[key] = i;
  }
  std::vector<size_t> indexes;
  for (const auto& [key, index] : chosen) indexes.push_back(index);
  return indexes;
}

}  // namespace publish
