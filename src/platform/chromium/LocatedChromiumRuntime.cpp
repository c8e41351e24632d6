#include "platform/chromium/LocatedChromiumRuntime.h"

namespace tavrelle::chromium {

LocatedChromiumRuntime::LocatedChromiumRuntime(IoEventLoop& loop, ChromiumRuntimeOptions options)
    : client_(loop, options), ports_(loop), locator_(ports_.ports(), client_) {}

}  // namespace tavrelle::chromium
