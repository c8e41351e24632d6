#include "platform/chromium/BrowserConnection.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/Files.h"
#include "platform/chromium/BrowserProcess.h"
#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/DevToolsPipe.h"
#include "platform/chromium/LaunchPageHold.h"
#include "platform/IoEventLoop.h"

namespace tavrelle::chromium {

namespace {

constexpr auto kCloseGrace = std::chrono::seconds(2);
constexpr auto kTerminateGrace = std::chrono::seconds(2);
// After the pipe closes, how long the browser may take to exit before the loss
// counts as a broken connection rather than an exit.
constexpr auto kExitAfterPipeClosed = std::chrono::milliseconds(500);

// The profile folder with the preferences that keep the browser off the network,
// written only when the profile has none yet.
bool prepareProfile(const std::string& userDataFolder, std::string& error) {
  std::filesystem::path defaultProfile = std::filesystem::path(userDataFolder) / "Default";
  if (auto failure = CreatePrivateFolders(defaultProfile.string())) {
    error = "could not create the user data folder " + userDataFolder + ": " + *failure;
    return false;
  }
  std::error_code failure;
  auto preferences = defaultProfile / "Preferences";
  if (std::filesystem::exists(preferences, failure)) return true;
  std::ofstream out(preferences, std::ios::binary);
  out << quirks::kPreferencesSeed;
  if (!out) {
    error = "could not write " + preferences.string();
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<BrowserConnection> BrowserConnection::launch(IoEventLoop& loop,
                                                             const BrowserLaunchSettings& settings,
                                                             std::string& error) {
  if (!prepareProfile(settings.userDataFolder, error)) return nullptr;
  auto logPath = (std::filesystem::path(settings.userDataFolder) / "browser.log").string();
  auto launchPage = std::make_unique<LaunchPageHold>(loop);
  BrowserLaunchSettings held = settings;
  held.appHostPort = launchPage->port();
  auto launched = BrowserProcess::launch(browserCommandLine(held), logPath);
  if (!launched.process) {
    error = launched.error;
    return nullptr;
  }
  return std::unique_ptr<BrowserConnection>(
      new BrowserConnection(loop, std::move(launchPage), std::move(launched.process),
                            launched.toBrowserFd, launched.fromBrowserFd));
}

BrowserConnection::BrowserConnection(IoEventLoop& loop, std::unique_ptr<LaunchPageHold> launchPage,
                                     std::unique_ptr<BrowserProcess> process, int toBrowserFd,
                                     int fromBrowserFd)
    : loop_(loop),
      launchPage_(std::move(launchPage)),
      process_(std::move(process)),
      pipe_(std::make_unique<DevToolsPipe>(loop, toBrowserFd, fromBrowserFd)),
      client_(std::make_unique<DevToolsClient>(*pipe_)),
      alive_(std::make_shared<bool>(true)) {
  client_->onClosed([this](const std::string& reason) { onConnectionClosed(reason); });
  watchProcess();
}

BrowserConnection::~BrowserConnection() { close(); }

void BrowserConnection::releaseLaunchPage() { launchPage_->release(); }

void BrowserConnection::watchProcess() {
  if (process_->exitFd() < 0) return;  // no process fds: the pipe's end tells instead
  loop_.watchReadable(process_->exitFd(), [this] { onProcessExited(); });
}

void BrowserConnection::onProcessExited() {
  loop_.unwatch(process_->exitFd());
  process_->pollExited();
  if (closing_) return;
  fail(webview::ProcessFailedKind::BrowserProcessExited,
       "the browser process " + process_->exitDescription());
}

void BrowserConnection::onConnectionClosed(const std::string& reason) {
  if (closing_ || failed_) return;
  if (process_->pollExited()) {
    onProcessExited();
    return;
  }
  // The browser usually exits right after its pipe closes: give it a moment, so the
  // failure is reported as what it is.
  std::weak_ptr<bool> alive = alive_;
  loop_.addTimer(kExitAfterPipeClosed, false, [this, alive, reason] {
    if (!alive.lock() || closing_ || failed_) return;
    if (process_->pollExited()) {
      onProcessExited();
      return;
    }
    fail(webview::ProcessFailedKind::ConnectionLost, "the DevTools connection broke: " + reason);
    process_->signal(SIGTERM);  // a browser the host cannot drive is of no use
  });
}

void BrowserConnection::fail(webview::ProcessFailedKind kind, std::string description) {
  if (failed_) return;
  failed_ = true;
  if (exitExpected_ && kind == webview::ProcessFailedKind::BrowserProcessExited) {
    std::fprintf(stderr, "tavrelle: the browser ended after its window closed (%s)\n",
                 description.c_str());
    return;
  }
  std::fprintf(stderr, "tavrelle: %s\n", description.c_str());
  if (onFailure_) onFailure_(Failure{kind, std::move(description)});
}

void BrowserConnection::close() {
  if (closing_) return;
  closing_ = true;
  if (process_->exitFd() >= 0) loop_.unwatch(process_->exitFd());
  if (!process_->pollExited()) {
    if (!client_->closed()) client_->send("Browser.close", Json::object());
    if (!process_->waitForExit(kCloseGrace)) {
      std::fprintf(stderr, "tavrelle: the browser did not close in time; terminating it\n");
      process_->signal(SIGTERM);
      if (!process_->waitForExit(kTerminateGrace)) {
        std::fprintf(stderr, "tavrelle: the browser did not terminate; killing it\n");
        process_->signal(SIGKILL);
        process_->waitForExit(kTerminateGrace);
      }
    }
  }
  client_.reset();
  pipe_.reset();
  alive_.reset();
}

}  // namespace tavrelle::chromium
