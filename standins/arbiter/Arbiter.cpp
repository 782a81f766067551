#include "Arbiter.h"

#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "Policy.h"
#include "StandinMutex.h"

namespace {

static_assert(sizeof(ArbiterChar) == sizeof(char16_t), "paths are UTF-16");

// The scanner is called from the module's pump while a host or test thread changes the policy.
struct State {
  StandinMutex lock;
  std::vector<arbiter::Rule> rules;
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

int ApplyPolicy(const std::string& text) {
  auto rules = arbiter::ParsePolicy(text);
  if (!rules) return -1;
  State& state = TheState();
  std::lock_guard guard(state.lock);
  state.rules = std::move(*rules);
  return static_cast<int>(state.rules.size());
}

// Reads the policy named by ARBITER_POLICY_FILE when the library is loaded.
[[maybe_unused]] const bool policyFromEnvironment = [] {
  const char* file = std::getenv("ARBITER_POLICY_FILE");
  return file != nullptr && ArbiterLoadPolicyFile(file) >= 0;
}();

}  // namespace

bool CGuardHelper::VtAllowExecution(const ArbiterChar* path) {
  State& state = TheState();
  const std::basic_string_view<ArbiterChar> text =
      path ? path : reinterpret_cast<const ArbiterChar*>(u"");
  ArbiterHook hook;
  void* context;
  bool allowed;
  {
    std::lock_guard guard(state.lock);
    if (state.recording) state.queries.emplace_back(text);
    hook = state.hook;
    context = state.hookContext;
    allowed = arbiter::Allows(
        state.rules,
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
  }
  // The hook runs outside the lock: it may throw or take its time, as a real scanner may.
  return hook ? hook(text.data(), context) : allowed;
}

extern "C" {

int ArbiterSetPolicy(const char* rules) {
  return ApplyPolicy(rules ? rules : "");
}

int ArbiterLoadPolicyFile(const char* fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return -1;
  return ApplyPolicy(std::string(std::istreambuf_iterator<char>(in), {}));
}

void ArbiterSetHook(ArbiterHook hook, void* context) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  state.hook = hook;
  state.hookContext = context;
}

int ArbiterEvaluate(const ArbiterChar* path) {
  State& state = TheState();
  std::lock_guard guard(state.lock);
  return arbiter::Allows(state.rules, path ? reinterpret_cast<const char16_t*>(path) : u"") ? 1 : 0;
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
