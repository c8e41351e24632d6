#include "support/X11Probe.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstring>
#include <thread>

namespace tavrelle::test {

namespace {

// Windows come and go while the probe walks the tree; a window that vanished between
// two requests is simply not there.
int IgnoreVanishedWindows(Display*, XErrorEvent*) { return 0; }

}  // namespace

X11Probe::X11Probe(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
  XSetErrorHandler(IgnoreVanishedWindows);
}

X11Probe::~X11Probe() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

bool X11Probe::waitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (predicate()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return predicate();
}

std::optional<long> X11Probe::cardinal(Window window, const char* property) {
  Atom atom = XInternAtom(display_, property, False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::optional<long> value;
  if (XGetWindowProperty(display_, window, atom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr && count == 1 && format == 32) {
    value = *reinterpret_cast<long*>(data);
  }
  if (data != nullptr) XFree(data);
  return value;
}

std::optional<Window> X11Probe::search(Window parent, pid_t pid) {
  Window root = 0;
  Window parentOut = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display_, parent, &root, &parentOut, &children, &count) == 0) return std::nullopt;
  std::optional<Window> found;
  for (unsigned int i = 0; i < count && !found; ++i) {
    XClassHint hint{};
    if (XGetClassHint(display_, children[i], &hint) != 0) {
      bool isHost = hint.res_class != nullptr && std::strcmp(hint.res_class, "Tavrelle") == 0;
      XFree(hint.res_name);
      XFree(hint.res_class);
      if (isHost && cardinal(children[i], "_NET_WM_PID") == pid) found = children[i];
    }
    if (!found) found = search(children[i], pid);
  }
  if (children != nullptr) XFree(children);
  return found;
}

std::optional<Window> X11Probe::findHostWindow(pid_t pid) {
  XSync(display_, False);
  return search(DefaultRootWindow(display_), pid);
}

Window X11Probe::waitForHostWindow(pid_t pid) {
  std::optional<Window> window;
  waitFor([&] { return (window = findHostWindow(pid)).has_value(); });
  return window.value_or(0);
}

bool X11Probe::waitForTitle(Window window, const std::string& expected) {
  return waitFor([&] { return title(window) == expected; });
}

bool X11Probe::isViewable(Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

std::string X11Probe::title(Window window) {
  Atom name = XInternAtom(display_, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string text;
  if (XGetWindowProperty(display_, window, name, 0, 4096, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    text.assign(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  return text;
}

std::pair<int, int> X11Probe::clientSize(Window window) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display_, window, &attributes);
  return {attributes.width, attributes.height};
}

std::pair<int, int> X11Probe::screenSize() {
  return {DisplayWidth(display_, DefaultScreen(display_)),
          DisplayHeight(display_, DefaultScreen(display_))};
}

}  // namespace tavrelle::test
