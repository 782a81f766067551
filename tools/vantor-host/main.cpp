// vantor-host: a demo host. It sets up a simulated machine (drives, the guard driver's image),
// loads the module as a host would, starts it, replays program launches through the driver
// stand-in, prints each verdict and a summary, then stops and unloads the module. The module's
// log lines reach standard error through the log sink stand-in.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "Arbiter.h"
#include "Defaults.h"
#include "GuardDriver.h"
#include "ModuleLibrary.h"
#include "Options.h"
#include "Replay.h"
#include "Text.h"
#include "winsim/Control.h"

namespace {

bool ReadFile(const std::string& name, std::string* text) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  *text = content.str();
  return true;
}

std::vector<std::u16string> ParseLaunches(const std::string& text) {
  std::vector<std::u16string> paths;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() != '#') paths.push_back(FromUtf8(line));
  }
  return paths;
}

void SetUpMachine() {
  winsim::SetHostPath(u"C:\\Program Files\\Vantor Host\\vantor-host.exe");
  winsim::AddDrive(u'C', {u"\\Device\\HarddiskVolume1"});
  winsim::AddDrive(u'D', {u"\\Device\\CdRom0"});
  winsim::AddDrive(u'Z', {u"\\Device\\LanmanRedirector\\;Z:0000000000001234\\fileserver\\tools"});
}

}  // namespace

int main(int argc, char** argv) {
  // The module's log lines go to stderr: keep stdout in step with them.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int exitCode = 0;
  const auto options = ParseOptions(argc, argv, &exitCode);
  if (!options) return exitCode;

  std::string policy = kDefaultPolicy;
  if (!options->policyFile.empty() && !ReadFile(options->policyFile, &policy)) {
    std::fprintf(stderr, "vantor-host: cannot read policy file %s\n", options->policyFile.c_str());
    return 2;
  }
  if (ArbiterSetPolicy(policy.c_str()) < 0) {
    std::fprintf(stderr, "vantor-host: the policy holds a line that is not a rule\n");
    return 2;
  }
  std::vector<std::u16string> launches = DefaultLaunches();
  if (!options->launchFile.empty()) {
    std::string text;
    if (!ReadFile(options->launchFile, &text)) {
      std::fprintf(stderr, "vantor-host: cannot read launch file %s\n",
                   options->launchFile.c_str());
      return 2;
    }
    launches = ParseLaunches(text);
    if (launches.empty()) {
      std::fprintf(stderr, "vantor-host: the launch file names no path\n");
      return 2;
    }
  }

  SetUpMachine();
  const auto driver = InstallGuardDriver();
  std::printf("loading the module\n");
  ModuleLibrary module(ModulePathBesideExecutable());
  if (!module.Loaded()) {
    std::fprintf(stderr, "vantor-host: cannot load the module: %s\n", module.Error().c_str());
    return 1;
  }
  // A volume mounted after the module built its drive map: the pump rebuilds it on first use.
  winsim::AddDrive(u'E', {u"\\Device\\HarddiskVolume3"});

  std::printf("starting\n");
  if (!module.Start()) {
    std::fprintf(stderr, "vantor-host: CVantor::Start failed\n");
    return 1;
  }
  std::printf("replaying %zu launches from %d threads\n",
              options->count > 0 ? static_cast<std::size_t>(options->count) : launches.size(),
              options->threads);
  const auto begin = std::chrono::steady_clock::now();
  const auto records =
      Replay(*driver, launches, {options->threads, options->count, !options->quiet});
  const auto elapsed = std::chrono::steady_clock::now() - begin;

  std::printf("stopping\n");
  const bool stopped = module.Stop();
  module.Unload();
  PrintSummary(records, elapsed);

  const auto stats = driver->Stats();
  const bool allAnswered = stats.timedOut == 0 && stats.strangeVerdicts == 0;
  std::printf("driver: %llu served, %llu let through, %llu timed out; module %s\n",
              static_cast<unsigned long long>(stats.served()),
              static_cast<unsigned long long>(stats.letThrough),
              static_cast<unsigned long long>(stats.timedOut),
              stopped ? "stopped and unloaded" : "failed to stop");
  return stopped && allAnswered ? 0 : 1;
}
