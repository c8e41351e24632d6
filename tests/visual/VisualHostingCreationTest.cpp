#include <gtest/gtest.h>

#include "support/WebViewHostHarness.h"

namespace tavrelle::test {
namespace {

// The fake runtime offers no composition controller and the fake window no relay: the
// web view is created windowed, as on an old runtime, and nothing is relayed.
TEST(VisualHostingCreationTest, VisualModeWithoutCompositionFallsBackToAWindowedController) {
  WebViewHostHarness harness;
  harness.config.hostingMode = HostingMode::Visual;
  harness.config.useCapture = true;
  harness.createAndComplete();
  EXPECT_TRUE(harness.log->contains("environment.CreateController"));
  EXPECT_NE(harness.host().controller(), nullptr);
  EXPECT_EQ(harness.host().visualHostingManager(), nullptr);
  EXPECT_TRUE(harness.environmentVariables.empty());
}

}  // namespace
}  // namespace tavrelle::test
