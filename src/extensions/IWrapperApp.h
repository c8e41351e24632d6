#pragma once

// The interface the host hands to the extension-manager library, as its authors see
// it in the public header.
#include "tavrelle/Keelbridge.h"

namespace tavrelle {

using ::IWrapperApp;

}  // namespace tavrelle
