#include "visual/CursorMapping.h"

#include <gtest/gtest.h>

namespace tavrelle {
namespace {

TEST(CursorMappingTest, CssValuesBecomeTheirSystemCursors) {
  using enum SystemCursor;
  const std::vector<std::pair<const char*, SystemCursor>> cases = {
      {"pointer", Hand},
      {" NONE ", Hidden},
      // Images and unknown values show the arrow, whatever fallback follows an image.
      {"url(sword.png) 4 4, pointer", Arrow},
      {"image-set(\"a.png\" 1x), none", Arrow},
      {"pointerx", Arrow},
      {"", Arrow}};
  for (const auto& [css, cursor] : cases) EXPECT_EQ(SystemCursorForCss(css), cursor) << css;
}

}  // namespace
}  // namespace tavrelle
