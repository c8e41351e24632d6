#include "visual/CursorMapping.h"

#include <gtest/gtest.h>

namespace tavrelle {
namespace {

TEST(CursorMappingTest, KeywordsBecomeTheirSystemCursors) {
  EXPECT_EQ(SystemCursorForCss("pointer"), SystemCursor::Hand);
  EXPECT_EQ(SystemCursorForCss("text"), SystemCursor::IBeam);
  EXPECT_EQ(SystemCursorForCss("crosshair"), SystemCursor::Cross);
  EXPECT_EQ(SystemCursorForCss("move"), SystemCursor::SizeAll);
  EXPECT_EQ(SystemCursorForCss("wait"), SystemCursor::Wait);
  EXPECT_EQ(SystemCursorForCss("progress"), SystemCursor::AppStarting);
  EXPECT_EQ(SystemCursorForCss("not-allowed"), SystemCursor::No);
  EXPECT_EQ(SystemCursorForCss("grab"), SystemCursor::Grab);
  EXPECT_EQ(SystemCursorForCss("grabbing"), SystemCursor::Grabbing);
}

TEST(CursorMappingTest, TheResizeFamilyFollowsItsAxis) {
  EXPECT_EQ(SystemCursorForCss("ns-resize"), SystemCursor::SizeNS);
  EXPECT_EQ(SystemCursorForCss("row-resize"), SystemCursor::SizeNS);
  EXPECT_EQ(SystemCursorForCss("ew-resize"), SystemCursor::SizeWE);
  EXPECT_EQ(SystemCursorForCss("w-resize"), SystemCursor::SizeWE);
  EXPECT_EQ(SystemCursorForCss("nwse-resize"), SystemCursor::SizeNWSE);
  EXPECT_EQ(SystemCursorForCss("se-resize"), SystemCursor::SizeNWSE);
  EXPECT_EQ(SystemCursorForCss("nesw-resize"), SystemCursor::SizeNESW);
  EXPECT_EQ(SystemCursorForCss("sw-resize"), SystemCursor::SizeNESW);
}

TEST(CursorMappingTest, NoneHidesTheCursor) {
  EXPECT_EQ(SystemCursorForCss("none"), SystemCursor::Hidden);
  EXPECT_EQ(SystemCursorForCss(" NONE "), SystemCursor::Hidden);
}

TEST(CursorMappingTest, ImagesAndUnknownValuesShowTheArrow) {
  EXPECT_EQ(SystemCursorForCss("url(sword.png) 4 4, pointer"), SystemCursor::Arrow);
  EXPECT_EQ(SystemCursorForCss("URL(\"a.cur\"), auto"), SystemCursor::Arrow);
  EXPECT_EQ(SystemCursorForCss("image-set(\"a.png\" 1x), none"), SystemCursor::Arrow);
  EXPECT_EQ(SystemCursorForCss("pointerx"), SystemCursor::Arrow);
  EXPECT_EQ(SystemCursorForCss(""), SystemCursor::Arrow);
  EXPECT_EQ(SystemCursorForCss("Pointer"), SystemCursor::Hand);
}

}  // namespace
}  // namespace tavrelle
