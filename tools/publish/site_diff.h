// The diff command: what building a release over a previous site would change,
// without writing anything.
#pragma once

#include <filesystem>
#include <iosfwd>

namespace publish {

// Prints one line per new, changed and removed resource, then the counts and
// the bytes a player on the previous site would transfer. Answers 0, or 1
// when the previous site or the release cannot be read.
int RunDiff(const std::filesystem::path& previous, const std::filesystem::path& release_dir,
            int jobs, bool progress, std::ostream& out, std::ostream& err);

}  // namespace publish
