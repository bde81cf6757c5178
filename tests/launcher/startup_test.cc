#include "launcher/startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

TEST(GameDirectory, EndsAtTheLastSeparator) {
  struct Case {
    const char* path;
    char separator;
    const char* directory;
  } cases[] = {
      {"C:\\Games\\Vossarium\\Vossarium.exe", '\\', "C:\\Games\\Vossarium\\"},
      {"/opt/vossarium/Vossarium.exe", '/', "/opt/vossarium/"},
      {"Vossarium.exe", '\\', ""},
      {"\\Vossarium.exe", '\\', "\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::string(GameDirectoryFromPath(c.path, c.separator).Buffer()), c.directory)
        << c.path;
  }
}

TEST(ConfigureLanguage, ReadsTheNumberLikeTheScanPattern) {
  struct Case {
    const char* command_line;
    bool found;
    int32_t language;
  } cases[] = {
      {"--configurelanguage 12", true, 12},   {"--configurelanguage", true, 0},
      {"--configurelanguage -1", true, -1},   {"--configurelanguage \t +7 rest", true, 7},
      {"--configurelanguage12", true, 12},    {"xyz--configurelanguage 3", true, 3},
      {"a --configurelanguage x 5", true, 0}, {"--configurelanguage 4294967297", true, 1},
      {"--ConfigureLanguage 5", false, 99},   {"", false, 99},
  };
  for (const Case& c : cases) {
    int32_t language = 99;
    EXPECT_EQ(FindConfigureLanguage(c.command_line, &language), c.found) << c.command_line;
    EXPECT_EQ(language, c.language) << c.command_line;
  }
}

class GraphicsRuntime : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::SetLibraryHook(nullptr);
    platform::SetMessageBoxHook(nullptr);
    platform::SetShellOpenHook(nullptr);
  }
  void Install(std::vector<std::string> missing, int answer) {
    platform::SetLibraryHook([missing](std::string_view name) {
      probed.emplace_back(name);
      for (const std::string& m : missing) {
        if (m == name) return false;
      }
      return true;
    });
    platform::SetMessageBoxHook([answer](std::string_view text, std::string_view caption,
                                         uint32_t flags) {
      boxes.push_back(std::string(caption) + "|" + std::string(text) + "|" + std::to_string(flags));
      return answer;
    });
    platform::SetShellOpenHook([](std::string_view address) {
      opened.emplace_back(address);
      return true;
    });
    probed.clear();
    boxes.clear();
    opened.clear();
  }
  static inline std::vector<std::string> probed, boxes, opened;
};

TEST_F(GraphicsRuntime, BothLibrariesPresentPassesQuietly) {
  Install({}, platform::kIdNo);
  EXPECT_TRUE(CheckGraphicsRuntime());
  EXPECT_EQ(probed, (std::vector<std::string>{"d3dx9_31.dll", "d3dx9_39.dll"}));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(GraphicsRuntime, SecondLibraryMissingAsksAndOpensThePageOnYes) {
  Install({"d3dx9_39.dll"}, platform::kIdYes);
  EXPECT_FALSE(CheckGraphicsRuntime());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Vossarium|You don't have the latest version of DirectX required by Vossarium. "
            "Would you like to download it?|4");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_NE(opened[0].find("/Redirect:Latest_DirectX"), std::string::npos);
}

TEST_F(GraphicsRuntime, AnswerNoOpensNothingAndTheUpdaterEndsWithMinusOne) {
  Install({"d3dx9_31.dll"}, platform::kIdNo);
  EXPECT_EQ(RunUpdater(nullptr, ""), -1);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(probed, (std::vector<std::string>{"d3dx9_31.dll"}));
}

}  // namespace
