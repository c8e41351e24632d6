#include "platform/linux/X11Monitors.h"

#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tavrelle::linux_platform {

namespace {

int64_t IntersectionArea(Rect a, Rect b) {
  int64_t width = int64_t{std::min(a.right, b.right)} - std::max(a.left, b.left);
  int64_t height = int64_t{std::min(a.bottom, b.bottom)} - std::max(a.top, b.top);
  return (width > 0 && height > 0) ? width * height : 0;
}

// Squared distance between the two rectangles (0 when they touch or overlap).
int64_t DistanceSquared(Rect a, Rect b) {
  int64_t dx = std::max<int64_t>({0, int64_t{b.left} - a.right, int64_t{a.left} - b.right});
  int64_t dy = std::max<int64_t>({0, int64_t{b.top} - a.bottom, int64_t{a.top} - b.bottom});
  return dx * dx + dy * dy;
}

std::vector<Rect> FromMonitors(Display* display, Window root) {
  std::vector<Rect> rects;
  int count = 0;
  XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
  if (monitors == nullptr) return rects;
  for (int i = 0; i < count; ++i) {
    const XRRMonitorInfo& m = monitors[i];
    if (m.width > 0 && m.height > 0) rects.push_back(Rect{m.x, m.y, m.x + m.width, m.y + m.height});
  }
  XRRFreeMonitors(monitors);
  return rects;
}

std::vector<Rect> FromCrtcs(Display* display, Window root) {
  std::vector<Rect> rects;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
  if (resources == nullptr) return rects;
  for (int i = 0; i < resources->ncrtc; ++i) {
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[i]);
    if (crtc == nullptr) continue;
    if (crtc->mode != None && crtc->width > 0 && crtc->height > 0) {
      rects.push_back(Rect{crtc->x, crtc->y, crtc->x + static_cast<int32_t>(crtc->width),
                           crtc->y + static_cast<int32_t>(crtc->height)});
    }
    XRRFreeCrtcInfo(crtc);
  }
  XRRFreeScreenResources(resources);
  return rects;
}

}  // namespace

Rect ChooseMonitor(std::span<const Rect> monitors, Rect window, Rect screen) {
  if (monitors.empty()) return screen;
  const Rect* best = nullptr;
  int64_t bestArea = 0;
  for (const Rect& monitor : monitors) {
    int64_t area = IntersectionArea(monitor, window);
    if (area > bestArea) {
      bestArea = area;
      best = &monitor;
    }
  }
  if (best != nullptr) return *best;
  int64_t bestDistance = std::numeric_limits<int64_t>::max();
  for (const Rect& monitor : monitors) {
    int64_t distance = DistanceSquared(monitor, window);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = &monitor;
    }
  }
  return *best;
}

std::vector<Rect> QueryMonitorRects(Display* display, Window root) {
  int eventBase = 0;
  int errorBase = 0;
  if (!XRRQueryExtension(display, &eventBase, &errorBase)) return {};
  int major = 0;
  int minor = 0;
  if (!XRRQueryVersion(display, &major, &minor)) return {};
  std::vector<Rect> rects;
  if (major > 1 || (major == 1 && minor >= 5)) rects = FromMonitors(display, root);
  if (rects.empty() && (major > 1 || (major == 1 && minor >= 3))) rects = FromCrtcs(display, root);
  return rects;
}

}  // namespace tavrelle::linux_platform
