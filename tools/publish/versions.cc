#include "tools/publish/versions.h"

namespace publish {

bool VersionBook::AddPreviousList(const SiteList& list, std::string* why) {
  for (const ListEntry& entry : list.resources) {
    ResourceKey key{entry.language, entry.target, entry.name};
    PublishedResource published{entry.version, entry.path, entry.compression, entry.size};
    auto [it, fresh] = previous_.emplace(key, published);
    if (!fresh && (it->second.version != published.version || it->second.path != published.path ||
                   it->second.compression != published.compression)) {
      *why = "resource \"" + entry.name + "\" of language " + std::to_string(entry.language) +
             " is listed twice with different versions or contents";
      return false;
    }
    if (entry.version > highest_) highest_ = entry.version;
  }
  return true;
}

bool VersionBook::Unchanged(const ResourceKey& key, const std::string& path,
                            int32_t compression) const {
  auto it = previous_.find(key);
  return it != previous_.end() && it->second.path == path && it->second.compression == compression;
}

uint32_t VersionBook::VersionFor(const ResourceKey& key, const std::string& path,
                                 int32_t compression) const {
  if (Unchanged(key, path, compression)) return previous_.at(key).version;
  if (highest_ == UINT32_MAX) return 0;
  return highest_ + 1;
}

}  // namespace publish
