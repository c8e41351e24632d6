#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "support/HostProcess.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {

// A suite of whole-host tests sharing one private display (with or without a window
// manager); each test stages its own game beside a copy of the host (end-to-end only).
template <bool kWindowManager, int kWidth = 1280, int kHeight = 1024>
class HostOnDisplayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    display_ =
        std::make_unique<XvfbSession>(XvfbSession::Options{kWindowManager, kWidth, kHeight, {}});
  }
  static void TearDownTestSuite() { display_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(display_->ready()) << display_->error();
    probe_ = std::make_unique<X11Probe>(display_->display());
    ASSERT_TRUE(probe_->connected());
  }

  static inline std::unique_ptr<XvfbSession> display_;
  std::unique_ptr<X11Probe> probe_;
  StagedGame game_{TAVRELLE_HOST};
};

}  // namespace tavrelle::test
