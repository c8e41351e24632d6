#pragma once

#include <map>
#include <optional>
#include <string>

#include "webview/WebViewRuntime.h"

namespace tavrelle {
class IoEventLoop;
class BrowserWindowEmbedder;
}  // namespace tavrelle

namespace tavrelle::chromium {

struct ChromiumRuntimeOptions {
  bool headless = false;
  BrowserWindowEmbedder* embedder = nullptr;  // null: headless
  std::string appFolder;                      // relative fixed runtime folders are found here
};

// The web view runtime of the Linux host: an installed Chromium-family browser (or a
// fixed copy in a folder), driven over its DevTools pipe.
class ChromiumRuntime final : public webview::WebViewRuntime {
 public:
  ChromiumRuntime(IoEventLoop& loop, ChromiumRuntimeOptions options);

  // Runs the browser once with --product-version; the answer is kept for the process.
  [[nodiscard]] std::optional<std::string> GetAvailableBrowserVersionString(
      const std::optional<std::string>& browserExecutableFolder) override;

  // The embedder exists only once the display is connected, after the runtime check;
  // environments created from then on adopt their browser window through it.
  void setEmbedder(BrowserWindowEmbedder* embedder) { options_.embedder = embedder; }

  void CreateEnvironmentWithOptions(const std::optional<std::string>& browserExecutableFolder,
                                    const std::string& userDataFolder,
                                    const webview::EnvironmentOptions& options,
                                    webview::EnvironmentCompletedHandler handler) override;

 private:
  struct Located {
    std::string executable;
    std::string version;
  };
  std::optional<Located> locate(const std::optional<std::string>& browserExecutableFolder);

  IoEventLoop& loop_;
  ChromiumRuntimeOptions options_;
  std::map<std::string, std::string> versions_;  // by executable
};

}  // namespace tavrelle::chromium
