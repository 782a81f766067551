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
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
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

bool Eventually(const std::function<bool()>& condition) {
  for (auto end = std::chrono::steady_clock::now() + 10s; !condition();) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

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
    Phase phase;
    Answer onTimeout;
    Action action;
    int result;
    std::optional<Outcome> outcome;
  } rows[] = {
      {"blocked", Phase::Guarding, Answer::Deny, Action::Read, 0, std::nullopt},
      {"tool", Phase::Guarding, Answer::Deny, Action::Execute, 0, Outcome::Allowed},
      {"blocked", Phase::Guarding, Answer::Deny, Action::Execute, EPERM, Outcome::Denied},
      {"blocked", Phase::Stopped, Answer::Deny, Action::Execute, 0, Outcome::LetThrough},
      {"tool", Phase::Stalled, Answer::Deny, Action::Execute, EPERM, Outcome::TimedOut},
      {"tool", Phase::Stalled, Answer::Allow, Action::Execute, 0, Outcome::TimedOut},
      {"tool", Phase::Guarding, Answer::Deny, Action::ExecuteViaBindMount, EPERM, std::nullopt},
  };
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
    EXPECT_EQ(judged[0].drivePath, u"L:\\" + Utf16FromUtf8(row.file));
    if (row.result == 0) {
      EXPECT_EQ(judged[0].pid, pid);
    }
  }
}

TEST_F(LiveSourceTest, EightExecsAtOnceAreHeldTogetherAndEachGetsItsOwnVerdict) {
  constexpr std::size_t kLaunches = 8;
  ArbiterSetPolicy("deny L:\\odd*\n");
  fs::path programs[kLaunches];
  for (std::size_t i = 0; i < kLaunches; ++i) {
    programs[i] = Program((i % 2 ? "odd" : "even") + std::to_string(i));
  }
  ASSERT_TRUE(start());
  Serve();
  // One launch before leaves an idle worker behind, which must not take more than one of the
  // eight.
  ASSERT_EQ(Execute(Program("first")), 0);
  // The first of the eight that the scanner sees waits until all are in the driver: a source
  // that held one launch back behind another would never get there.
  struct Gate {
    GuardDriver* driver;
    bool allInHand = false;
  } gate{driver.get()};
  ArbiterSetHook(
      [](const ArbiterChar* path, void* context) {
        auto& g = *static_cast<Gate*>(context);
        if (!g.allInHand) {
          g.allInHand = Eventually([&] { return g.driver->LaunchesInProgress() == kLaunches; });
        }
        return ArbiterEvaluate(path) != 0;
      },
      &gate);
  int results[kLaunches];
  pid_t pids[kLaunches] = {};
  std::vector<std::thread> launchers;
  for (std::size_t i = 0; i < kLaunches; ++i) {
    launchers.emplace_back([&, i] { results[i] = Execute(programs[i], &pids[i]); });
  }
  for (auto& launcher : launchers) launcher.join();
  StopServing();
  ASSERT_TRUE(stop());

  EXPECT_TRUE(gate.allInHand);
  ASSERT_EQ(judged.size(), kLaunches + 1);
  for (std::size_t i = 0; i < kLaunches; ++i) {
    SCOPED_TRACE(programs[i]);
    const bool odd = i % 2 == 1;
    EXPECT_EQ(results[i], odd ? EPERM : 0);
    const auto own = std::find_if(judged.begin(), judged.end(), [&](const auto& launch) {
      return launch.program == programs[i].string();
    });
    ASSERT_NE(own, judged.end());
    EXPECT_EQ(own->outcome, odd ? Outcome::Denied : Outcome::Allowed);
    if (!odd) {
      EXPECT_EQ(own->pid, pids[i]);
    }
  }
}

// A host that dies with launches held: the kernel lets them run. The host here guards with no
// module to answer, and has started a program of its own, which would keep the launch held if
// the fanotify descriptor leaked into it.
TEST_F(LiveSourceTest, AHostKilledWhileALaunchIsHeldLeavesNothingHanging) {
  const fs::path tool = Program("tool");
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  UniqueFd fromHost(pipeFds[0]), toParent(pipeFds[1]);
  const pid_t host = ::fork();
  if (host == 0) {
    GuardDriver unserved({60s});
    InitializeRequest request{};
    InitializeReply reply{};
    DWORD error = 0;
    unserved.Control(IOCTL_GUARD_INITIALIZE, &request, 16, &reply, 16, nullptr, &error);
    unserved.Control(IOCTL_GUARD_START, nullptr, 0, nullptr, 0, nullptr, &error);
    std::string why;
    auto held = LiveSource::Open(folder, unserved, {}, &why);
    char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
    pid_t helper = 0;
    if (!held || ::posix_spawnp(&helper, "sleep", nullptr, nullptr, argv, environ) != 0) _exit(2);
    std::thread([&] { held->Run(nullptr, [] { return false; }); }).detach();
    ::write(toParent.Get(), &helper, sizeof helper);
    unserved.WaitForParked(1, 30s);
    ::write(toParent.Get(), &helper, sizeof helper);
    ::pause();
  }
  pid_t helper = 0;
  ASSERT_EQ(::read(fromHost.Get(), &helper, sizeof helper), sizeof helper) << "host ready";
  const pid_t launch = ::fork();
  if (launch == 0) {
    ::execl(tool.c_str(), tool.c_str(), nullptr);
    _exit(errno);
  }
  ASSERT_EQ(::read(fromHost.Get(), &helper, sizeof helper), sizeof helper) << "launch held";
  ::kill(host, SIGKILL);
  ::waitpid(host, nullptr, 0);
  int status = -1;
  EXPECT_TRUE(Eventually([&] { return ::waitpid(launch, &status, WNOHANG) == launch; }))
      << "the launch still hangs";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ::kill(helper, SIGKILL);
  if (::kill(launch, SIGKILL) == 0) ::waitpid(launch, nullptr, 0);
}

TEST_F(LiveSourceTest, WithoutRootOpenSaysRootIsNeeded) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::string error;
    const bool refused = ::setuid(65534) == 0 && !LiveSource::Open(folder, *driver, {}, &error);
    _exit(refused && error.find("needs root") != std::string::npos ? 0 : 1);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
