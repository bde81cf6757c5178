// The platform's process calls: splitting a Windows command line into the
// arguments a POSIX start hands on, and the list of running programs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/process.h"

namespace {

TEST(SplitCommandLine, FollowsTheCRuntimeRules) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  } cases[] = {
      {"", {}},
      {"C:\\a\\b.exe", {"C:\\a\\b.exe"}},
      {"\"C:\\Program Files\\a.exe\" -x 1 \"a b\"", {"C:\\Program Files\\a.exe", "-x", "1", "a b"}},
      // The program name: quotes only group, a backslash before one stays.
      {"\"C:\\dir\\\"x.exe a", {"C:\\dir\\x.exe", "a"}},
      {"p a\\\\\\\"b", {"p", "a\\\"b"}},
      {"p \"a\\\\\" b", {"p", "a\\", "b"}},
      {"p a\\\\b", {"p", "a\\\\b"}},
      {"p \"\" x", {"p", "", "x"}},
      {"p \"a\"\"b\"", {"p", "a\"b"}},
      {"p  \t a\t ", {"p", "a"}},
      {"p \"unterminated arg", {"p", "unterminated arg"}},
      {"p a\"b c\"d", {"p", "ab cd"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::SplitCommandLine(c.line), c.args) << c.line;
  }
}

TEST(ForEachProcess, ListsThisProgramByItsPath) {
  platform::LoadProcessPathLookup();
  std::string own = platform::ModulePath();
  auto fold = [](std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return text;
  };
  int found = 0;
  int listed = 0;
  EXPECT_TRUE(platform::ForEachProcess([&](uint32_t, const std::string& path) {
    ++listed;
    if (fold(path) == fold(own)) ++found;
    return false;
  }));
  EXPECT_GE(listed, 1);
  EXPECT_EQ(found, 1) << own;
}

}  // namespace
