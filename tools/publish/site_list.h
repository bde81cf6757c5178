// The resource list an update site serves: the model the publisher builds, its
// typed text form, and the checked reading of a published list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace publish {

struct ListEntry {
  std::string name;    // UTF-8
  std::string target;  // archive name
  uint32_t version = 0;
  int32_t language = 0;
  uint32_t size = 0;  // bytes transferred
  std::string path;   // relative to the download base
  int32_t compression = 0;
  uint32_t hash = 0;  // CRC-32 of the unpacked bytes
};

struct SiteList {
  std::vector<ListEntry> resources;
  std::string date;
  std::vector<std::string> mirrors;  // download bases, each ending in "/"
};

// The list as UTF-8 typed text. Items: "resources" (one list per resource
// named by the resource), "date", "mirrors" when there are any, and last
// "count", the number of resources, which lets a reader tell a cut-off list.
// False when a name or text cannot be carried (the names are checked before).
bool WriteListText(const SiteList& list, std::string* text);

// Reads a list this tool wrote (or one of the same schema). False with the
// reason when a required item is missing, has the wrong type or holds a value
// the updater could not use, or when the list is cut short.
bool ReadListText(const std::string& utf8, SiteList* list, std::string* why);

}  // namespace publish
