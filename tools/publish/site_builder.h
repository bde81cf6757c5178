// The build command: publishes a release as a site folder, atomically, with
// versions carried on from the previous site.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/publish/content_store.h"
#include "tools/publish/nginx_config.h"
#include "tools/publish/release.h"
#include "tools/publish/site_list.h"
#include "tools/publish/versions.h"

namespace publish {

// The updater writes base + path into a buffer of this many bytes, the last
// one its terminator.
constexpr size_t kAddressBuffer = 260;

struct BuildOptions {
  std::filesystem::path release;
  std::filesystem::path out;
  std::optional<std::filesystem::path> previous;
  std::vector<std::string> mirrors;
  std::optional<std::string> date;
  NginxOptions nginx;
  int jobs = 1;
  bool progress = false;
};

// Empty when `url` can serve as a download base; otherwise why not.
std::string CheckMirror(const std::string& url);

// The lists of every language of `release`, versions assigned from `book`.
// False when the versions are used up.
bool ComposeLists(const Release& release, const std::vector<StoredResource>& stored,
                  const VersionBook& book, const std::vector<std::string>& mirrors,
                  const std::string& date, std::map<int32_t, SiteList>* lists, std::string* error);

// Runs the build; the exit code is 0 on success and 1 on any failure, which
// leaves an existing site at `options.out` as it was.
int RunBuild(const BuildOptions& options, std::ostream& out, std::ostream& err);

// The current time as the lists' default "date" (UTC).
std::string CurrentDate();

}  // namespace publish
