#include "tools/publish/site_builder.h"

#include <ctime>
#include <fstream>
#include <ostream>
#include <system_error>

#include "tools/publish/release_processor.h"
#include "tools/publish/site_reader.h"

namespace fs = std::filesystem;

namespace publish {
namespace {

// Marks a staging folder as this tool's, so a later build may clear it.
constexpr const char* kStagingMarker = ".vossarium-publish-staging";

std::string Shown(const fs::path& path) {
  auto text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

fs::path Sibling(const fs::path& out, const char* suffix) {
  fs::path sibling = out;
  sibling += suffix;
  return sibling;
}

bool WriteTextFile(const fs::path& file, const std::string& text, std::string* error) {
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  stream.write(text.data(), static_cast<std::streamsize>(text.size()));
  stream.close();
  if (!stream) {
    *error = Shown(file) + ": cannot write the file (is the disk full?)";
    return false;
  }
  return true;
}

// A staging folder left by an interrupted build is cleared; any other folder
// of that name is the operator's and stays.
bool PrepareStaging(const fs::path& staging, std::string* error) {
  std::error_code ec;
  if (fs::exists(staging, ec)) {
    if (!fs::exists(staging / kStagingMarker, ec)) {
      *error = Shown(staging) + ": exists and was not made by vossarium-publish; move it away";
      return false;
    }
    fs::remove_all(staging, ec);
    if (ec) {
      *error = Shown(staging) + ": cannot clear an interrupted build's folder: " + ec.message();
      return false;
    }
  }
  fs::create_directories(staging, ec);
  if (ec) {
    *error = Shown(staging) + ": cannot create the folder: " + ec.message();
    return false;
  }
  return WriteTextFile(staging / kStagingMarker, "", error);
}

// A build interrupted between its two renames left the old site aside.
void RecoverInterruptedSwap(const fs::path& out, const fs::path& aside, std::ostream& err) {
  std::error_code ec;
  if (!fs::exists(aside, ec)) return;
  if (!fs::exists(out, ec)) {
    fs::rename(aside, out, ec);
    if (!ec) err << "note: restored " << Shown(out) << " from an interrupted build\n";
    return;
  }
  fs::remove_all(aside, ec);
}

// The new site takes the place of the old one: two renames, with the old site
// kept aside until the new one stands, so a failure between them is undone.
bool SwapIn(const fs::path& staging, const fs::path& out, const fs::path& aside,
            std::string* error) {
  std::error_code ec;
  fs::remove(staging / kStagingMarker, ec);
  bool had_site = fs::exists(out, ec);
  if (had_site) {
    fs::rename(out, aside, ec);
    if (ec) {
      *error = Shown(out) + ": cannot move the old site aside: " + ec.message();
      return false;
    }
  }
  fs::rename(staging, out, ec);
  if (ec) {
    *error = Shown(out) + ": cannot move the new site into place: " + ec.message();
    if (had_site) fs::rename(aside, out, ec);
    return false;
  }
  if (had_site) fs::remove_all(aside, ec);
  return true;
}

uint64_t TotalBytes(const Release& release) {
  uint64_t total = 0;
  for (const ReleaseFile& file : release.files) total += file.size;
  return total;
}

}  // namespace

std::string CheckMirror(const std::string& url) {
  if (url.rfind("http://", 0) != 0) {
    return "must start with http:// (the updater speaks plain HTTP only)";
  }
  if (url.size() <= 8 || url[7] == '/') return "names no host";
  if (url.back() != '/') return "must end with \"/\" (resource paths are appended directly)";
  for (char c : url) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      return "holds a blank, a control character or a non-ASCII character";
    }
  }
  if (url.size() + kContentPathLength > kAddressBuffer - 1) {
    return "is " + std::to_string(url.size()) + " characters long; with a resource path of " +
           std::to_string(kContentPathLength) + " the download address would not fit the " +
           "updater's " + std::to_string(kAddressBuffer) + "-byte buffer (at most " +
           std::to_string(kAddressBuffer - 1 - kContentPathLength) + ")";
  }
  return "";
}

std::string CurrentDate() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  if (std::tm* utc = std::gmtime(&now)) parts = *utc;
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

