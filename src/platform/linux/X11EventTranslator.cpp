#include "platform/linux/X11EventTranslator.h"

#include <array>
#include <cmath>

namespace tavrelle::linux_platform {

namespace {

using Kind = MainWindowInput::Kind;

MainWindowInput ClassifyClientMessage(const XClientMessageEvent& message, const X11Atoms& atoms) {
  if (message.message_type != atoms.wmProtocols || message.format != 32) return {};
  auto protocol = static_cast<Atom>(message.data.l[0]);
  auto time = static_cast<Time>(message.data.l[1]);
  if (protocol == atoms.wmDeleteWindow) return {Kind::Close, time};
  if (protocol == atoms.wmTakeFocus) return {Kind::TakeFocus, time};
  return {};
}

// The focus arrived at the window itself, not at one of its children or by the pointer.
bool FocusReachedWindow(const XFocusChangeEvent& focus) {
  if (focus.mode == NotifyGrab || focus.mode == NotifyUngrab) return false;
  return focus.detail == NotifyAncestor || focus.detail == NotifyNonlinear ||
         focus.detail == NotifyInferior;
}

MainWindowInput ClassifyProperty(const XPropertyEvent& property, const X11Atoms& atoms) {
  if (property.atom == atoms.netWmState || property.atom == atoms.wmState) {
    return {Kind::StateChanged, property.time};
  }
  if (property.atom == atoms.netFrameExtents) return {Kind::FrameExtentsChanged, property.time};
  return {};
}

}  // namespace

MainWindowInput ClassifyMainWindowEvent(const XEvent& event, Window window, const X11Atoms& atoms) {
  switch (event.type) {
    case ClientMessage:
      if (event.xclient.window != window) return {};
      return ClassifyClientMessage(event.xclient, atoms);
    case DestroyNotify:
      if (event.xdestroywindow.window != window) return {};
      return {Kind::Destroyed, CurrentTime};
    case FocusIn:
      if (event.xfocus.window != window || !FocusReachedWindow(event.xfocus)) return {};
      return {Kind::FocusGained, CurrentTime};
    case ConfigureNotify:
      if (event.xconfigure.window != window) return {};
      return {Kind::GeometryChanged, CurrentTime};
    case MapNotify:
    case UnmapNotify:
    case ReparentNotify:
      // Mapping by the window manager and reparenting into a frame move the client area.
      if (event.xany.window != window) return {};
      return {Kind::GeometryChanged, CurrentTime};
    case PropertyNotify:
      if (event.xproperty.window != window) return {};
      return ClassifyProperty(event.xproperty, atoms);
    default:
      return {};
  }
}

std::vector<WindowEvent> GeometryChangeEvents(const ClientGeometry& reported,
                                              const ClientGeometry& now) {
  std::vector<WindowEvent> events;
  if (now.width != reported.width || now.height != reported.height ||
      now.sizeType != reported.sizeType) {
    WindowEvent size;
    size.kind = WindowEvent::Kind::Size;
    size.sizeType = now.sizeType;
    size.clientWidth = now.width;
    size.clientHeight = now.height;
    events.push_back(size);
  }
  if (now.x != reported.x || now.y != reported.y) {
    WindowEvent move;
    move.kind = WindowEvent::Kind::Move;
    events.push_back(move);
  }
  return events;
}

namespace {

AxisRange RangeOf(double min, double max, int32_t rootExtent) {
  if (max > min)
    return AxisRange{static_cast<int32_t>(std::lround(min)),
                     static_cast<int32_t>(std::lround(max))};
  return AxisRange{0, rootExtent};
}

// The whole units of movement so far; the rest stays in the fraction.
int32_t TakeWholeUnits(double& fraction, double amount) {
  const double total = fraction + amount;
  const double whole = std::trunc(total);
  fraction = total - whole;
  return static_cast<int32_t>(whole);
}

}  // namespace

std::optional<RawMouseSample> RawMouseSampleFrom(const XIRawEvent& event, const PointerAxes& axes,
                                                 RawAxisCarry& carry, Rect desktop) {
  std::array<std::optional<double>, 2> values;
  const double* value = event.raw_values;
  for (int axis = 0; axis < event.valuators.mask_len * 8; ++axis) {
    if (!XIMaskIsSet(event.valuators.mask, axis)) continue;
    // Values are packed: one per set bit, in axis order.
    const double amount = *value++;
    if (axis < 2) values[axis] = amount;
    if (axis >= 1) break;
  }
  if (!values[0] && !values[1]) return std::nullopt;
  RawMouseSample sample;
  if (!axes.absolute) {
    sample.x = TakeWholeUnits(carry.fractionX, values[0].value_or(0));
    sample.y = TakeWholeUnits(carry.fractionY, values[1].value_or(0));
    return sample;
  }
  if (values[0]) carry.lastX = *values[0];
  if (values[1]) carry.lastY = *values[1];
  sample.absolute = true;
  sample.virtualDesktop = true;
  sample.x = static_cast<int32_t>(std::lround(carry.lastX));
  sample.y = static_cast<int32_t>(std::lround(carry.lastY));
  sample.rangeX = RangeOf(axes.minX, axes.maxX, desktop.width());
  sample.rangeY = RangeOf(axes.minY, axes.maxY, desktop.height());
  return sample;
}

}  // namespace tavrelle::linux_platform
