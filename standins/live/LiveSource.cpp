#include "LiveSource.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "LaunchPool.h"
#include "winsim/Control.h"

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = GuardDriver::Outcome;

// Exec of a file in the marked folder; opening it to read is never held.
constexpr std::uint64_t kHeldEvents = FAN_OPEN_EXEC_PERM | FAN_EVENT_ON_CHILD;

std::string Reason(const char* call, int error) {
  return std::string(" (") + call + ": " + std::strerror(error) + ")";
}

std::string InitError(int error) {
  if (error == EPERM) {
    return "the live guard needs root: fanotify permission events require CAP_SYS_ADMIN" +
           Reason("fanotify_init", error);
  }
  if (error == EINVAL || error == ENOSYS) {
    return "this kernel offers no fanotify permission events (built without "
           "CONFIG_FANOTIFY_ACCESS_PERMISSIONS?)" +
           Reason("fanotify_init", error);
  }
  return "cannot use fanotify" + Reason("fanotify_init", error);
}

// The name of the pseudo filesystem `folder` lies on, whose files fanotify does not watch; null
// for any other.
const char* PseudoFilesystem(const std::string& folder) {
  constexpr struct {
    unsigned long magic;
    const char* name;
  } kPseudo[] = {{PROC_SUPER_MAGIC, "proc"},     {SYSFS_MAGIC, "sysfs"},
                 {DEVPTS_SUPER_MAGIC, "devpts"}, {DEBUGFS_MAGIC, "debugfs"},
                 {TRACEFS_MAGIC, "tracefs"},     {CGROUP2_SUPER_MAGIC, "cgroup2"},
                 {CGROUP_SUPER_MAGIC, "cgroup"}, {SECURITYFS_MAGIC, "securityfs"},
                 {BPF_FS_MAGIC, "bpf"}};
  struct statfs fs {};
  if (::statfs(folder.c_str(), &fs) != 0) return nullptr;
  for (const auto& pseudo : kPseudo) {
    if (static_cast<unsigned long>(fs.f_type) == pseudo.magic) return pseudo.name;
  }
  return nullptr;
}

bool KernelBefore5() {
  utsname name{};
  return ::uname(&name) == 0 && std::atoi(name.release) < 5;
}

std::string MarkError(int error, const std::string& folder) {
  if (error == EINVAL && KernelBefore5()) {
    return "this kernel cannot hold program launches: exec permission events need Linux 5.0 "
           "or later" +
           Reason("fanotify_mark", error);
  }
  if (error == EINVAL) {
    const char* pseudo = PseudoFilesystem(folder);
    return "cannot guard " + folder + ": " +
           (pseudo ? folder + " lies on " + pseudo +
                         ", a pseudo filesystem whose files the kernel does not let fanotify "
                         "watch"
                   : std::string("the kernel refuses to watch it for program launches")) +
           Reason("fanotify_mark", error);
  }
  return "cannot guard " + folder + Reason("fanotify_mark", error);
}

// The command name of a process, before its exec replaces it.
std::string CommandName(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

}  // namespace

std::unique_ptr<LiveSource> LiveSource::Open(const std::string& folder, GuardDriver& driver,
                                             const Options& options, std::string* error) {
  // First what the machine allows. The group and the events' descriptors are closed on exec: a
  // program the host starts must not keep the group alive (and its launches held) after the host
  // has gone.
  // The queue has no limit: past a limit the kernel lets launches run unheld.
  UniqueFd group(::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_UNLIMITED_QUEUE,
                                 O_RDONLY | O_LARGEFILE | O_CLOEXEC));
  if (!group) {
    *error = InitError(errno);
    return nullptr;
  }
  UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folderFd) {
    *error = "cannot guard " + folder + Reason("open", errno);
    return nullptr;
  }
  // The folder's canonical path, which the paths of held files are compared with.
  std::string path;
  if (!PathOfDescriptor(folderFd.Get(), &path)) {
    *error = "cannot guard " + folder + ": its path cannot be read";
    return nullptr;
  }
  // The descriptor names the folder itself; FAN_MARK_ONLYDIR refuses anything else.
  if (::fanotify_mark(group.Get(), FAN_MARK_ADD | FAN_MARK_ONLYDIR, kHeldEvents, folderFd.Get(),
                      nullptr) != 0) {
    *error = MarkError(errno, folder);
    return nullptr;
  }
  GuardedFolder guarded(std::move(path), options.driveLetter, options.volumeDevice);
  return std::unique_ptr<LiveSource>(
      new LiveSource(std::move(group), std::move(folderFd), std::move(guarded), driver, options));
}

LiveSource::LiveSource(UniqueFd group, UniqueFd folderFd, GuardedFolder folder, GuardDriver& driver,
                       const Options& options)
    : group_(std::move(group)),
      folderFd_(std::move(folderFd)),
      folder_(std::move(folder)),
      driver_(driver),
      options_(options) {
  winsim::AddDrive(options_.driveLetter, {options_.volumeDevice});
}

LiveSource::~LiveSource() {
  winsim::RemoveDrive(options_.driveLetter);
}

