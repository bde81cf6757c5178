// Prepares the served form of every file of a release, on several threads,
// optionally storing it into a site folder as it goes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/publish/content_store.h"
#include "tools/publish/progress.h"
#include "tools/publish/release.h"

namespace publish {

// Fills `stored` (one record per release file, same order). With `site` not
// empty, writes each served file below it. Each thread holds one file and its
// compressed copy at a time, so memory grows with the largest file, not with
// the release. False with the message of the first failing file (in release
// order, so the message does not depend on thread timing).
bool PrepareRelease(const Release& release, const std::filesystem::path& site, int jobs,
                    Progress* progress, std::vector<StoredResource>* stored, std::string* error);

}  // namespace publish
