#include "visual/VisualHostingManager.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "visual/VisualFakes.h"

namespace tavrelle::test {
namespace {

using Line = std::pair<std::string, std::string>;
const Line kRegularMode{"[Visual Hosting] Successfully initialized regular visual mode", "normal"};

class VisualHostingManagerTest : public ::testing::Test {
 protected:
  std::unique_ptr<VisualHostingManager> make(bool useCapture) {
    VisualHostingSetup setup;
    setup.window = &window_;
    setup.pointer = &pointer_;
    setup.compositionController = composition_;
    setup.logToConsole = [this](const std::string& text, const std::string& level) {
      lines_.emplace_back(text, level);
    };
    setup.useCapture = useCapture;
    setup.makeCaptureDevice = [this](uint64_t) -> std::unique_ptr<CaptureDevice> {
      return std::make_unique<FakeCaptureDevice>(record_);
    };
    return std::make_unique<VisualHostingManager>(std::move(setup));
  }

  // Without frame: the client area is 800 x 600.
  FakeMainWindow window_{WindowOfOuterSize(800, 600, 0), nullptr, std::make_shared<CallLog>()};
  FakePointer pointer_;
  std::shared_ptr<FakeCompositionController> composition_ =
      std::make_shared<FakeCompositionController>();
  DeviceRecord record_;
  std::vector<Line> lines_;
};

TEST_F(VisualHostingManagerTest, ANewClientSizeReachesTheRendererAndAnEmptyOneDoesNot) {
  auto manager = make(true);
  manager->Init();
  window_.setClientRect(Rect{0, 0, 0, 0});
  manager->UpdateSize();
  window_.setClientRect(Rect{0, 0, 1024, 768});
  manager->UpdateSize();
  EXPECT_TRUE(record_.waitFor([&] { return !record_.resizes.empty(); }));
  EXPECT_EQ(record_.resizes.front(), (FrameSize{1024, 768}));
  EXPECT_EQ(composition_->controllerPart.bounds,
            (std::vector<Rect>{{0, 0, 800, 600}, {0, 0, 0, 0}, {0, 0, 1024, 768}}));
}

TEST_F(VisualHostingManagerTest, ARefusedCaptureTargetIsLoggedWithItsCodeThenRegularMode) {
  composition_->captureStatus = webview::kVisualNotSupported;
  auto manager = make(true);
  manager->Init();
  ASSERT_GE(lines_.size(), 3u);
  EXPECT_EQ(lines_.front(),
            (Line{"[Visual Hosting] Failed to set root visual target (-2147467263)", "error"}));
  // Renderer lines may come between, as the thread got on with its set-up.
  const Line fallback{
      "[Visual Hosting] Failed to initialize visual capture mode (-2147467263), "
      "reverting to regular visual mode",
      "error"};
  EXPECT_NE(std::find(lines_.begin(), lines_.end(), fallback), lines_.end());
  EXPECT_EQ(lines_.back(), kRegularMode);
  EXPECT_FALSE(manager->captureMode());
}

TEST_F(VisualHostingManagerTest, EveryQueuedRendererLineIsFlushed) {
  record_.resizeFailure = DeviceFailure{"Failed to resize back buffer pixmap (", 11};
  auto manager = make(true);
  manager->Init();
  lines_.clear();
  window_.setClientRect(Rect{0, 0, 640, 480});
  manager->UpdateSize();
  // The third try comes after the second one's line was queued.
  EXPECT_TRUE(record_.waitFor([&] { return record_.resizes.size() >= 3; }));
  manager->FlushRendererLog();
  ASSERT_GE(lines_.size(), 2u);
  for (const Line& line : lines_) {
    EXPECT_EQ(line, (Line{"[Renderer thread] Failed to resize back buffer pixmap (11)", "error"}));
  }
}

}  // namespace
}  // namespace tavrelle::test
