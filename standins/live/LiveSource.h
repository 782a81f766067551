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
// The file judged is the one the kernel holds: its name is read as soon as the event is read,
// and before the driver and again before the answer the name must still lead to that very file
// (device and inode) with at least one link. A launch that fails this (the file was deleted and
// is run through a descriptor, renamed or replaced while held, or lies elsewhere, e.g. reached
// through another mount of the folder) is denied and reported with a problem text.
// Nothing is let through unjudged by the source itself: the kernel's queue has no limit
// (FAN_UNLIMITED_QUEUE), an overflow notice stops the source with an error, a launch the kernel
// could not hand over (no descriptor left in the host) is reported as denied, and when too many
// launches already wait for a worker the next ones are denied at once and reported.
// The folder is looked at every 50 ms: once it is removed, moved, replaced or mounted over, the
// source stops with an error instead of guarding a folder nobody launches from.
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
    std::size_t queueLimit = 512;  // launches waiting for a worker; more are denied at once
  };

  // One answered launch.
  struct Judged {
    std::optional<GuardDriver::Outcome> outcome;  // none: refused before reaching the driver
    std::string problem;                          // why, when there is no outcome
    bool allowed = false;  // this source's answer (another fanotify listener may still deny)
    std::chrono::nanoseconds latency{};   // from taking the event to answering it
    std::chrono::nanoseconds queued{};    // of that, waiting in the host for a worker
    std::chrono::nanoseconds inDriver{};  // of that, from arrival at the driver to its outcome
    pid_t pid = 0;                        // the process that executes the program
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

  // Serves held launches until `stopRequested` returns true (asked every 50 ms) or the source
  // cannot go on guarding. Then it holds no new execs, judges those the kernel had already
  // queued, waits until every launch in hand has been answered (at worst the driver's verdict
  // timeout) and closes the fanotify descriptor. `onJudged` is called after each answer, one
  // call at a time. Returns why it stopped on its own, or an empty text when asked to. Run once.
  std::string Run(const OnJudged& onJudged, const std::function<bool()>& stopRequested);

  const GuardedFolder& Folder() const { return folder_; }

 private:
  LiveSource(UniqueFd group, UniqueFd folderFd, GuardedFolder folder, GuardDriver& driver,
             const Options& options);
  // False when nothing could be read; sets *fault when guarding cannot go on.
  bool TakeEvents(LaunchPool& pool, const OnJudged& report, std::string* fault);
  Judged Judge(TakenLaunch& launch);
  // Why the name no longer leads to the held file, or empty when it does.
  std::string Substituted(const TakenLaunch& launch, const std::string& name) const;
  // Why the folder marked is no longer the one at its path, or empty when it is.
  std::string FolderReplaced() const;

  UniqueFd group_;
  UniqueFd folderFd_;
  GuardedFolder folder_;
  GuardDriver& driver_;
  Options options_;
  std::mutex reportMutex_;
};
