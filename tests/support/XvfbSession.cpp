#include "support/XvfbSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include "platform/linux/ChildProcess.h"
#include "support/X11Probe.h"

namespace tavrelle::test {

namespace {

using Clock = std::chrono::steady_clock;
// Generous: a loaded two-core machine starting several servers and browsers at once.
constexpr auto kTimeout = std::chrono::seconds(60);

pid_t Spawn(const std::vector<std::string>& argv, const std::string& display,
            std::vector<int> passed = {}) {
  return linux_platform::StartProgram(
      argv, {.quiet = true,
             .environment = linux_platform::EnvironmentWith({{"DISPLAY", display}}),
             .passedDescriptors = std::move(passed)});
}

// Reads the display number Xvfb writes once it accepts connections.
std::string ReadDisplayNumber(int fd) {
  const auto deadline = Clock::now() + kTimeout;
  std::string number;
  pollfd pfd{fd, POLLIN, 0};
  char c = 0;
  while (Clock::now() < deadline) {
    if (poll(&pfd, 1, 200) <= 0) continue;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return number;
    number.push_back(c);
  }
  return {};
}

// Handles the server's events until the condition holds; false at the deadline or when
// the window manager has exited, which it notices by waking at least once a second.
bool WaitForEvents(Display* display, pid_t windowManager, const std::function<bool()>& condition) {
  const auto deadline = Clock::now() + kTimeout;
  while (!condition()) {
    if (Clock::now() > deadline || waitpid(windowManager, nullptr, WNOHANG) == windowManager) {
      return false;
    }
    pollfd pfd{ConnectionNumber(display), POLLIN, 0};
    if (XPending(display) == 0) poll(&pfd, 1, 1000);
    for (XEvent event; XPending(display) > 0;) XNextEvent(display, &event);
  }
  return true;
}

// The window manager has announced itself: it owns the screen's WM_S0 selection and has
// set _NET_SUPPORTING_WM_CHECK. (Asking for the root's substructure redirection ourselves
// to see whether it is taken would race with the manager taking it.)
bool WindowManagerAnnounced(const X11Probe& watcher) {
  return XGetSelectionOwner(watcher.display(), watcher.atom("WM_S0")) != None &&
         watcher.longs(watcher.root(), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).size() == 1;
}

// A window mapped while openbox is still starting can be lost: its map request is never
// answered, while a request made again is. So the request is repeated each second until
// a first window is on screen; the next ones appear at once.
bool WindowManagerShowsAWindow(const X11Probe& watcher, pid_t windowManager) {
  Display* display = watcher.display();
  const Window window = XCreateSimpleWindow(display, watcher.root(), 0, 0, 10, 10, 0, 0, 0);
  XSelectInput(display, window, StructureNotifyMask);
  auto nextRequest = Clock::now();
  const bool shown = WaitForEvents(display, windowManager, [&] {
    if (watcher.isViewable(window)) return true;
    if (Clock::now() >= nextRequest) {
      XMapWindow(display, window);
      XFlush(display);
      nextRequest = Clock::now() + std::chrono::seconds(1);
    }
    return false;
  });
  XDestroyWindow(display, window);
  XSync(display, False);
  return shown;
}

}  // namespace

XvfbSession::XvfbSession(Options options) {
  if (!startServer(options)) return;
  if (options.windowManager && !startWindowManager()) return;
  ready_ = true;
}

XvfbSession::~XvfbSession() {
  linux_platform::StopProgram(windowManager_);
  linux_platform::StopProgram(server_);
}

bool XvfbSession::startServer(const Options& options) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {  // the server gets the write end as its descriptor 3
    error_ = "pipe failed";
    return false;
  }
  std::string screen = std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
  std::vector<std::string> arguments{"Xvfb", "-displayfd", "3",   "-screen", "0",
                                     screen, "-nolisten",  "tcp", "-noreset"};
  for (const std::string& extension : options.disabledExtensions) {
    arguments.insert(arguments.end(), {"-extension", extension});
  }
  server_ = Spawn(arguments, "", {fds[1]});
  close(fds[1]);
  const std::string number = server_ < 0 ? "" : ReadDisplayNumber(fds[0]);
  close(fds[0]);
  if (number.empty()) {
    error_ = server_ < 0 ? "Xvfb could not be started" : "Xvfb did not report a display";
    return false;
  }
  display_ = ":" + number;
  return true;
}

// Watches the root from before openbox starts, so no announcement can be missed, and
// waits on the server's events rather than on the clock. A loaded machine can take many
// seconds to bring openbox up; should one never show a window, a second one gets its chance.
bool XvfbSession::startWindowManager() {
  const X11Probe watcher(display_);
  if (!watcher.connected()) {
    error_ = "the display could not be opened";
    return false;
  }
  XSelectInput(watcher.display(), watcher.root(), PropertyChangeMask);
  XSync(watcher.display(), False);
  for (int attempt = 0; attempt < 2; ++attempt) {
    windowManager_ = Spawn({"openbox", "--sm-disable"}, display_);
    if (windowManager_ < 0) {
      error_ = "openbox could not be started";
    } else if (!WaitForEvents(watcher.display(), windowManager_,
                              [&] { return WindowManagerAnnounced(watcher); })) {
      error_ = "openbox did not take over the screen";
    } else if (!WindowManagerShowsAWindow(watcher, windowManager_)) {
      error_ = "openbox did not show a first window";
    } else {
      return true;
    }
    linux_platform::StopProgram(windowManager_);
    windowManager_ = -1;
  }
  return false;
}

}  // namespace tavrelle::test
