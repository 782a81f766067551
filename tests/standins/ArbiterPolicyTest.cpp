// The scanner stand-in's policy: a file that is not a policy is refused naming the file and line,
// and rules match paths the way Windows compares file names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "Arbiter.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class PolicyFiles : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vantor-policy-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Write(const std::string& bytes) {
    const fs::path file = dir / "rules.txt";
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }
  int Load(const std::string& file, std::string* error) {
    char text[512] = "";
    const int rules = ArbiterLoadPolicyFile(file.c_str(), text, sizeof text);
    *error = text;
    return rules;
  }
  fs::path dir;
};

TEST_F(PolicyFiles, WhatIsNotAPolicyIsRefusedNamingFileAndLine) {
  ASSERT_EQ(ArbiterSetPolicy("deny *.scr\n"), 1);
  const std::pair<std::string, std::string> cases[] = {
      // content, where and why
      {"\xFF\xFE"
       "d\0e\0n\0y\0"s,
       ": UTF-16 text"},
      {"deny *.scr\nallow C:\\a\0\\b.exe\n"s, ":2: a zero byte"},
      {"# caf\xE9\n\ndeny C:\\caf\xE9\\*\n", ":1: not UTF-8 text (byte 0xE9 at column 6)"},
      {"deny *.scr\r\ndenny *.exe\r\n", ":2: 'denny' is not a rule"},
      {"deny *.scr\rdeny L:\\evil*\r",
       ":1: a carriage return (CR) not followed by a line feed, at column 11"},
      {"deny *.scr\r\ndeny L:\\ev\ril*\r\n",
       ":2: a carriage return (CR) not followed by a line feed, at column 11"},
      {"deny *.scr\n\tallow\t # nothing\n", ":2: 'allow' needs a pattern"},
  };
  std::string error;
  for (const auto& [content, expected] : cases) {
    const std::string file = Write(content);
    EXPECT_EQ(Load(file, &error), -1) << expected;
    EXPECT_TRUE(error.starts_with(file + expected)) << error;
  }
  EXPECT_EQ(Load(dir.string(), &error), -1);
  EXPECT_EQ(error, dir.string() + ": is a directory, not a file");
  EXPECT_EQ(Load((dir / "none.txt").string(), &error), -1);
  EXPECT_EQ(error, (dir / "none.txt").string() + ": cannot open: No such file or directory");
  const char16_t scr[] = u"C:\\a.scr";
  EXPECT_EQ(ArbiterEvaluate(reinterpret_cast<const ArbiterChar*>(scr)), 0) << "the old rules stay";
}

// One rule at a time, loaded from a file (a UTF-8 byte-order mark, CRLF ends, comments): does it
// decide this path? Letters compare by their simple upper case, one UTF-16 unit at a time, with
// no locale's rules: Turkish dotless i and long s stay apart from I and S, as on Windows.
TEST_F(PolicyFiles, RulesMatchAsWindowsComparesFileNames) {
  const std::tuple<const char*, std::u16string, bool> cases[] = {
      {"deny *.exe # no programs", u"C:\\tools\\x.EXE", true},
      {"deny C:\\a#b.exe", u"C:\\A#B.EXE", true},
      {"deny C:\\Программы\\*", u"c:\\ПРОГРАММЫ\\тест.exe", true},
      {"deny C:\\δοκιμή\\*", u"C:\\ΔΟΚΙΜΉ\\a.exe", true},
      {"deny C:\\Café\\*", u"C:\\CAFÉ\\a.exe", true},
      {"deny C:\\ÿ\\*", u"C:\\Ÿ\\a.exe", true},
      {"deny C:\\i\\*", u"C:\\I\\a.exe", true},
      {"deny C:\\ı\\*", u"C:\\I\\a.exe", false},
      {"deny C:\\i\\*", u"C:\\İ\\a.exe", false},
      {"deny C:\\ſ.exe", u"C:\\S.exe", false},
      {"deny C:\\𐐨.exe", u"C:\\𐐀.exe", false},
      {"deny C:\\straße.exe", u"C:\\STRASSE.exe", false},
  };
  std::string error;
  for (const auto& [rule, path, decides] : cases) {
    ASSERT_EQ(Load(Write("\xEF\xBB\xBF# one rule\r\n"s + rule + "\r\n"), &error), 1) << error;
    char decided[256] = "";
    const int allowed =
        ArbiterExplain(reinterpret_cast<const ArbiterChar*>(path.c_str()), decided, 256);
    const std::string text = std::string(rule).substr(0, std::string(rule).find(" #"));
    EXPECT_EQ(decided, decides ? "line 2: " + text : "") << rule;
    EXPECT_EQ(allowed, decides ? 0 : 1) << rule;
  }
}

}  // namespace
