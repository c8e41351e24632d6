#include "platform/chromium/LocatedChromiumRuntime.h"

#include "platform/linux/PollEventLoop.h"

namespace tavrelle::chromium {

LocatedChromiumRuntime::LocatedChromiumRuntime(linux_platform::PollEventLoop& loop,
                                               ChromiumRuntimeOptions options)
    : client_(loop, options), ports_(loop), locator_(ports_.ports(), client_) {}

}  // namespace tavrelle::chromium
