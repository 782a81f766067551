// The demo host run as a program: every input either works or fails with exit code 2 and a
// message that names the option or variable, the file and the line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "LatencyStats.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct Case {
  const char* environment;  // NAME=value settings, or ""
  const char* arguments;    // in.txt, written from `file` first, is at hand in the working folder
  std::string file;
  int exitCode;
  const char* says;  // found in what the host wrote (standard output and error)
};

class HostInput : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vantor-host-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  void Check(const Case& c) {
    std::ofstream(dir / "in.txt", std::ios::binary) << c.file;
    const std::string command =
        "cd '" + dir.string() + "' && { env -u ARBITER_POLICY_FILE -u BASALT_LOG_FILE " +
        c.environment + " '" VANTOR_HOST_PATH "' " + c.arguments + "; } >out.txt 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(dir / "out.txt");
    const std::string output(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exitCode) << c.arguments;
    EXPECT_NE(output.find(c.says), std::string::npos) << c.arguments << "\n" << output;
  }
  fs::path dir;
};

TEST_F(HostInput, OptionsAndEnvironment) {
  const Case cases[] = {
      {"", "--threads 0", "", 2, "--threads: '0' is not a whole number from 1 to 64"},
      {"", "--threads", "", 2, "--threads: needs a number of threads"},
      {"", "--count 1e3", "", 2, "--count: '1e3' is not a whole number from 1 to 1000000000"},
      {"", "--rate=0", "", 2, "--rate: '0' is not a number of launches a second above 0"},
      {"", "--scanner-delay 60001", "", 2, "--scanner-delay: '60001' is not a whole number"},
      {"", "--json=yes", "", 2, "--json: takes no value"},
      {"", "--colour", "", 2, "unknown option '--colour'"},
      {"", "--live . --count 3", "", 2, "--count: shapes replayed launches; with --live"},
      {"", "--live . --on-timeout maybe", "", 2, "--on-timeout: 'maybe' is not allow or deny"},
      {"", "--on-timeout allow", "", 2, "--on-timeout: applies to the live guard only"},
      {"", "--live no/such", "", 2, "--live: no/such: No such file or directory"},
      {"", "--live in.txt", "", 2, "--live: in.txt: not a folder"},
      {"", "in.txt", "", 2, "unexpected argument 'in.txt'"},
      {"BASALT_LOG_FILE=.", "", "", 2, "BASALT_LOG_FILE=.: cannot be opened for appending"},
      {"BASALT_LOG_FILE=no/x.log", "", "", 2, "BASALT_LOG_FILE=no/x.log: cannot be opened"},
      {"ARBITER_POLICY_FILE=in.txt", "", "deny *\ndenny *.exe\n", 2,
       "ARBITER_POLICY_FILE: in.txt:2: 'denny' is not a rule"},
      {"ARBITER_POLICY_FILE=in.txt", "--quiet", "deny *.scr\n", 0,
       "policy:  1 rule, from ARBITER_POLICY_FILE=in.txt"},
      {"ARBITER_POLICY_FILE=.", "--policy in.txt --quiet", "deny *.scr\n", 0,
       "from --policy in.txt (ARBITER_POLICY_FILE is ignored)"},
      {"", "--policy . --launches in.txt", "", 2, "--policy: .: is a directory"},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(HostInput, LaunchFile) {
  const std::string longest = "\\" + std::string(32766, 'x');
  const Case cases[] = {
      // None: the built-in set, judged alike by the Windows build (tests/windows).
      {"", "--quiet", "", 0, "summary: 11 launches: 7 allowed, 4 denied, 0 let through"},
      {"", "--launches in.txt --quiet", "\n \t\n# a comment\n\\??\\C:\\a.exe\r\n\n", 0,
       "summary: 1 launches: 1 allowed"},
      {"", "--launches in.txt --quiet", longest + "\n", 0, "summary: 1 launches: 1 allowed"},
      {"", "--launches in.txt", longest + "x\n", 2,
       "--launches: in.txt:1: the path has 32768 UTF-16 units; the driver's record holds at "
       "most 32767"},
      {"", "--launches in.txt", "\\??\\C:\\a.exe\n\n  C:\\b.exe\n", 2,
       "--launches: in.txt:3: 'C:\\b.exe' is not a kernel path"},
      {"", "--launches in.txt", "\xFF\xFE\\\0a\0"s, 2, "--launches: in.txt: UTF-16 text"},
      {"", "--launches in.txt", "\\a.exe\n\\caf\xE9.exe\n", 2, "in.txt:2: not UTF-8 text"},
      {"", "--launches in.txt", "# nothing\n\n", 2, "in.txt: names no launch"},
      {"", "--launches .", "", 2, "--launches: .: is a directory"},
  };
  for (const Case& c : cases) Check(c);
}

TEST(LatencyStats, TheMedianIsTheMiddleSampleOrTheMeanOfTheMiddleTwo) {
  const std::pair<std::vector<int>, double> cases[] = {
      {{7}, 7}, {{1, 3}, 2}, {{1, 2, 100}, 2}, {{5, 1, 9, 3}, 4}};
  for (const auto& [samplesMs, median] : cases) {
    LatencyStats stats;
    for (const int ms : samplesMs) stats.Add(std::chrono::milliseconds(ms));
    EXPECT_NEAR(stats.MedianMs(), median, median * 0.02) << samplesMs.size() << " samples";
  }
}

// Ctrl-C: no launch after it, the module stopped and unloaded, the summary, exit code 130.
TEST_F(HostInput, InterruptStopsTheModuleAndSummarises) {
  Check({"",
         "--rate 5 --count 50 --quiet & for i in $(seq 300); do grep -q started out.txt && break; "
         "sleep 0.1; done; "
         "kill -INT $!; wait $!; echo exit $?",
         "", 0, "module: stopped and unloaded\nexit 130"});
}

}  // namespace
