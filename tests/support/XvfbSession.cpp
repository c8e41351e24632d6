#include "support/XvfbSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "platform/linux/ChildProcess.h"

namespace tavrelle::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartTimeout = std::chrono::seconds(30);

pid_t Spawn(const std::vector<std::string>& argv, const std::string& display,
            std::vector<int> passed = {}) {
  return linux_platform::StartProgram(
      argv, {.quiet = true,
             .environment = linux_platform::EnvironmentWith({{"DISPLAY", display}}),
             .passedDescriptors = std::move(passed)});
}

void Stop(pid_t pid) { linux_platform::StopProgram(pid); }

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

XvfbSession::XvfbSession() : XvfbSession(Options{}) {}

XvfbSession::XvfbSession(Options options) {
  if (!startServer(options)) return;
  if (options.windowManager && !startWindowManager()) return;
  ready_ = true;
}

XvfbSession::~XvfbSession() {
  Stop(windowManager_);
  Stop(server_);
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
  server_ =
      Spawn({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, "",
            {fds[1]});
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
  // Now and then a freshly started openbox takes over the screen but never shows the
  // windows mapped next; a restarted one does. Give it a few chances.
  constexpr int kAttempts = 4;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (startWindowManagerOnce()) return true;
    Stop(windowManager_);
    windowManager_ = -1;
  }
  return false;
}

bool XvfbSession::startWindowManagerOnce() {
  windowManager_ = Spawn({"openbox", "--sm-disable"}, display_);
  if (windowManager_ < 0) {
    error_ = "openbox could not be started";
    return false;
  }
  auto deadline = Clock::now() + kStartTimeout;
  while (!windowManagerAnnounced()) {
    if (Clock::now() > deadline) {
      error_ = "openbox did not take over the screen";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!windowManagerShowsAWindow(Clock::now() + std::chrono::seconds(3))) {
    error_ = "openbox did not show a first window";
    return false;
  }
  return true;
}

// Right after taking over the screen openbox may still hold new windows back; once a
// first window has been framed and shown, the next ones appear at once.
bool XvfbSession::windowManagerShowsAWindow(std::chrono::steady_clock::time_point deadline) const {
  Display* display = XOpenDisplay(display_.c_str());
  if (display == nullptr) return false;
  Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
  XMapWindow(display, probe);
  bool shown = false;
  while (!shown && Clock::now() < deadline) {
    XWindowAttributes attributes{};
    shown = XGetWindowAttributes(display, probe, &attributes) && attributes.map_state == IsViewable;
    if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  XDestroyWindow(display, probe);
  XCloseDisplay(display);
  return shown;
}

// The window manager has announced itself: it owns the screen's WM_S0 selection and
// has set _NET_SUPPORTING_WM_CHECK. (Asking for the root's substructure redirection
// ourselves to see whether it is taken would race with the manager taking it.)
bool XvfbSession::windowManagerAnnounced() const {
  Display* display = XOpenDisplay(display_.c_str());
  if (display == nullptr) return false;
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
  XCloseDisplay(display);
  return announced;
}

}  // namespace tavrelle::test
