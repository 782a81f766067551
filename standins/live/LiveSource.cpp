#include "LiveSource.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>

#include <array>
#include <cerrno>
#include <cstdint>
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

std::string MarkError(int error, const std::string& folder) {
  if (error == EINVAL) {
    return "this kernel cannot hold program launches: exec permission events need Linux 5.0 "
           "or later" +
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
  UniqueFd group(
      ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_LARGEFILE | O_CLOEXEC));
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

void LiveSource::Run(const OnJudged& onJudged, const std::function<bool()>& stopRequested) {
  if (!group_) return;
  {
    LaunchPool pool(options_.threadLimit, [&](TakenLaunch& launch) {
      const Judged judged = Judge(launch);
      std::lock_guard lock(reportMutex_);
      if (onJudged) onJudged(judged);
    });
    pollfd ready{group_.Get(), POLLIN, 0};
    while (!stopRequested()) {
      if (::poll(&ready, 1, 50) > 0) TakeEvents(pool);
    }
    // No new holds; what the kernel queued before that is judged like any launch.
    ::fanotify_mark(group_.Get(), FAN_MARK_REMOVE, kHeldEvents, folderFd_.Get(), nullptr);
    while (::poll(&ready, 1, 0) > 0 && TakeEvents(pool)) {
    }
  }  // the pool waits for every launch in hand
  // The kernel lets through whatever was held after the last read.
  group_.Reset();
}

bool LiveSource::TakeEvents(LaunchPool& pool) {
  alignas(fanotify_event_metadata) std::array<char, 4096> buffer;
  // Fails on an interruption, or for an event the kernel could not hand over (it answers
  // such an event itself).
  ssize_t length = ::read(group_.Get(), buffer.data(), buffer.size());
  if (length <= 0) return false;
  const Clock::time_point taken = Clock::now();
  for (auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer.data());
       FAN_EVENT_OK(event, length); event = FAN_EVENT_NEXT(event, length)) {
    if (event->fd == FAN_NOFD) continue;  // a queue overflow notice; it holds nothing
    HeldExec exec(group_.Get(), event->fd, event->pid);
    if (event->vers != FANOTIFY_METADATA_VERSION) continue;  // unreadable: denied
    pool.Submit({std::move(exec), taken});
  }
  return true;
}

LiveSource::Judged LiveSource::Judge(TakenLaunch& launch) {
  Judged judged;
  judged.pid = launch.exec.Pid();
  judged.caller = CommandName(judged.pid);
  const auto answer = [&](bool allow) {
    launch.exec.Answer(allow);
    judged.allowed = allow;
    judged.latency = Clock::now() - launch.taken;
    return judged;
  };
  if (!launch.exec.Path(&judged.program)) {
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
  const Outcome outcome = driver_.Launch(judged.kernelPath).outcome;
  judged.outcome = outcome;
  if (outcome == Outcome::Allowed || outcome == Outcome::LetThrough) return answer(true);
  if (outcome == Outcome::TimedOut) return answer(options_.onTimeout == TimeoutAnswer::Allow);
  return answer(false);  // denied, or anything else the driver fails closed
}
