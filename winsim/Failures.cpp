// Call accounting and failure injection: each simulated API counts its calls and can be told
// to fail a number of them, after letting some pass.
#include <array>
#include <mutex>

#include "winsim/Calls.h"

namespace winsim::detail {
namespace {

constexpr std::size_t kApis = static_cast<std::size_t>(Api::Count);

struct Plan {
  DWORD error = ERROR_SUCCESS;
  int skip = 0;   // calls still to pass before failing
  int count = 0;  // calls still to fail
};

std::mutex g_mutex;
std::array<int, kApis> g_calls{};
std::array<Plan, kApis> g_plans{};

std::size_t Index(Api api) {
  return static_cast<std::size_t>(api);
}

}  // namespace

std::optional<DWORD> CountCall(Api api) {
  std::lock_guard lock(g_mutex);
  ++g_calls[Index(api)];
  Plan& plan = g_plans[Index(api)];
  if (plan.count <= 0) return std::nullopt;
  if (plan.skip > 0) {
    --plan.skip;
    return std::nullopt;
  }
  --plan.count;
  return plan.error;
}

void ResetFailures() {
  std::lock_guard lock(g_mutex);
  g_calls.fill(0);
  g_plans.fill(Plan{});
}

}  // namespace winsim::detail

namespace winsim {

void FailCall(Api api, DWORD error, int count, int skip) {
  std::lock_guard lock(detail::g_mutex);
  detail::g_plans[detail::Index(api)] = {error, skip, count};
}

void ClearFailures() {
  std::lock_guard lock(detail::g_mutex);
  detail::g_plans.fill(detail::Plan{});
}

int CallCount(Api api) {
  std::lock_guard lock(detail::g_mutex);
  return detail::g_calls[detail::Index(api)];
}

}  // namespace winsim
