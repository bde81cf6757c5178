// Reads the lists of a published site, refusing a site whose lists are missing,
// cut short or contradict each other.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "tools/publish/site_list.h"

namespace publish {

// The site's layout, shared by the builder, the checker and the nginx block.
inline constexpr const char* kListsFolder = "lists";
// The language-0 list under the name the updater asks for, for static hosts
// that ignore the query.
inline constexpr const char* kStaticList = "resource.002.php";
inline constexpr const char* kNginxFile = "nginx-server.conf";

// The name of language `language`'s list inside kListsFolder.
std::string ListFileName(int32_t language);

// Reads every list of `site` into `lists`, keyed by language. False with a
// message naming the file when the site or one of its lists is unusable.
bool ReadSiteLists(const std::filesystem::path& site, std::map<int32_t, SiteList>* lists,
                   std::string* error);

}  // namespace publish
