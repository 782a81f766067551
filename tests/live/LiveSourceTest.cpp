// Real execs of programs in a guarded folder, held by the kernel, judged by the real
// libvantor.so through the driver stand-in, answered by the kernel. They need root and fanotify
// permission events; elsewhere they are skipped with the reason.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/fanotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Arbiter.h"
#include "LiveSource.h"
#include "winsim/Control.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Outcome = GuardDriver::Outcome;
using Answer = LiveSource::TimeoutAnswer;

namespace {

// Probed by hand, not through the source, so that a fault in the source fails instead of
// skipping.
std::string Unavailable(const std::string& folder) {
  if (::geteuid() != 0) return "the tests need root";
  UniqueFd group(::fanotify_init(FAN_CLASS_CONTENT, O_RDONLY));
  if (!group || ::fanotify_mark(group.Get(), FAN_MARK_ADD, FAN_OPEN_EXEC_PERM, AT_FDCWD,
                                folder.c_str()) != 0) {
    return std::string("no fanotify exec permission events: ") + std::strerror(errno);
  }
  return {};
}

// Runs the program and waits: 0 when it ran and exited 0, else the exec's error (EPERM: denied).
int Execute(const fs::path& program, pid_t* pid = nullptr) {
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t child = 0;
  if (const int error = ::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ)) {
    return error;
  }
  if (pid != nullptr) *pid = child;
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

int Read(const fs::path& file) {
  UniqueFd fd(::open(file.c_str(), O_RDONLY));
  char byte;
  return fd && ::read(fd.Get(), &byte, 1) == 1 ? 0 : errno;
}

// A scanner that outlasts the driver's deadline.
bool Stall(const ArbiterChar*, void*) {
  std::this_thread::sleep_for(500ms);
  return true;
}

bool Eventually(const std::function<bool()>& condition, std::chrono::seconds limit = 10s) {
  for (auto end = std::chrono::steady_clock::now() + limit; !condition();) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// The demo host guarding a folder, its standard output and error in one file.
struct Host {
  Host(const fs::path& folder, const std::string& options, fs::path output,
       const std::string& as = "")
      : log(std::move(output)) {
    fs::remove(log);
    const std::string command = "exec " + as + " '" VANTOR_HOST_PATH "' --live '" +
                                folder.string() + "' " + options + " >'" + log.string() + "' 2>&1";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    ::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
  }
  std::string Output() const {
    std::ifstream in(log);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Guarding() const {
    return Eventually([&] { return Output().find("guarding until Ctrl-C") != std::string::npos; });
  }
  // The exit code (128 + N for signal N), after Ctrl-C if `interrupt`; -1 if it does not end.
  int End(bool interrupt) {
    int status = 0;
    if (interrupt) ::kill(pid, SIGINT);
    if (!Eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30s)) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_t pid = -1;
  fs::path log;
};

// Sets a /proc/sys value while it lives.
struct SystemSetting {
  SystemSetting(const char* name, const std::string& value) : file(name) {
    std::ifstream(file) >> old;
    std::ofstream(file) << value;
  }
  ~SystemSetting() { std::ofstream(file) << old; }
  const char* file;
  std::string old;
};

class LiveSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/vantor-live-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    folder = name;
    if (const std::string why = Unavailable(folder); !why.empty()) GTEST_SKIP() << why;
    winsim::Reset();
    winsim::AddDrive(u'C', {u"\\Device\\HarddiskVolume1"});
    driver = InstallGuardDriver({5s});
    ArbiterSetPolicy("deny L:\\blocked*\n");
    module = ::dlopen(VANTOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    start = reinterpret_cast<bool (*)()>(::dlsym(module, "_ZN7CVantor5StartEv"));
    stop = reinterpret_cast<bool (*)()>(::dlsym(module, "_ZN7CVantor4StopEv"));
  }
  void TearDown() override {
    StopServing();
    ArbiterSetHook(nullptr, nullptr);
    if (module != nullptr) ::dlclose(module);
    if (!bound.empty()) {
      ::umount2(bound.c_str(), MNT_DETACH);
      fs::remove(bound);
    }
    fs::remove_all(folder);
  }

  fs::path Program(const std::string& name) {
    const fs::path path = folder / name;
    fs::copy_file("/bin/true", path);
    return path;
  }
  void Serve(const LiveSource::Options& options = {}) {
    std::string error;
    source = LiveSource::Open(folder, *driver, options, &error);
    ASSERT_NE(source, nullptr) << error;
    quit = false;
    runner = std::thread([this] {
      source->Run([this](const LiveSource::Judged& launch) { judged.push_back(launch); },
                  [this] { return quit.load(); });
    });
  }
  // Returns once every launch taken has been answered and reported.
  void StopServing() {
    quit = true;
    if (runner.joinable()) runner.join();
    source.reset();
  }

  fs::path folder;
  fs::path bound;  // a bind mount of the folder, where a test makes one
  std::shared_ptr<GuardDriver> driver;
  void* module = nullptr;
  bool (*start)() = nullptr;
  bool (*stop)() = nullptr;
  std::unique_ptr<LiveSource> source;
  std::atomic<bool> quit{false};
  std::thread runner;
  std::vector<LiveSource::Judged> judged;
};

TEST_F(LiveSourceTest, TheKernelEnforcesEachOutcomeAndReadingIsNotHeld) {
  enum class Phase { Guarding, Stopped, Stalled };  // Stalled: the scanner outlasts the deadline
  // Through a bind mount the file is held (its folder is marked) but its path lies elsewhere:
  // it is refused before the driver.
  enum class Action { Read, Execute, ExecuteViaBindMount };
  const struct Row {
    const char* file;
    const char16_t* drivePath;  // written by hand, unit by unit
    Phase phase;
    Answer onTimeout;
    Action action;
    int result;
    std::optional<Outcome> outcome;
  } rows[] = {
      {"blocked", u"", Phase::Guarding, Answer::Deny, Action::Read, 0, std::nullopt},
      {"tool", u"L:\\tool", Phase::Guarding, Answer::Deny, Action::Execute, 0, Outcome::Allowed},
      {"blocked", u"L:\\blocked", Phase::Guarding, Answer::Deny, Action::Execute, EPERM,
       Outcome::Denied},
      {"blocked", u"L:\\blocked", Phase::Stopped, Answer::Deny, Action::Execute, 0,
       Outcome::LetThrough},
      {"tool", u"L:\\tool", Phase::Stalled, Answer::Deny, Action::Execute, EPERM,
       Outcome::TimedOut},
      {"tool", u"L:\\tool", Phase::Stalled, Answer::Allow, Action::Execute, 0, Outcome::TimedOut},
      {"tool", u"", Phase::Guarding, Answer::Deny, Action::ExecuteViaBindMount, EPERM,
       std::nullopt},
      // Outside the Basic Multilingual Plane: U+1D4B3 and U+1F600, each a surrogate pair.
      {"\xF0\x9D\x92\xB3tool", u"L:\\\xD835\xDCB3tool", Phase::Guarding, Answer::Deny,
       Action::Execute, 0, Outcome::Allowed},
      {"\xF0\x9F\x98\x80x", u"L:\\\xD83D\xDE00x", Phase::Guarding, Answer::Deny, Action::Execute,
       EPERM, Outcome::Denied},
  };
  ArbiterSetPolicy("deny L:\\blocked*\ndeny L:\\\xF0\x9F\x98\x80*\n");
  Program("\xF0\x9D\x92\xB3tool");
  Program("\xF0\x9F\x98\x80x");
  Program("tool");
  Program("blocked");
  bound = folder.string() + "-bound";
  fs::create_directory(bound);
  ASSERT_EQ(::mount(folder.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.file) + " row " + std::to_string(&row - rows));
    judged.clear();
    const bool stalled = row.phase == Phase::Stalled;
    driver->SetVerdictTimeout(stalled ? 200ms : 5s);
    ArbiterSetHook(stalled ? Stall : nullptr, nullptr);
    ASSERT_TRUE(start());
    if (row.phase == Phase::Stopped) {
      ASSERT_TRUE(stop());
    }
    Serve({.onTimeout = row.onTimeout});
    std::error_code ignored;  // a program started by the host must not keep the group alive
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
      const bool group = fs::read_symlink(fd, ignored) == "anon_inode:[fanotify]";
      EXPECT_TRUE(!group || ::fcntl(std::stoi(fd.path().filename()), F_GETFD) & FD_CLOEXEC);
    }
    pid_t pid = 0;
    const bool bind = row.action == Action::ExecuteViaBindMount;
    const fs::path file = (bind ? bound : folder) / row.file;
    EXPECT_EQ(row.action == Action::Read ? Read(file) : Execute(file, &pid), row.result);
    StopServing();
    if (row.phase != Phase::Stopped) {
      ASSERT_TRUE(stop());
    }

    ASSERT_EQ(judged.size(), row.action == Action::Read ? 0u : 1u);
    if (row.action == Action::Read) continue;
    EXPECT_EQ(judged[0].outcome, row.outcome);
    EXPECT_EQ(judged[0].allowed, row.result == 0);
    EXPECT_EQ(judged[0].program, file.string());
    EXPECT_EQ(judged[0].problem.empty(), !bind);
    if (bind) continue;
    EXPECT_EQ(judged[0].drivePath, row.drivePath);
    if (row.result == 0) {
      EXPECT_EQ(judged[0].pid, pid);
    }
  }
}

