#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/chromium/BrowserCommandLine.h"
#include "platform/chromium/DevToolsClient.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle {
class IoEventLoop;
}  // namespace tavrelle

namespace tavrelle::chromium {

class BrowserProcess;
class DevToolsPipe;
class LaunchPageHold;

// One running browser and the DevTools connection to it. Notices at once when the
// browser dies or the connection breaks, and ends the browser in order when destroyed
// (a killed browser loses recently written saves).
class BrowserConnection {
 public:
  struct Failure {
    webview::ProcessFailedKind kind;
    std::string description;
  };
  using FailureHandler = std::function<void(const Failure&)>;

  // Launches the browser (from the main thread: the child's death signal is tied to
  // the launching thread). Nothing and a reason in `error` when it could not start.
  static std::unique_ptr<BrowserConnection> launch(IoEventLoop& loop,
                                                   const BrowserLaunchSettings& settings,
                                                   std::string& error);
  ~BrowserConnection();
  BrowserConnection(const BrowserConnection&) = delete;
  BrowserConnection& operator=(const BrowserConnection&) = delete;

  DevToolsClient& client() { return *client_; }
  // Called at most once, on the main thread, when the browser is lost.
  void setFailureHandler(FailureHandler handler) { onFailure_ = std::move(handler); }
  // The browser is about to end by itself (its last window closed): its exit is no failure.
  void expectExit() { exitExpected_ = true; }
  // The host's own first page has committed: the launch page's connection may fail now.
  void releaseLaunchPage();

  // Asks the browser to close (Browser.close), waits up to two seconds, then
  // terminates it, and kills it as the last resort. Blocks; idempotent.
  void close();

 private:
  BrowserConnection(IoEventLoop& loop, std::unique_ptr<LaunchPageHold> launchPage,
                    std::unique_ptr<BrowserProcess> process, int toBrowserFd, int fromBrowserFd);
  void watchProcess();
  void onProcessExited();
  void onConnectionClosed(const std::string& reason);
  void fail(webview::ProcessFailedKind kind, std::string description);

  IoEventLoop& loop_;
  std::unique_ptr<LaunchPageHold> launchPage_;
  std::unique_ptr<BrowserProcess> process_;
  std::unique_ptr<DevToolsPipe> pipe_;
  std::unique_ptr<DevToolsClient> client_;
  std::shared_ptr<bool> alive_;
  FailureHandler onFailure_;
  bool failed_ = false;
  bool closing_ = false;
  bool exitExpected_ = false;
};

}  // namespace tavrelle::chromium
