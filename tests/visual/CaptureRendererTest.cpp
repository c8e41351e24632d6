#include "visual/CaptureRenderer.h"

#include <gtest/gtest.h>

#include "visual/VisualFakes.h"

namespace tavrelle::test {
namespace {

using Entry = CaptureRenderer::LogEntry;

class CaptureRendererTest : public ::testing::Test {
 protected:
  void startAt(int32_t width, int32_t height) {
    renderer_.SetPendingSize(width, height);
    renderer_.Start();
  }
  // Starts and waits for the device; with a frame pool unless told otherwise.
  bool startReady(int32_t width, int32_t height, bool withPool = true) {
    startAt(width, height);
    if (renderer_.WaitForDevice() == nullptr) return false;
    if (withPool) {
      renderer_.SetFramePool(
          std::make_shared<const CaptureFramePool>(CaptureFramePool{7, FrameSize{800, 600}}));
    }
    return true;
  }
  void addFrame(int32_t width, int32_t height, bool hasSurface = true) {
    std::lock_guard guard(record_.lock);
    record_.frames.push_back(
        CapturedFrame{width, height, hasSurface,
                      FrameSize{static_cast<uint32_t>(width), static_cast<uint32_t>(height)}});
  }

  DeviceRecord record_;
  uint64_t madeFor_ = 0;
  CaptureRenderer renderer_{0x77, [this](uint64_t window) -> std::unique_ptr<CaptureDevice> {
                              madeFor_ = window;
                              return std::make_unique<FakeCaptureDevice>(record_);
                            }};
};

TEST_F(CaptureRendererTest, AStartWithoutSizeFailsItsSetUpAndEndsTheThread) {
  startAt(0, 0);
  EXPECT_EQ(renderer_.WaitForDevice(), nullptr);
  EXPECT_EQ(renderer_.WaitForDevice(), nullptr);  // a second wait returns at once
  EXPECT_TRUE(record_.waitFor([&] { return record_.destroyed; }));
  EXPECT_EQ(renderer_.TakeLogEntries(), (std::vector<Entry>{{"Failed to create (2)", "error"}}));
  renderer_.Stop();
}

// Its announcement is checked with the real display. Stopping before a start and twice
// is harmless.
TEST_F(CaptureRendererTest, TheDeviceIsMadeOnItsThreadForTheWindow) {
  renderer_.Stop();
  startAt(800, 600);
  EXPECT_NE(renderer_.WaitForDevice(), nullptr);
  EXPECT_EQ(madeFor_, 0x77u);
  renderer_.Stop();
  EXPECT_TRUE(record_.destroyed);
  renderer_.Stop();
  EXPECT_FALSE(renderer_.threadStarted());
}

TEST_F(CaptureRendererTest, AfterTheLastFrameEveryPassPresentsItAgain) {
  ASSERT_TRUE(startReady(800, 600));
  addFrame(800, 600);
  EXPECT_TRUE(record_.waitFor([&] { return record_.presents >= 5; }));
  renderer_.Stop();
  EXPECT_EQ(record_.copies.size(), 1u);
}

// Only what both the frame and the window cover is copied.
TEST_F(CaptureRendererTest, ACopyCoversTheSmallerOfFrameAndWindow) {
  ASSERT_TRUE(startReady(800, 600));
  renderer_.SetPendingSize(1024, 768);
  EXPECT_TRUE(record_.waitFor([&] { return !record_.resizes.empty(); }));
  addFrame(800, 600);
  EXPECT_TRUE(record_.waitFor([&] { return !record_.copies.empty(); }));
  addFrame(1280, 720);
  EXPECT_TRUE(record_.waitFor([&] { return record_.copies.size() == 2; }));
  renderer_.Stop();
  EXPECT_EQ(record_.resizes, (std::vector<FrameSize>{{1024, 768}}));
  EXPECT_EQ(record_.copies,
            (std::vector<std::pair<uint32_t, uint32_t>>{{800u, 600u}, {1024u, 720u}}));
}

TEST_F(CaptureRendererTest, FramesWithoutPixelsAreDropped) {
  ASSERT_TRUE(startReady(800, 600));
  addFrame(800, 600, false);
  addFrame(0, 600);
  EXPECT_TRUE(record_.waitFor([&] { return record_.frames.empty() && record_.clears >= 3; }));
  renderer_.Stop();
  EXPECT_TRUE(record_.copies.empty());
  EXPECT_EQ(record_.presents, 0);
}

// Before the first frame, and without a pool to take one from, each pass clears only.
TEST_F(CaptureRendererTest, WithoutAFramePoolEachPassClearsAndNoFrameIsAskedFor) {
  ASSERT_TRUE(startReady(800, 600, false));
  addFrame(800, 600);
  EXPECT_TRUE(record_.waitFor([&] { return record_.clears >= 3; }));
  renderer_.Stop();
  EXPECT_EQ(record_.passes, 0);
  EXPECT_EQ(record_.presents, 0);
}

TEST_F(CaptureRendererTest, AFailingResizeIsTriedAndLoggedOnEveryPass) {
  record_.resizeFailure = DeviceFailure{"Failed to resize back buffer pixmap (", 11};
  ASSERT_TRUE(startReady(800, 600, false));
  renderer_.TakeLogEntries();
  int clearsBefore = 0;
  renderer_.SetPendingSize(900, 700);
  EXPECT_TRUE(record_.waitFor([&] {
    clearsBefore = record_.clears;
    return record_.resizes.size() >= 2;
  }));
  EXPECT_TRUE(record_.waitFor([&] { return record_.resizes.size() >= 4; }));
  renderer_.Stop();
  const std::vector<Entry> entries = renderer_.TakeLogEntries();
  EXPECT_EQ(entries.size(), record_.resizes.size());
  EXPECT_EQ(entries.front(), (Entry{"Failed to resize back buffer pixmap (11)", "error"}));
  EXPECT_EQ(record_.clears, clearsBefore);  // no pass drew since
}

}  // namespace
}  // namespace tavrelle::test
