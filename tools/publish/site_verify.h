// The verify command: reads every list of a site and checks every file it
// names (present, size, unpacking, CRC-32, content path).
#pragma once

#include <filesystem>
#include <iosfwd>

namespace publish {

// Prints one line per problem and a summary; answers 0 when the site is
// sound, 1 when anything is wrong.
int RunVerify(const std::filesystem::path& site, bool progress, std::ostream& out,
              std::ostream& err);

}  // namespace publish
