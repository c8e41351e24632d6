#pragma once

#include <string>

#include "runtime/RuntimeClient.h"

namespace tavrelle::linux_platform {
class PollEventLoop;
class BrowserWindowEmbedder;
}  // namespace tavrelle::linux_platform

namespace tavrelle::chromium {

struct ChromiumRuntimeOptions {
  bool headless = false;
  linux_platform::BrowserWindowEmbedder* embedder = nullptr;  // null: headless
};

// The client of a located Chromium-family browser: the runtime locator hands it the
// browser executable it found, and it creates environments that run that browser
// over its DevTools pipe.
class ChromiumRuntime final : public runtime::RuntimeClient {
 public:
  ChromiumRuntime(linux_platform::PollEventLoop& loop, ChromiumRuntimeOptions options);

  // The embedder exists only once the display is connected, after the runtime check;
  // environments created from then on adopt their browser window through it.
  void setEmbedder(linux_platform::BrowserWindowEmbedder* embedder) {
    options_.embedder = embedder;
  }

  // The executable must be one this process can start.
  runtime::HResult Load(const std::string& clientPath) override;
  // Every Chromium-family browser takes the DevTools pipe.
  [[nodiscard]] bool OffersEnvironmentCreation(const std::string& clientPath) const override;
  runtime::HResult CreateEnvironment(const runtime::ClientEnvironmentRequest& request,
                                     webview::EnvironmentCompletedHandler handler) override;

 private:
  linux_platform::PollEventLoop& loop_;
  ChromiumRuntimeOptions options_;
};

}  // namespace tavrelle::chromium
