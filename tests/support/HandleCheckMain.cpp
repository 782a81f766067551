// main() for the Linux test programs: runs the tests and fails the program when a test leaves a
// different number of open winsim handles of any kind than it found.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "winsim/Control.h"

namespace {

constexpr std::array kKinds = {winsim::HandleKind::Device, winsim::HandleKind::ServiceManager,
                               winsim::HandleKind::Service, winsim::HandleKind::Thread};
constexpr std::array kKindNames = {"device", "service manager", "service", "thread"};

std::array<int, kKinds.size()> OpenHandles() {
  std::array<int, kKinds.size()> counts{};
  for (std::size_t i = 0; i < kKinds.size(); ++i) counts[i] = winsim::OpenHandleCount(kKinds[i]);
  return counts;
}

class HandleCountCheck : public testing::EmptyTestEventListener {
 public:
  bool leaked = false;

 private:
  void OnTestStart(const testing::TestInfo&) override { before_ = OpenHandles(); }
  void OnTestEnd(const testing::TestInfo& test) override {
    const auto after = OpenHandles();
    for (std::size_t i = 0; i < kKinds.size(); ++i) {
      if (after[i] == before_[i]) continue;
      leaked = true;
      std::fprintf(stderr, "HANDLE CHECK FAILED: %s.%s: open %s handles %d before, %d after\n",
                   test.test_suite_name(), test.name(), kKindNames[i], before_[i], after[i]);
    }
  }
  std::array<int, kKinds.size()> before_{};
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  auto* check = new HandleCountCheck;  // owned by the listener list
  testing::UnitTest::GetInstance()->listeners().Append(check);
  const int result = RUN_ALL_TESTS();
  return result != 0 || check->leaked ? 1 : 0;
}
