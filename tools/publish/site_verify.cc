#include "tools/publish/site_verify.h"

#include <map>
#include <ostream>
#include <set>
#include <system_error>
#include <tuple>
#include <vector>

#include "common/crc32.h"
#include "tools/publish/content_store.h"
#include "tools/publish/progress.h"
#include "tools/publish/release.h"
#include "tools/publish/resource_name.h"
#include "tools/publish/site_builder.h"
#include "tools/publish/site_reader.h"

namespace fs = std::filesystem;

namespace publish {
namespace {

std::string Shown(const fs::path& path) {
  auto text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

// Paths stay inside the site and are plain enough for any static host.
bool IsSafePath(const std::string& path) {
  if (path.empty() || path.front() == '/' || path.back() == '/') return false;
  for (char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == '.' || c == '_' || c == '-';
    if (!plain) return false;
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

bool IsTargetName(const std::string& name) {
  for (const char* target : kTargets) {
    if (name == target) return true;
  }
  return false;
}

struct FileUse {
  std::string path;
  int32_t compression;
  uint32_t size;
  uint32_t hash;
  auto operator<=>(const FileUse&) const = default;
};

class Checker {
 public:
  Checker(const fs::path& site, std::ostream& err) : site_(site), err_(err) {}

  void Problem(const std::string& text) {
    err_ << "problem: " << text << "\n";
    ++problems_;
  }

  void CheckList(int32_t language, const SiteList& list, std::set<FileUse>* files) {
    std::string shown = Shown(fs::path(kListsFolder) / ListFileName(language));
    std::set<std::pair<std::string, std::string>> names;
    bool has_client = false;
    for (const ListEntry& entry : list.resources) {
      std::string where = shown + ": " + entry.target + "/" + entry.name + ": ";
      std::string why = CheckResourceName(entry.name);
      if (!why.empty()) Problem(where + "the name " + why);
      if (!IsTargetName(entry.target)) Problem(where + "unknown target archive");
      if (!names.emplace(entry.target, FoldCase(entry.name)).second) {
        Problem(where + "listed twice (names are compared without letter case)");
      }
      if (entry.language != 0 && entry.language != language) {
        Problem(where + "language " + std::to_string(entry.language) + " in the list of language " +
                std::to_string(language));
      }
      if (entry.version == 0) Problem(where + "version 0");
      if (entry.compression != 0 && entry.compression != 1) {
        Problem(where + "compression " + std::to_string(entry.compression));
      }
      if (entry.size == 0) Problem(where + "size 0; the updater cannot fetch an empty body");
      if (!IsSafePath(entry.path)) {
        Problem(where + "unsafe or unusual path \"" + entry.path + "\"");
        continue;
      }
      if (entry.target == kMainTarget && entry.name == kClientName) has_client = true;
      files->insert(FileUse{entry.path, entry.compression, entry.size, entry.hash});
    }
    if (!has_client) Problem(shown + ": no Vossarium/DravoClient, the game executable");
    for (const std::string& mirror : list.mirrors) {
      std::string why = CheckMirror(mirror);
      if (!why.empty()) Problem(shown + ": mirror " + mirror + " " + why);
    }
  }

  void CheckFile(const FileUse& use) {
    std::string where = use.path + ": ";
    std::vector<uint8_t> body;
    std::string why;
    std::error_code ec;
    fs::path file = site_ / fs::path(use.path);
    if (!fs::is_regular_file(file, ec)) {
      Problem(where + "missing");
      return;
    }
    if (!ReadWholeFile(file, &body, &why)) {
      Problem(why);
      return;
    }
    bytes_ += body.size();
    if (body.size() != use.size) {
      Problem(where + "holds " + std::to_string(body.size()) + " bytes, the list says " +
              std::to_string(use.size));
      return;
    }
    if (use.path.rfind("r/", 0) == 0 && ContentPath(body) != use.path) {
      Problem(where + "its bytes do not match its content-addressed name (damaged file)");
    }
    uint32_t crc;
    if (use.compression == 1) {
      std::vector<uint8_t> plain;
      if (!UnpackBody(body, &plain, &why)) {
        Problem(where + "compressed body " + why);
        return;
      }
      crc = Crc32(plain.data(), plain.size());
    } else {
      crc = Crc32(body.data(), body.size());
    }
    if (crc != use.hash) Problem(where + "CRC-32 of the unpacked bytes differs from the list");
  }

  int problems() const { return problems_; }
  uint64_t bytes() const { return bytes_; }

 private:
  fs::path site_;
  std::ostream& err_;
  int problems_ = 0;
  uint64_t bytes_ = 0;
};

}  // namespace

int RunVerify(const fs::path& site, bool progress, std::ostream& out, std::ostream& err) {
  std::map<int32_t, SiteList> lists;
  std::string error;
  if (!ReadSiteLists(site, &lists, &error)) {
    err << "problem: " << error << "\n";
    out << "verify: " << Shown(site) << ": 1 problem\n";
    return 1;
  }
  Checker checker(site, err);
  std::set<FileUse> files;
  size_t entries = 0;
  for (const auto& [language, list] : lists) {
    checker.CheckList(language, list, &files);
    entries += list.resources.size();
  }
  // One path must mean one thing in every list.
  std::map<std::string, FileUse> by_path;
  for (const FileUse& use : files) {
    auto [it, fresh] = by_path.emplace(use.path, use);
    if (!fresh) checker.Problem(use.path + ": listed with different sizes, compressions or hashes");
  }

  std::vector<uint8_t> static_list, list0;
  std::string why;
  if (!ReadWholeFile(site / kStaticList, &static_list, &why) ||
      !ReadWholeFile(site / kListsFolder / ListFileName(0), &list0, &why) || static_list != list0) {
    checker.Problem(std::string(kStaticList) + ": missing or not the same as lists/0.txt");
  }
  std::error_code ec;
  if (!fs::is_regular_file(site / kNginxFile, ec)) {
    checker.Problem(std::string(kNginxFile) + ": missing");
  }

  uint64_t total = 0;
  for (const FileUse& use : files) total += use.size;
  Progress bar(progress, "verify:", files.size(), total);
  for (const FileUse& use : files) {
    checker.CheckFile(use);
    bar.Add(use.size);
  }
  bar.Finish();

  out << "verify: " << Shown(site) << ": " << lists.size() << " list(s), " << entries
      << " entries, " << files.size() << " file(s), " << checker.bytes() << " bytes: ";
  if (checker.problems() == 0) {
    out << "no problems\n";
    return 0;
  }
  out << checker.problems() << " problem(s)\n";
  return 1;
}

}  // namespace publish
