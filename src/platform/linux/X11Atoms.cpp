#include "platform/linux/X11Atoms.h"

#include <array>

namespace tavrelle::linux_platform {

X11Atoms X11Atoms::intern(Display* display) {
  X11Atoms atoms;
  struct Entry {
    const char* name;
    Atom X11Atoms::*member;
  };
  static constexpr std::array kEntries{
      Entry{"WM_PROTOCOLS", &X11Atoms::wmProtocols},
      Entry{"WM_DELETE_WINDOW", &X11Atoms::wmDeleteWindow},
      Entry{"WM_TAKE_FOCUS", &X11Atoms::wmTakeFocus},
      Entry{"WM_STATE", &X11Atoms::wmState},
      Entry{"WM_CHANGE_STATE", &X11Atoms::wmChangeState},
      Entry{"UTF8_STRING", &X11Atoms::utf8String},
      Entry{"_NET_WM_NAME", &X11Atoms::netWmName},
      Entry{"_NET_WM_ICON", &X11Atoms::netWmIcon},
      Entry{"_NET_WM_PID", &X11Atoms::netWmPid},
      Entry{"_NET_WM_STATE", &X11Atoms::netWmState},
      Entry{"_NET_WM_STATE_MAXIMIZED_VERT", &X11Atoms::netWmStateMaximizedVert},
      Entry{"_NET_WM_STATE_MAXIMIZED_HORZ", &X11Atoms::netWmStateMaximizedHorz},
      Entry{"_NET_WM_STATE_HIDDEN", &X11Atoms::netWmStateHidden},
      Entry{"_NET_WM_STATE_FULLSCREEN", &X11Atoms::netWmStateFullscreen},
      Entry{"_NET_WM_BYPASS_COMPOSITOR", &X11Atoms::netWmBypassCompositor},
      Entry{"_NET_ACTIVE_WINDOW", &X11Atoms::netActiveWindow},
      Entry{"_NET_FRAME_EXTENTS", &X11Atoms::netFrameExtents},
      Entry{"_NET_REQUEST_FRAME_EXTENTS", &X11Atoms::netRequestFrameExtents},
      Entry{"_NET_SUPPORTING_WM_CHECK", &X11Atoms::netSupportingWmCheck},
      Entry{"_NET_CLIENT_LIST", &X11Atoms::netClientList},
      Entry{"_MOTIF_WM_HINTS", &X11Atoms::motifWmHints},
  };
  std::array<char*, kEntries.size()> names{};
  for (size_t i = 0; i < kEntries.size(); ++i) names[i] = const_cast<char*>(kEntries[i].name);
  std::array<Atom, kEntries.size()> values{};
  XInternAtoms(display, names.data(), static_cast<int>(names.size()), False, values.data());
  for (size_t i = 0; i < kEntries.size(); ++i) atoms.*(kEntries[i].member) = values[i];
  return atoms;
}

}  // namespace tavrelle::linux_platform
