#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "visual/CaptureDevice.h"

namespace tavrelle::linux_platform {

// The capture renderer's device for the main window `window` on the display (empty:
// $DISPLAY). Called on the renderer thread.
std::unique_ptr<CaptureDevice> MakeX11CaptureDevice(const std::string& displayName,
                                                    uint64_t window);

}  // namespace tavrelle::linux_platform
