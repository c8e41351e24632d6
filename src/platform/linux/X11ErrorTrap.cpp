#include "platform/linux/X11ErrorTrap.h"

#include <mutex>

namespace tavrelle::linux_platform {

namespace {

struct TrapState {
  Display* display = nullptr;
  int firstError = 0;
};

thread_local TrapState tTrap;
XErrorHandler gPreviousHandler = nullptr;
std::once_flag gInstalled;

int TrappingHandler(Display* display, XErrorEvent* error) {
  if (tTrap.display == display) {
    if (tTrap.firstError == 0) tTrap.firstError = error->error_code;
    return 0;
  }
  return gPreviousHandler != nullptr ? gPreviousHandler(display, error) : 0;
}

}  // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display) {
  std::call_once(gInstalled, [] { gPreviousHandler = XSetErrorHandler(TrappingHandler); });
  tTrap = TrapState{display, 0};
}

X11ErrorTrap::~X11ErrorTrap() { tTrap = TrapState{}; }

int X11ErrorTrap::sync() {
  XSync(display_, False);
  return take();
}

int X11ErrorTrap::take() {
  const int error = tTrap.firstError;
  tTrap.firstError = 0;
  return error;
}

}  // namespace tavrelle::linux_platform
