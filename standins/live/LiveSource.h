#pragma once
// LiveSource: real program launches on Linux as launches of the guard driver stand-in.
//
// The kernel holds every execve of a file directly inside one folder (fanotify permission
// events on that folder alone, not its subfolders, nothing else). Each held exec becomes one
// GuardDriver::Launch of the file's kernel path on a volume of its own (GuardedFolder: with the
// default options /srv/guarded/tool is \Device\HarddiskVolume4\tool, and drive L: is registered
// in winsim's drive table while the source lives, so the module converts the path to L:\tool and
// a policy names it so). The outcome answers the kernel:
//   Allowed, LetThrough (not guarding)  -> the program runs
//   Denied                              -> execve fails with EPERM
//   TimedOut                            -> Options::onTimeout, deny unless set otherwise: the
//       guard lets nothing run that it has not judged; the driver's verdict timeout bounds the
//       wait, and only programs of the one folder can be held.
// An event that cannot become a launch (its path cannot be read, or the file no longer lies
// directly inside the folder) is denied and reported with a problem text.
//
// Use (a host):
//   std::string error;
//   auto source = LiveSource::Open(dir, *driver, {}, &error);
//   if (!source) { std::fprintf(stderr, "%s\n", error.c_str()); return 1; }
//   source->Run([](const LiveSource::Judged& launch) { /* print it */ }, Interrupted);
//
// Needs CAP_SYS_ADMIN and a kernel with fanotify permission events for exec (Linux 5.0 or later,
// CONFIG_FANOTIFY_ACCESS_PERMISSIONS); Open says which is missing. If the process dies, the
// kernel lets every launch still held run: nothing waits for a host that is gone.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "GuardDriver.h"
#include "GuardedFolder.h"
#include "UniqueFd.h"

class LaunchPool;
struct TakenLaunch;

class LiveSource {
 public:
  enum class TimeoutAnswer { Deny, Allow };
  struct Options {
    char16_t driveLetter = u'L';
    std::u16string volumeDevice = u"\\Device\\HarddiskVolume4";
    TimeoutAnswer onTimeout = TimeoutAnswer::Deny;
    std::size_t threadLimit = 64;  // launches in hand at once; more wait their turn
  };

  // One answered launch.
  struct Judged {
    std::optional<GuardDriver::Outcome> outcome;  // none: refused before reaching the driver
    std::string problem;                          // why, when there is no outcome
    bool allowed = false;                         // the kernel's answer: the program runs
    std::chrono::nanoseconds latency{};           // from taking the event to answering it
    pid_t pid = 0;                                // the process that executes the program
    std::string caller;         // that process's command name before the exec (may be empty)
    std::string program;        // the executed file's path
    std::u16string kernelPath;  // what the driver parked, e.g. \Device\HarddiskVolume4\tool
    std::u16string drivePath;   // the drive-letter path the policy sees, e.g. L:\tool
  };
  using OnJudged = std::function<void(const Judged&)>;

  // Marks `folder` and registers the drive. Null on failure, with the reason in *error.
  static std::unique_ptr<LiveSource> Open(const std::string& folder, GuardDriver& driver,
                                          const Options& options, std::string* error);
  ~LiveSource();
  LiveSource(const LiveSource&) = delete;
  LiveSource& operator=(const LiveSource&) = delete;

  // Serves held launches until `stopRequested` returns true (asked every 50 ms). Then it holds
  // no new execs, judges those the kernel had already queued, waits until every launch in hand
  // has been answered (at worst the driver's verdict timeout) and closes the fanotify
  // descriptor. `onJudged` is called after each answer, from worker threads, one call at a
  // time. Run once.
  void Run(const OnJudged& onJudged, const std::function<bool()>& stopRequested);

  const GuardedFolder& Folder() const { return folder_; }

 private:
  LiveSource(UniqueFd group, UniqueFd folderFd, GuardedFolder folder, GuardDriver& driver,
             const Options& options);
  bool TakeEvents(LaunchPool& pool);  // false when nothing could be read
  Judged Judge(TakenLaunch& launch);

  UniqueFd group_;
  UniqueFd folderFd_;
  GuardedFolder folder_;
  GuardDriver& driver_;
  Options options_;
  std::mutex reportMutex_;
};
