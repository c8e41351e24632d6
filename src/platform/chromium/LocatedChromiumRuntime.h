#pragma once

#include "platform/IoEventLoop.h"
#include "platform/chromium/ChromiumRuntime.h"
#include "platform/linux/PosixLocatorPorts.h"
#include "runtime/RuntimeLocator.h"

namespace tavrelle::chromium {

// The host's web view runtime on Linux: the runtime locator over this machine's ports,
// in front of the Chromium client it calls once it has found a browser.
class LocatedChromiumRuntime {
 public:
  LocatedChromiumRuntime(IoEventLoop& loop, ChromiumRuntimeOptions options);

  [[nodiscard]] runtime::RuntimeLocator& locator() { return locator_; }
  [[nodiscard]] ChromiumRuntime& client() { return client_; }

 private:
  ChromiumRuntime client_;
  linux_platform::LinuxLocatorPorts ports_;
  runtime::RuntimeLocator locator_;
};

}  // namespace tavrelle::chromium
