#include "platform/linux/X11StyleMapping.h"

#include <gtest/gtest.h>

namespace tavrelle::linux_platform {
namespace {

namespace ws = window_style;
using H = MotifWmHints;

TEST(X11StyleMapping, OverlappedWindowHasEverything) {
  MotifWmHints hints = MotifHintsForStyle(0x00CF0000);
  EXPECT_EQ(hints.flags, H::kFlagFunctions | H::kFlagDecorations);
  EXPECT_EQ(hints.functions,
            H::kFuncMove | H::kFuncClose | H::kFuncResize | H::kFuncMinimize | H::kFuncMaximize);
  EXPECT_TRUE(IsResizableStyle(0x00CF0000));
}

TEST(X11StyleMapping, FixedSizeCaptionHasNoResizeNorMaximize) {
  MotifWmHints hints = MotifHintsForStyle(0x00CA0000);
  EXPECT_EQ(hints.functions, H::kFuncMove | H::kFuncClose | H::kFuncMinimize);
  EXPECT_EQ(hints.decorations,
            H::kDecorBorder | H::kDecorTitle | H::kDecorMenu | H::kDecorMinimize);
  EXPECT_FALSE(IsResizableStyle(0x00CA0000));
}

// No caption, a fullscreen style or the border bit alone: no decorations.
TEST(X11StyleMapping, WithoutAWholeCaptionThereAreNoDecorations) {
  uint32_t fullscreen = (0x00CF0000 | ws::kVisible | ws::kMaximize) & ~0x00C40000u;
  EXPECT_EQ(MotifHintsForStyle(0).functions, H::kFuncMove | H::kFuncClose);
  for (uint32_t style : {0u, fullscreen, 0x00800000u}) {
    EXPECT_EQ(MotifHintsForStyle(style).decorations, 0u) << style;
  }
  EXPECT_FALSE(IsResizableStyle(fullscreen));
}

TEST(X11FrameExtents, GrowAndShrinkAreInverse) {
  FrameExtents frame{4, 5, 23, 6};
  Rect client{100, 200, 900, 800};
  Rect outer = GrowByFrame(client, frame);
  EXPECT_EQ(outer, (Rect{96, 177, 905, 806}));
  EXPECT_EQ(ShrinkByFrame(outer, frame), client);
}

TEST(X11WindowState, SizeTypes) {
  EXPECT_EQ(SizeTypeForState({}), SizeType::Restored);
  EXPECT_EQ(SizeTypeForState({.maximizedVert = true, .maximizedHorz = true}), SizeType::Maximized);
  EXPECT_EQ(SizeTypeForState({.maximizedVert = true}), SizeType::Restored);
  EXPECT_EQ(SizeTypeForState({.iconic = true}), SizeType::Minimized);
  // Minimized wins over maximized, as a minimized maximized window reports.
  EXPECT_EQ(SizeTypeForState({.maximizedVert = true, .maximizedHorz = true, .iconic = true}),
            SizeType::Minimized);
}

}  // namespace
}  // namespace tavrelle::linux_platform
