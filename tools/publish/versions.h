// Version numbers across builds: an unchanged resource keeps its version, a
// changed or new one moves above every version the previous site used, so a
// player's archive never holds a version the site would count as current.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <string>

#include "tools/publish/site_list.h"

namespace publish {

// One resource across builds: its own language (0 for a common one), archive
// and name.
struct ResourceKey {
  int32_t language = 0;
  std::string target;
  std::string name;
  auto operator<=>(const ResourceKey&) const = default;
};

struct PublishedResource {
  uint32_t version = 0;
  std::string path;
  int32_t compression = 0;
  uint32_t size = 0;
};

class VersionBook {
 public:
  // Takes in one list of the previous site. False with the reason when it
  // contradicts a list taken in before (the same resource with two versions or
  // two contents), which only a damaged site can show.
  bool AddPreviousList(const SiteList& list, std::string* why);

  // The version for a resource whose served bytes now lie at `path` with this
  // compression; 0 when the versions are used up (the previous site holds
  // 4294967295).
  uint32_t VersionFor(const ResourceKey& key, const std::string& path, int32_t compression) const;

  // Whether the resource is listed with exactly these bytes already.
  bool Unchanged(const ResourceKey& key, const std::string& path, int32_t compression) const;

  const std::map<ResourceKey, PublishedResource>& previous() const { return previous_; }
  uint32_t highest() const { return highest_; }

 private:
  std::map<ResourceKey, PublishedResource> previous_;
  uint32_t highest_ = 0;
};

}  // namespace publish
