#pragma once

namespace tavrelle {

// The caption of the host's own message boxes (the runtime checks use the window title).
inline constexpr const char* kDefaultCaption = "Tavrelle";

}  // namespace tavrelle
