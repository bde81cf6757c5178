// Splitting a Windows command line the way the C runtime builds argv from it;
// the same on both targets, so POSIX starts see the arguments Windows would.
#include "platform/process.h"

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  size_t p = 0;
  const size_t n = line.size();
  auto at = [&](size_t i) { return i < n ? line[i] : '\0'; };

  // The program name is a file name: quotes only group, backslashes are plain.
  std::string name;
  bool in_quotes = false;
  for (; at(p) != '\0'; ++p) {
    char c = at(p);
    if (c == '"') {
      in_quotes = !in_quotes;
      continue;
    }
    if (!in_quotes && IsBlank(c)) break;
    name.push_back(c);
  }
  if (n == 0) return args;
  args.push_back(std::move(name));

  in_quotes = false;
  for (;;) {
    while (IsBlank(at(p))) ++p;
    if (at(p) == '\0') break;
    std::string arg;
    for (;;) {
      bool copy = true;
      size_t backslashes = 0;
      while (at(p) == '\\') {
        ++p;
        ++backslashes;
      }
      if (at(p) == '"') {
        if (backslashes % 2 == 0) {
          if (in_quotes && at(p + 1) == '"') {
            ++p;  // "" inside quotes stands for one quote
          } else {
            copy = false;
            in_quotes = !in_quotes;
          }
        }
        backslashes /= 2;
      }
      arg.append(backslashes, '\\');
      char c = at(p);
      if (c == '\0' || (!in_quotes && IsBlank(c))) break;
      if (copy) arg.push_back(c);
      ++p;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace platform
