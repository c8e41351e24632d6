#include "support/XvfbSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/linux/ChildProcess.h"

namespace tavrelle::test {

namespace {

using Clock = std::chrono::steady_clock;
// Generous: a loaded two-core machine starting several servers and browsers at once.
constexpr auto kStartTimeout = std::chrono::seconds(60);
constexpr auto kWindowManagerTimeout = std::chrono::seconds(60);

pid_t Spawn(const std::vector<std::string>& argv, const std::string& display,
            std::vector<int> passed = {}) {
  return linux_platform::StartProgram(
      argv, {.quiet = true,
             .environment = linux_platform::EnvironmentWith({{"DISPLAY", display}}),
             .passedDescriptors = std::move(passed)});
}

// Reads the display number Xvfb writes once it accepts connections.
std::string ReadDisplayNumber(int fd) {
  std::string number;
  auto deadline = Clock::now() + kStartTimeout;
  while (Clock::now() < deadline) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 200) <= 0) continue;
    char c = 0;
    ssize_t got = read(fd, &c, 1);
    if (got <= 0) break;
    if (c == '\n') return number;
    number.push_back(c);
  }
  return {};
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
  if (pipe(fds) != 0) {
    error_ = "pipe failed";
    return false;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  std::string screen = std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
  // The write end becomes the server's descriptor 3.
  std::vector<std::string> arguments{"Xvfb", "-displayfd", "3",   "-screen", "0",
                                     screen, "-nolisten",  "tcp", "-noreset"};
  for (const std::string& extension : options.disabledExtensions) {
    arguments.insert(arguments.end(), {"-extension", extension});
  }
  server_ = Spawn(arguments, "", {fds[1]});
  close(fds[1]);
  if (server_ < 0) {
    close(fds[0]);
    error_ = "Xvfb could not be started";
    return false;
  }
  std::string number = ReadDisplayNumber(fds[0]);
  close(fds[0]);
  if (number.empty()) {
    error_ = "Xvfb did not report a display";
    return false;
  }
  display_ = ":" + number;
  return true;
}

bool XvfbSession::startWindowManager() {
  // A loaded machine can take many seconds to bring openbox up; should one never
  // take over the screen, a second one gets its chance.
  constexpr int kAttempts = 2;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (startWindowManagerOnce()) return true;
    linux_platform::StopProgram(windowManager_);
    windowManager_ = -1;
  }
  return false;
}

// Watches the root from before openbox starts, so no announcement can be missed, and
// waits on the server's events rather than on the clock.
bool XvfbSession::startWindowManagerOnce() {
  Display* watcher = XOpenDisplay(display_.c_str());
  if (watcher == nullptr) {
    error_ = "the display could not be opened";
    return false;
  }
  XSelectInput(watcher, DefaultRootWindow(watcher), PropertyChangeMask);
  XSync(watcher, False);
  windowManager_ = Spawn({"openbox", "--sm-disable"}, display_);
  bool ready = false;
  if (windowManager_ < 0) {
    error_ = "openbox could not be started";
  } else if (!waitForEvents(watcher, Clock::now() + kWindowManagerTimeout,
                            [&] { return windowManagerAnnounced(watcher); })) {
    error_ = "openbox did not take over the screen";
  } else if (!windowManagerShowsAWindow(watcher, Clock::now() + kWindowManagerTimeout)) {
    error_ = "openbox did not show a first window";
  } else {
    ready = true;
  }
  XCloseDisplay(watcher);
  return ready;
}

// Handles the server's events until the condition holds; false at the deadline or
// when the window manager has exited.
bool XvfbSession::waitForEvents(Display* display, Clock::time_point deadline,
                                const std::function<bool()>& condition,
                                const std::function<void(const XEvent&)>& onEvent) const {
  while (!condition()) {
    if (windowManager_ > 0 && waitpid(windowManager_, nullptr, WNOHANG) == windowManager_) {
      return false;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    // Wakes at least once a second to notice an exited window manager.
    pollfd pfd{ConnectionNumber(display), POLLIN, 0};
    if (XPending(display) == 0)
      poll(&pfd, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (onEvent) onEvent(event);
    }
  }
  return true;
}

// A window mapped while openbox is still starting can be lost: its map request is
// never answered, while a request made again is. So the request is repeated each
// second until a first window has been framed and mapped; the next ones appear at once.
bool XvfbSession::windowManagerShowsAWindow(Display* display, Clock::time_point deadline) const {
  XSetWindowAttributes attributes{};
  attributes.event_mask = StructureNotifyMask;
  Window probe = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWEventMask, &attributes);
  bool mapped = false;
  Clock::time_point nextRequest = Clock::now();
  bool shown = waitForEvents(
      display, deadline,
      [&] {
        if (!mapped && Clock::now() >= nextRequest) {
          XMapWindow(display, probe);
          XFlush(display);
          nextRequest = Clock::now() + std::chrono::seconds(1);
        }
        return mapped;
      },
      [&](const XEvent& event) {
        mapped = mapped || (event.type == MapNotify && event.xmap.window == probe);
      });
  XDestroyWindow(display, probe);
  XSync(display, False);
  return shown;
}

// The window manager has announced itself: it owns the screen's WM_S0 selection and
// has set _NET_SUPPORTING_WM_CHECK. (Asking for the root's substructure redirection
// ourselves to see whether it is taken would race with the manager taking it.)
bool XvfbSession::windowManagerAnnounced(Display* display) const {
  Atom selection = XInternAtom(display, "WM_S0", False);
  Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  bool announced =
      XGetSelectionOwner(display, selection) != None &&
      XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                         &format, &count, &after, &data) == Success &&
      data != nullptr && count == 1;
  if (data != nullptr) XFree(data);
  return announced;
}

}  // namespace tavrelle::test
