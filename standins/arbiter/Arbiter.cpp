#include "Arbiter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "Policy.h"
#include "StandinMutex.h"
#include "TextFile.h"

namespace {

static_assert(sizeof(ArbiterChar) == sizeof(char16_t), "paths are UTF-16");

// The scanner is called from the module's pump while a host or test thread changes the policy.
struct State {
  StandinMutex lock;
  std::vector<arbiter::Rule> rules;
  std::string warning;  // printed by the first judgement after the policy failed at load
  ArbiterHook hook = nullptr;
  void* hookContext = nullptr;
  bool recording = true;
  // A deque keeps each recorded string in place, so ArbiterQuery's pointers stay valid.
  std::deque<std::basic_string<ArbiterChar>> queries;
};

State& TheState() {
  static State state;
  return state;
}

std::u16string_view View(const ArbiterChar* path) {
  return path ? std::u16string_view(reinterpret_cast<const char16_t*>(path)) : u"";
}

// Copies text into a caller's buffer of `capacity` bytes, cut if need be, always terminated.
void CopyOut(const std::string& text, char* out, int capacity) {
  if (out == nullptr || capacity <= 0) return;
  const std::size_t length = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
}

int Install(std::vector<arbiter::Rule> rules) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  state.rules = std::move(rules);
  state.warning.clear();
  return static_cast<int>(state.rules.size());
}

// The policy named by ARBITER_POLICY_FILE, read when the library is loaded. A file that cannot
// be used leaves one rule that denies everything: a scanner with a broken policy fails closed.
[[maybe_unused]] const bool policyFromEnvironment = [] {
  const char* file = std::getenv("ARBITER_POLICY_FILE");
  if (file == nullptr) return false;
  char error[512];
  if (ArbiterLoadPolicyFile(file, error, sizeof error) >= 0) return true;
  State& state = TheState();
  std::lock_guard guard(state.lock);
  state.rules = {{false, u"*", 0, "deny * (ARBITER_POLICY_FILE cannot be used)"}};
  state.warning = std::string("arbiter: ARBITER_POLICY_FILE: ") + error +
                  "; every launch is denied until a policy is set\n";
  return false;
}();

}  // namespace

bool CGuardHelper::VtAllowExecution(const ArbiterChar* path) {
  State& state = TheState();
  const std::u16string_view text = View(path);
  ArbiterHook hook;
  void* context;
  bool allowed;
  {
    std::lock_guard guard(state.lock);
    if (!state.warning.empty()) {
      std::fputs(state.warning.c_str(), stderr);
      state.warning.clear();
    }
    if (state.recording)
      state.queries.emplace_back(reinterpret_cast<const ArbiterChar*>(text.data()), text.size());
    hook = state.hook;
    context = state.hookContext;
    const arbiter::Rule* rule = arbiter::DecidingRule(state.rules, text);
    allowed = rule == nullptr || rule->allow;
  }
  // The hook runs outside the lock: it may throw or take its time, as a real scanner may.
  return hook ? hook(reinterpret_cast<const ArbiterChar*>(text.data()), context) : allowed;
}

extern "C" {

int ArbiterSetPolicy(const char* rules) {
  std::vector<textfile::Line> lines;
  std::vector<arbiter::Rule> parsed;
  std::string error;
  if (!textfile::DecodeLines(rules ? rules : "", "policy", &lines, &error) ||
      !arbiter::ParsePolicy(lines, "policy", &parsed, &error))
    return -1;
  return Install(std::move(parsed));
}

int ArbiterLoadPolicyFile(const char* fileName, char* error, int capacity) {
  const std::string name = fileName ? fileName : "";
  std::vector<textfile::Line> lines;
  std::vector<arbiter::Rule> parsed;
  std::string reason;
  if (name.empty()) {
    reason = "no file named";
  } else if (textfile::ReadLines(name, &lines, &reason) &&
             arbiter::ParsePolicy(lines, name, &parsed, &reason)) {
    return Install(std::move(parsed));
  }
  CopyOut(reason, error, capacity);
  return -1;
}

void ArbiterSetHook(ArbiterHook hook, void* context) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  state.hook = hook;
  state.hookContext = context;
}

int ArbiterEvaluate(const ArbiterChar* path) {
  return ArbiterExplain(path, nullptr, 0);
}

int ArbiterExplain(const ArbiterChar* path, char* rule, int capacity) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  const arbiter::Rule* decided = arbiter::DecidingRule(state.rules, View(path));
  CopyOut(decided ? "line " + std::to_string(decided->line) + ": " + decided->text : "", rule,
          capacity);
  return decided == nullptr || decided->allow ? 1 : 0;
}

int ArbiterRule(int index, char* text, int capacity) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  if (index < 0 || static_cast<std::size_t>(index) >= state.rules.size()) return -1;
  const arbiter::Rule& rule = state.rules[static_cast<std::size_t>(index)];
  CopyOut(rule.text, text, capacity);
  return rule.line;
}

void ArbiterSetRecording(int on) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  state.recording = on != 0;
}

int ArbiterQueryCount(void) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  return static_cast<int>(state.queries.size());
}

const ArbiterChar* ArbiterQuery(int index) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  if (index < 0 || static_cast<std::size_t>(index) >= state.queries.size()) return nullptr;
  return state.queries[static_cast<std::size_t>(index)].c_str();
}

void ArbiterClearQueries(void) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  state.queries.clear();
}

}  // extern "C"