TEST_F(LiveSourceTest, ALaunchPastTheHostsQueueIsDeniedAtOnceAndReported) {
  ArbiterSetHook(Stall, nullptr);  // holds the one worker
  ASSERT_TRUE(start());
  Serve({.threadLimit = 1, .queueLimit = 0});
  std::thread first([&] { EXPECT_EQ(Execute(Program("tool")), 0); });
  ASSERT_TRUE(driver->WaitForParked(1, 10s));
  EXPECT_EQ(Execute(Program("second")), EPERM);
  first.join();
  StopServing();
  ASSERT_TRUE(stop());
  ASSERT_EQ(judged.size(), 2u);
  EXPECT_EQ(judged[0].problem, "denied unjudged: 0 launches already wait in the host");
  EXPECT_EQ(judged[1].outcome, Outcome::Allowed);
}

// Tricks an attacker or a careless user plays on the demo host guarding a folder with the rules
// "deny L:\\evil*" and "deny *.scr": each must end right or be refused loudly.
TEST_F(LiveSourceTest, TheHostCannotBeTalkedOutOfAVerdict) {
  enum class Trick {
    RenameWhileHeld,    // exec evil, rename it while the scanner judges it
    RunDeletedFile,     // open x.scr, unlink it, exec it through /proc/self/fd
    NameWithNewline,    // a name that would forge a second line
    ReplaceFolder,      // rm -rf DIR; mkdir DIR
    MountOverFolder,    // a tmpfs over DIR
    QueueOverflow,      // ten execs while the host reads nothing, the kernel queue holds four
    NoDescriptorLeft,   // the host cannot open one more file
    SecondGuardDenies,  // another host guards the folder and denies everything
    TimeoutThenCtrlC,   // two launches outlast the deadline, Ctrl-C while the scanner is busy
    KillHost,           // kill -9 while a launch is held
    PseudoFilesystem,   // --live /proc
    NoRoot,             // the host without CAP_SYS_ADMIN (readable build folders or not)
  };
  const struct Row {
    Trick trick;
    const char* options;
    const char* file;
    int result;  // of the exec: 0 ran, EPERM refused
    int exitCode;
    const char* says;
  } rows[] = {
      {Trick::RenameWhileHeld, "--scanner-delay 300", "evil", EPERM, 0,
       "renamed or replaced while its launch was held"},
      {Trick::RunDeletedFile, "", "x.scr", EPERM, 0,
       "x.scr (deleted): Operation not permitted; the file was deleted: it is being run through"},
      {Trick::NameWithNewline, "", "a\nallowed          0.1 ms  L:\\evil", 0, 0,
       "L:\\a\\nallowed          0.1 ms  L:\\evil  [default]"},
      {Trick::ReplaceFolder, "", "evil", 0, 1, "was removed"},
      {Trick::MountOverFolder, "", "evil", 0, 1, "is another folder now"},
      {Trick::QueueOverflow, "", "evil", EPERM, 0, "summary: 11 launches: 6 allowed, 5 denied"},
      {Trick::NoDescriptorLeft, "", "evil", EPERM, 0, "the host has no file descriptor left"},
      {Trick::SecondGuardDenies, "", "tool", EPERM, 0,
       "let run by this guard (another guard may still refuse it)"},
      {Trick::TimeoutThenCtrlC, "--scanner-delay 10500 --on-timeout allow", "tool", 0, 0,
       "no verdict within the driver's deadline: allowed, as --on-timeout allow says"},
      {Trick::KillHost, "--scanner-delay 5000", "tool", 0, 128 + SIGKILL, "guarding until"},
      {Trick::NoRoot, "", nullptr, 0, 1, "the live guard needs root"},
      {Trick::PseudoFilesystem, "", nullptr, 0, 1,
       "/proc lies on proc, a pseudo filesystem whose files the kernel does not let fanotify"},
  };
  const fs::path work = folder.string() + "-work";
  fs::create_directory(work);
  std::ofstream(work / "rules.txt") << "deny L:\\evil*\ndeny *.scr\n";
  std::ofstream(work / "all.txt") << "deny *\n";
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    fs::remove_all(folder);
    fs::create_directory(folder);
    const fs::path file = row.file ? Program(row.file) : fs::path();
    std::optional<SystemSetting> queue;
    if (row.trick == Trick::QueueOverflow)
      queue.emplace("/proc/sys/fs/fanotify/max_queued_events", "4");
    const bool proc = row.trick == Trick::PseudoFilesystem || row.trick == Trick::NoRoot;
    Host host(row.trick == Trick::PseudoFilesystem ? "/proc" : folder,
              row.options + std::string(" --policy ") + (work / "rules.txt").c_str(),
              work / "out.txt",
              row.trick == Trick::NoRoot ? "setpriv --inh-caps=-sys_admin --bounding-set=-sys_admin"
                                         : "");
    ASSERT_TRUE(proc || host.Guarding()) << host.Output();
    queue.reset();
    std::vector<std::pair<int, int>> results;  // expected and seen
    results.reserve(32);
    std::vector<std::thread> launches;
    const auto launch = [&](const fs::path& program, int expected, bool wait = true) {
      auto* seen = &results.emplace_back(expected, -2).second;  // reserved: it stays put
      launches.emplace_back([seen, program] { *seen = Execute(program); });
      if (!wait) return;
      for (auto& thread : launches) thread.join();
      launches.clear();
    };
    bool interrupt = !proc;
    switch (row.trick) {
      case Trick::RenameWhileHeld:
        launch(file, row.result, false);
        std::this_thread::sleep_for(100ms);
        fs::rename(file, folder / "harmless");
        break;
      case Trick::RunDeletedFile: {
        UniqueFd open(::open(file.c_str(), O_RDONLY));
        fs::remove(file);
        launch("/proc/self/fd/" + std::to_string(open.Get()), row.result);
        break;
      }
      case Trick::ReplaceFolder:
      case Trick::MountOverFolder:
        if (row.trick == Trick::ReplaceFolder) {
          fs::remove_all(folder);
          fs::create_directory(folder);
        } else {
          ASSERT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", 0, nullptr), 0);
          bound = folder;
        }
        EXPECT_EQ(host.End(false), row.exitCode);
        interrupt = false;
        launch(Program(row.file), row.result);
        break;
      case Trick::QueueOverflow: {  // also: launches taken together each get their own verdict
        // Copied before any exec: a copy open for writing in a forked child cannot be executed.
        const fs::path tool = Program("tool"), last = Program("last");
        ::kill(host.pid, SIGSTOP);
        for (int i = 0; i < 10; ++i) launch(i % 2 ? file : tool, i % 2 ? row.result : 0, false);
        std::this_thread::sleep_for(500ms);
        ::kill(host.pid, SIGCONT);
        launch(last, 0);
        break;
      }
      case Trick::NoDescriptorLeft: {
        int lowestFree = 0;  // every new descriptor of the host would be at or above it
        while (
            fs::exists("/proc/" + std::to_string(host.pid) + "/fd/" + std::to_string(lowestFree)))
          ++lowestFree;
        rlimit old{};
        ASSERT_EQ(::prlimit(host.pid, RLIMIT_NOFILE, nullptr, &old), 0);
        const rlimit none{static_cast<rlim_t>(lowestFree), old.rlim_max};
        ASSERT_EQ(::prlimit(host.pid, RLIMIT_NOFILE, &none, nullptr), 0);
        launch(file, row.result);
        ::prlimit(host.pid, RLIMIT_NOFILE, &old, nullptr);
        break;
      }
      case Trick::SecondGuardDenies:
        // The kernel asks the two in an order of its own (by the groups' addresses) and stops at
        // a denial: try until this host is asked first, every other time starting it second.
        for (int tries = 0; tries < 20 && host.Output().find(" ran ") == std::string::npos;
             ++tries) {
          Host second(folder, "--policy " + (work / "all.txt").string(), work / "second.txt");
          ASSERT_TRUE(second.Guarding()) << second.Output();
          if (tries % 2 == 1) {
            EXPECT_EQ(host.End(true), 0);
            host = Host(folder, "--policy " + (work / "rules.txt").string(), work / "out.txt");
            ASSERT_TRUE(host.Guarding()) << host.Output();
          }
          launch(file, row.result);
          EXPECT_EQ(second.End(true), 0);
        }
        break;
      case Trick::KillHost:  // the kernel lets the held launch run: nothing waits for it
        launch(file, row.result, false);
        std::this_thread::sleep_for(300ms);
        ::kill(host.pid, SIGKILL);
        EXPECT_EQ(host.End(false), row.exitCode);
        interrupt = false;
        break;
      case Trick::TimeoutThenCtrlC:
        launch(file, row.result, false);
        launch(file, row.result, false);
        std::this_thread::sleep_for(1s);  // one in the scanner, one waiting for the record
        break;
      default:
        if (!proc) launch(file, row.result);
        break;
    }
    EXPECT_EQ(interrupt ? host.End(true) : proc ? host.End(false) : row.exitCode, row.exitCode);
    for (auto& thread : launches) thread.join();
    for (const auto& [expected, seen] : results) EXPECT_EQ(seen, expected);
    EXPECT_NE(host.Output().find(row.says), std::string::npos) << host.Output();
    if (!bound.empty()) ::umount2(bound.c_str(), MNT_DETACH);
    bound.clear();
  }
  fs::remove_all(work);
}

}  // namespace
