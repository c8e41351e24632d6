#include "support/X11Probe.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
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

std::vector<unsigned char> X11Probe::property(Window window, const char* name, Atom type) const {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned char> bytes;
  if (XGetWindowProperty(display_, window, atom(name), 0, 1 << 20, False, type, &actual, &format,
                         &count, &after, &data) == Success &&
      data != nullptr) {
    bytes.assign(data, data + count * (format == 32 ? sizeof(long) : format / 8));
  }
  if (data != nullptr) XFree(data);
  return bytes;
}

std::vector<long> X11Probe::longs(Window window, const char* name, Atom type) const {
  auto bytes = property(window, name, type);
  std::vector<long> values(bytes.size() / sizeof(long));
  if (!values.empty()) std::memcpy(values.data(), bytes.data(), values.size() * sizeof(long));
  return values;
}

XWindowAttributes X11Probe::attributes(Window window) const {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display_, window, &attributes) == 0) attributes.map_state = -1;
  return attributes;
}

Window X11Probe::parentOf(Window window) const {
  Window root = None, parent = None, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return None;
  if (children != nullptr) XFree(children);
  return parent;
}

Window X11Probe::focus() const {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  return focus;
}

void X11Probe::clientMessage(Window target, Window window, const char* type,
                             std::array<long, 5> data, long mask) const {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = atom(type);
  event.xclient.format = 32;
  std::copy(data.begin(), data.end(), event.xclient.data.l);
  XSendEvent(display_, target, False, mask, &event);
  XFlush(display_);
}

std::optional<Window> X11Probe::search(Window parent, pid_t pid) {
  Window root = None, parentOut = None, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display_, parent, &root, &parentOut, &children, &count) == 0) return std::nullopt;
  // WM_CLASS holds the instance name and then the class name, each ending in a NUL.
  const std::string hostClass("\0Tavrelle\0", 10);
  std::optional<Window> found;
  for (unsigned int i = 0; i < count && !found; ++i) {
    const std::vector<unsigned char> wmClass = property(children[i], "WM_CLASS", XA_STRING);
    if (std::string(wmClass.begin(), wmClass.end()).ends_with(hostClass) &&
        longs(children[i], "_NET_WM_PID", XA_CARDINAL) == std::vector<long>{pid}) {
      found = children[i];
    }
    if (!found) found = search(children[i], pid);
  }
  if (children != nullptr) XFree(children);
  return found;
}

std::pair<int, int> X11Probe::clientOrigin(Window window) const {
  int x = 0, y = 0;
  Window child = None;
  XTranslateCoordinates(display_, window, root(), 0, 0, &x, &y, &child);
  return {x, y};
}

std::pair<int, int> X11Probe::pointer() const {
  Window rootOut = None, child = None;
  int x = 0, y = 0, windowX = 0, windowY = 0;
  unsigned int mask = 0;
  XQueryPointer(display_, root(), &rootOut, &child, &x, &y, &windowX, &windowY, &mask);
  return {x, y};
}

}  // namespace tavrelle::test
