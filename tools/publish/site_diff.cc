#include "tools/publish/site_diff.h"

#include <map>
#include <ostream>
#include <set>

#include "tools/publish/release_processor.h"
#include "tools/publish/site_builder.h"
#include "tools/publish/site_reader.h"
#include "tools/publish/versions.h"

namespace publish {
namespace {

std::string KeyName(const ResourceKey& key) {
  std::string prefix = key.language == 0 ? "" : "lang/" + std::to_string(key.language) + "/";
  return prefix + key.target + "/" + key.name;
}

}  // namespace

int RunDiff(const std::filesystem::path& previous, const std::filesystem::path& release_dir,
            int jobs, bool progress, std::ostream& out, std::ostream& err) {
  std::map<int32_t, SiteList> old_lists;
  std::string error;
  if (!ReadSiteLists(previous, &old_lists, &error)) {
    err << "error: previous site: " << error << "\n";
    return 1;
  }
  VersionBook book;
  for (const auto& [language, list] : old_lists) {
    if (!book.AddPreviousList(list, &error)) {
      err << "error: previous site: damaged lists: " << error << "\n";
      return 1;
    }
  }
  Release release;
  std::vector<std::string> problems;
  if (!ScanRelease(release_dir, &release, &problems)) {
    for (const std::string& problem : problems) err << "error: " << problem << "\n";
    return 1;
  }
  uint64_t total = 0;
  for (const ReleaseFile& file : release.files) total += file.size;
  Progress bar(progress, "diff:", release.files.size(), total);
  std::vector<StoredResource> stored;
  if (!PrepareRelease(release, {}, jobs, &bar, &stored, &error)) {
    err << "error: " << error << "\n";
    return 1;
  }

  size_t added = 0, changed = 0, unchanged = 0, removed = 0;
  uint64_t transfer = 0;
  std::set<ResourceKey> current;
  std::set<ResourceKey> fresh;  // new or changed
  for (size_t i = 0; i < release.files.size(); ++i) {
    const ReleaseFile& file = release.files[i];
    ResourceKey key{file.language, file.target, file.name};
    current.insert(key);
    auto old = book.previous().find(key);
    if (book.Unchanged(key, stored[i].path, stored[i].compression)) {
      ++unchanged;
      continue;
    }
    fresh.insert(key);
    transfer += stored[i].size;
    if (old == book.previous().end()) {
      ++added;
      out << "new        " << KeyName(key) << " (" << stored[i].size << " bytes)\n";
    } else {
      ++changed;
      out << "changed    " << KeyName(key) << " (version " << old->second.version << ", "
          << old->second.size << " -> " << stored[i].size << " bytes)\n";
    }
  }
  for (const auto& [key, published] : book.previous()) {
    if (current.count(key)) continue;
    ++removed;
    out << "removed    " << KeyName(key) << " (version " << published.version << ")\n";
  }
  out << "summary: " << added << " new, " << changed << " changed, " << removed << " removed, "
      << unchanged << " unchanged; " << transfer << " bytes to transfer\n";
  for (int32_t language : release.languages) {
    uint64_t bytes = 0;
    for (size_t index : LanguageFiles(release, language)) {
      const ReleaseFile& file = release.files[index];
      if (fresh.count(ResourceKey{file.language, file.target, file.name})) {
        bytes += stored[index].size;
      }
    }
    out << "language " << language << ": a player on the previous site transfers " << bytes
        << " bytes" << (old_lists.count(language) ? "" : " (the language is new)") << "\n";
  }
  return 0;
}

}  // namespace publish
