#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "support/HostProcess.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {

// Page script that runs each new command the test writes to www/cmd.json (see
// StagedGame::command): "post" goes to the host through the page's `host`, "eval" runs.
inline constexpr const char* kCommandPoller = R"(
let lastSeq = 0;
async function poll() {
  try {
    const response = await fetch('cmd.json');
    if (response.ok) {
      const command = await response.json();
      if (command.seq > lastSeq) {
        lastSeq = command.seq;
        if (command.post) host.postMessage(JSON.stringify(command.post));
        if (command.eval) (0, eval)(command.eval);
      }
    }
  } catch (e) {}
  setTimeout(poll, 50);
}
poll();
)";

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
