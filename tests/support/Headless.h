#pragma once
// What every test with windows stands on: a window system that starts from nothing on the
// headless presenter, on the machine's clock, and is taken down after the test. Tests
// above the platform layer add the application object (HeadlessApplication.h).
#include <gtest/gtest.h>

#include "platform/clock/Clock.h"
#include "platform/window/Headless.h"
#include "platform/window/Window.h"

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallClock(nullptr);
    ResetWindowSystem();
    UseHeadlessPresenter();
  }
  void TearDown() override {
    InstallClock(nullptr);
    ResetWindowSystem();
  }
};