std::string LiveSource::Run(const OnJudged& onJudged, const std::function<bool()>& stopRequested) {
  if (!group_) return "nothing to guard";
  std::string fault;
  {
    const OnJudged report = [&](const Judged& judged) {
      std::lock_guard lock(reportMutex_);
      if (onJudged) onJudged(judged);
    };
    LaunchPool pool(options_.threadLimit, [&](TakenLaunch& launch) { report(Judge(launch)); });
    pollfd ready{group_.Get(), POLLIN, 0};
    while (fault.empty() && !stopRequested()) {
      if (::poll(&ready, 1, 50) > 0) TakeEvents(pool, report, &fault);
      if (fault.empty()) fault = FolderReplaced();
    }
    // No new holds; what the kernel queued before that is judged like any launch.
    ::fanotify_mark(group_.Get(), FAN_MARK_REMOVE, kHeldEvents, folderFd_.Get(), nullptr);
    while (::poll(&ready, 1, 0) > 0 && TakeEvents(pool, report, &fault)) {
    }
  }  // the pool waits for every launch in hand
  // The kernel lets through whatever was held after the last read.
  group_.Reset();
  return fault;
}

std::string LiveSource::FolderReplaced() const {
  const std::string& path = folder_.Path();
  struct stat held {
  }, named{};
  std::string now;
  if (::fstat(folderFd_.Get(), &held) != 0 || held.st_nlink == 0) return path + " was removed";
  if (!PathOfDescriptor(folderFd_.Get(), &now) || now != path) {
    return path + " was moved" + (now.empty() ? "" : " to " + now);
  }
  if (::stat(path.c_str(), &named) != 0) return path + " cannot be found" + Reason("stat", errno);
  if (named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
    return path + " is another folder now (replaced, or a file system mounted over it)";
  }
  return {};
}

bool LiveSource::TakeEvents(LaunchPool& pool, const OnJudged& report, std::string* fault) {
  alignas(fanotify_event_metadata) std::array<char, 4096> buffer;
  ssize_t length = ::read(group_.Get(), buffer.data(), buffer.size());
  if (length < 0 && (errno == EMFILE || errno == ENFILE)) {
    // The kernel could not open the file for the host and has denied that launch itself.
    Judged refused;
    refused.problem =
        "the kernel denied a launch unjudged: the host has no file descriptor "
        "left to take it" +
        Reason("read", errno);
    report(refused);
    return true;
  }
  // Otherwise fails only on an interruption.
  if (length <= 0) return false;
  const Clock::time_point taken = Clock::now();
  for (auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer.data());
       FAN_EVENT_OK(event, length); event = FAN_EVENT_NEXT(event, length)) {
    if (event->mask & FAN_Q_OVERFLOW) {
      *fault = "the kernel's event queue overflowed: launches may have run unjudged";
    }
    if (event->fd < 0) continue;  // holds nothing
    TakenLaunch launch{HeldExec(group_.Get(), event->fd, event->pid), taken, {}, {}};
    if (event->vers != FANOTIFY_METADATA_VERSION) continue;  // unreadable: denied
    // Read now, while the launch is held: a name read later may belong to another file.
    launch.exec.Path(&launch.program);
    launch.caller = CommandName(event->pid);
    if (!pool.Submit(launch, options_.queueLimit)) {
      Judged refused;
      refused.pid = event->pid;
      refused.caller = launch.caller;
      refused.program = launch.program;
      refused.problem = "denied unjudged: " + std::to_string(options_.queueLimit) +
                        " launches already wait in the host";
      launch.exec.Answer(false);
      refused.latency = Clock::now() - taken;
      report(refused);
    }
  }
  return true;
}

std::string LiveSource::Substituted(const TakenLaunch& launch, const std::string& name) const {
  struct stat held {
  }, named{};
  std::string now;
  if (!launch.exec.Status(&held)) return "the file cannot be examined";
  if (held.st_nlink == 0) {
    return "the file was deleted: it is being run through an open descriptor, not by a name "
           "in the folder";
  }
  if (!launch.exec.Path(&now) || now != launch.program ||
      ::fstatat(folderFd_.Get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
    return folder_.Path() + "/" + name +
           " is not the file being run: it was renamed or "
           "replaced while its launch was held";
  }
  return {};
}

LiveSource::Judged LiveSource::Judge(TakenLaunch& launch) {
  Judged judged;
  judged.pid = launch.exec.Pid();
  judged.caller = launch.caller;
  judged.program = launch.program;
  judged.queued = Clock::now() - launch.taken;
  const auto answer = [&](bool allow) {
    launch.exec.Answer(allow);
    judged.allowed = allow;
    judged.latency = Clock::now() - launch.taken;
    return judged;
  };
  if (judged.program.empty()) {
    judged.problem = "the file's path cannot be read";
    return answer(false);
  }
  const std::optional<std::string> name = folder_.NameOf(judged.program);
  if (!name) {
    judged.problem = "the file no longer lies directly inside " + folder_.Path();
    return answer(false);
  }
  judged.kernelPath = folder_.KernelPath(*name);
  judged.drivePath = folder_.DrivePath(*name);
  if (judged.problem = Substituted(launch, *name); !judged.problem.empty()) return answer(false);
  const GuardDriver::LaunchResult result = driver_.Launch(judged.kernelPath);
  judged.inDriver = result.latency;
  // The verdict holds for the file named when it was asked for, if it still is that file.
  if (judged.problem = Substituted(launch, *name); !judged.problem.empty()) return answer(false);
  judged.outcome = result.outcome;
  if (result.outcome == Outcome::Allowed || result.outcome == Outcome::LetThrough) {
    return answer(true);
  }
  if (result.outcome == Outcome::TimedOut) {
    return answer(options_.onTimeout == TimeoutAnswer::Allow);
  }
  return answer(false);  // denied, or anything else the driver fails closed
}
