// The rules a resource name must meet to travel through the resource list and
// be stored as an archive entry, and the case folding the archive looks up by.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace publish {

// Longest entry name the publisher accepts, in UTF-8 bytes. Entry names are
// stored whole in every archive directory and compared by a linear scan, so a
// name longer than this is refused as a release mistake rather than carried.
constexpr size_t kMaxNameBytes = 255;

// The entry that holds the player's settings in the main archive; a resource of
// that name would overwrite the player's language on every update.
constexpr std::string_view kSettingsEntry = "_localSettings";

// Empty when `name` (UTF-8, "/" between folders) can be listed and stored;
// otherwise the reason it cannot, ready to follow the name in a message.
std::string CheckResourceName(std::string_view name);

// The name as the archive compares it: ASCII A to Z folded to lower case.
std::string FoldCase(std::string_view name);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

}  // namespace publish