bool ComposeLists(const Release& release, const std::vector<StoredResource>& stored,
                  const VersionBook& book, const std::vector<std::string>& mirrors,
                  const std::string& date, std::map<int32_t, SiteList>* lists, std::string* error) {
  lists->clear();
  for (int32_t language : release.languages) {
    SiteList& list = (*lists)[language];
    list.date = date;
    list.mirrors = mirrors;
    for (size_t index : LanguageFiles(release, language)) {
      const ReleaseFile& file = release.files[index];
      const StoredResource& served = stored[index];
      ResourceKey key{file.language, file.target, file.name};
      uint32_t version = book.VersionFor(key, served.path, served.compression);
      if (version == 0) {
        *error = DisplayName(file) + ": the previous site already uses the highest version, " +
                 "4294967295; no newer version can be given";
        return false;
      }
      list.resources.push_back(ListEntry{file.name, file.target, version, file.language,
                                         served.size, served.path, served.compression,
                                         served.hash});
    }
  }
  return true;
}

int RunBuild(const BuildOptions& options, std::ostream& out, std::ostream& err) {
  for (const std::string& mirror : options.mirrors) {
    std::string why = CheckMirror(mirror);
    if (!why.empty()) {
      err << "error: mirror " << mirror << " " << why << "\n";
      return 1;
    }
  }
  for (const std::string* value : {&options.nginx.listen, &options.nginx.root}) {
    std::string why = CheckNginxValue(*value);
    if (!why.empty()) {
      err << "error: the nginx value \"" << *value << "\" " << why << "\n";
      return 1;
    }
  }

  fs::path site = options.out.lexically_normal();
  if (!site.has_filename()) site = site.parent_path();
  fs::path staging = Sibling(site, ".publishing");
  fs::path aside = Sibling(site, ".replaced");
  RecoverInterruptedSwap(site, aside, err);

  VersionBook book;
  std::map<int32_t, SiteList> previous;
  if (options.previous) {
    std::string error;
    if (!ReadSiteLists(*options.previous, &previous, &error)) {
      err << "error: previous site: " << error << "\n";
      return 1;
    }
    for (const auto& [language, list] : previous) {
      std::string why;
      if (!book.AddPreviousList(list, &why)) {
        err << "error: previous site: " << Shown(*options.previous) << ": damaged lists: " << why
            << "\n";
        return 1;
      }
    }
  }

  Release release;
  std::vector<std::string> problems;
  if (!ScanRelease(options.release, &release, &problems)) {
    for (const std::string& problem : problems) err << "error: " << problem << "\n";
    err << "error: the release has " << problems.size() << " problem(s); nothing was published\n";
    return 1;
  }

  std::string error;
  std::error_code ec;
  if (site.has_parent_path()) fs::create_directories(site.parent_path(), ec);
  if (!PrepareStaging(staging, &error)) {
    err << "error: " << error << "\n";
    return 1;
  }
  auto fail = [&](const std::string& message) {
    err << "error: " << message << "\n";
    fs::remove_all(staging, ec);
    return 1;
  };

  std::vector<StoredResource> stored;
  Progress progress(options.progress, "publish:", release.files.size(), TotalBytes(release));
  if (!PrepareRelease(release, staging, options.jobs, &progress, &stored, &error)) {
    return fail(error);
  }

  std::map<int32_t, SiteList> lists;
  std::string date = options.date ? *options.date : CurrentDate();
  if (!ComposeLists(release, stored, book, options.mirrors, date, &lists, &error)) {
    return fail(error);
  }

  fs::create_directories(staging / kListsFolder, ec);
  for (const auto& [language, list] : lists) {
    std::string text;
    if (!WriteListText(list, &text)) {
      return fail("the list of language " + std::to_string(language) +
                  " holds a name or text that typed text cannot carry");
    }
    if (!WriteTextFile(staging / kListsFolder / ListFileName(language), text, &error)) {
      return fail(error);
    }
    if (language == 0 && !WriteTextFile(staging / kStaticList, text, &error)) return fail(error);
    uint64_t transfer = 0;
    for (const ListEntry& entry : list.resources) transfer += entry.size;
    if (transfer > INT32_MAX) {
      err << "warning: the list of language " << language << " transfers " << transfer
          << " bytes in all; the updater's progress bar counts in 32 bits and will be wrong "
             "for a player who needs every resource\n";
    }
  }
  if (!WriteTextFile(staging / kNginxFile, NginxServerBlock(options.nginx), &error)) {
    return fail(error);
  }
  if (!SwapIn(staging, site, aside, &error)) return fail(error);

  size_t changed = 0, unchanged = 0;
  for (size_t i = 0; i < release.files.size(); ++i) {
    const ReleaseFile& file = release.files[i];
    ResourceKey key{file.language, file.target, file.name};
    (book.Unchanged(key, stored[i].path, stored[i].compression) ? unchanged : changed)++;
  }
  out << "published " << release.files.size() << " resources (" << TotalBytes(release)
      << " bytes) in " << lists.size() << " list(s) to " << Shown(site) << ": " << changed
      << " new or changed, " << unchanged << " unchanged\n";
  return 0;
}

}  // namespace publish
