// A checking reader for archive files: walks header, directory and regions
// and lists every fault instead of refusing the file at the first one.
#pragma once

#include <string>
#include <vector>

// Appends one line per fault found in the archive at `path` (a file that
// cannot be read, no known magic, a short header, a directory outside the
// file or that does not parse, a region outside the file, over the header or
// over another region). Answers true when the archive is sound, which is
// exactly when Parlo_BigFile::LoadBigFile accepts it.
bool CheckBigFile(const char* path, std::vector<std::string>* problems);
