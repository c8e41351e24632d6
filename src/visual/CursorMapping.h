#pragma once

#include <string_view>

#include "platform/MouseInput.h"

namespace tavrelle {

// The window cursor for a CSS cursor value. Keywords map to the nearest system cursor;
// "none" hides the cursor; an image cursor (url(...)) and anything unknown show the arrow,
// since the host shows no images as cursors.
[[nodiscard]] SystemCursor SystemCursorForCss(std::string_view cssCursor);

}  // namespace tavrelle
