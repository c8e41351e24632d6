#pragma once

#include <string>

#include "runtime/RuntimeClient.h"

namespace tavrelle {
class IoEventLoop;
class BrowserWindowEmbedder;
}  // namespace tavrelle

namespace tavrelle::chromium {

struct ChromiumRuntimeOptions {
  bool headless = false;
  BrowserWindowEmbedder* embedder = nullptr;  // null: headless
};

// The client of a located Chromium-family browser: the runtime locator hands it the
// browser executable it found, and it creates environments that run that browser
// over its DevTools pipe.
class ChromiumRuntime final : public runtime::RuntimeClient {
 public:
  ChromiumRuntime(IoEventLoop& loop, ChromiumRuntimeOptions options);

  // The embedder exists only once the display is connected, after the runtime check;
  // environments created from then on adopt their browser window through it.
  void setEmbedder(BrowserWindowEmbedder* embedder) { options_.embedder = embedder; }

  // The executable must be one this process can start.
  runtime::HResult Load(const std::string& clientPath) override;
  // Every Chromium-family browser takes the DevTools pipe.
  [[nodiscard]] bool OffersEnvironmentCreation(const std::string& clientPath) const override;
  runtime::HResult CreateEnvironment(const runtime::ClientEnvironmentRequest& request,
                                     webview::EnvironmentCompletedHandler handler) override;

 private:
  IoEventLoop& loop_;
  ChromiumRuntimeOptions options_;
};

}  // namespace tavrelle::chromium
