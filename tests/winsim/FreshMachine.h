#pragma once
// The fixture of the winsim tests: each test starts and ends on a fresh simulated machine.
#include <gtest/gtest.h>

#include "winsim/Control.h"

class FreshMachine : public testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { winsim::Reset(); }
};
