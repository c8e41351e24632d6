// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "platform/linux/X11EventTranslator.h"

#include <array>

namespace tavrelle::linux_platform {
namespace {

using Kind = MainWindowInput::Kind;
constexpr Window kWindow = 0x400001;
constexpr Window kOther = 0x400099;

X11Atoms TestAtoms() {
  X11Atoms atoms;
  atoms.wmProtocols = 10, atoms.wmDeleteWindow = 11, atoms.wmTakeFocus = 12, atoms.netWmState = 13;
  atoms.wmState = 14, atoms.netFrameExtents = 15, atoms.netWmName = 16;
  return atoms;
}

XEvent Protocol(Window window, Atom protocol, long time) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = TestAtoms().wmProtocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(protocol);
  event.xclient.data.l[1] = time;
  return event;
}

XEvent Focus(int detail, int mode = NotifyNormal) {
  XEvent event{};
  event.xfocus.type = FocusIn;
  event.xfocus.window = kWindow;
  event.xfocus.detail = detail;
  event.xfocus.mode = mode;
  return event;
}

XEvent Property(Atom atom) {
  XEvent event{};
  event.xproperty.type = PropertyNotify;
  event.xproperty.window = kWindow;
  event.xproperty.atom = atom;
  event.xproperty.time = 77;
  return event;
}

MainWindowInput Classify(const XEvent& event) {
  return ClassifyMainWindowEvent(event, kWindow, TestAtoms());
}

TEST(X11EventClassification, ClientMessagesDestroyFocusPropertiesAndGeometry) {
  const X11Atoms atoms = TestAtoms();
  XEvent otherType = Protocol(kWindow, atoms.wmDeleteWindow, 0);
  otherType.xclient.message_type = atoms.netWmState;
  XEvent shortFormat = Protocol(kWindow, atoms.wmDeleteWindow, 0);
  shortFormat.xclient.format = 8;
  // Destroy, configure and map notices carry the event window and the window concerned.
  const auto notice = [](int type, Window window) {
    XEvent event{};
    event.xany.type = type;
    event.xany.window = kWindow;           // event.xdestroywindow.event and its likes
    event.xdestroywindow.window = window;  // the same place in all three layouts
    return event;
  };
  XEvent destroy = notice(DestroyNotify, kWindow), childDestroy = notice(DestroyNotify, kOther);
  XEvent configure = notice(ConfigureNotify, kWindow);
  XEvent childConfigure = notice(ConfigureNotify, kOther);
  XEvent map = notice(MapNotify, kWindow);
  XEvent expose{};
  expose.xexpose.type = Expose;
  expose.xexpose.window = kWindow;
  const std::vector<std::pair<XEvent, Kind>> cases = {
      {Protocol(kWindow, atoms.wmDeleteWindow, 5), Kind::Close},
      {Protocol(kWindow, 999, 0), Kind::Ignore},
      {Protocol(kOther, atoms.wmDeleteWindow, 0), Kind::Ignore},
      {otherType, Kind::Ignore},
      {shortFormat, Kind::Ignore},
      {destroy, Kind::Destroyed},
      {childDestroy, Kind::Ignore},
      {Focus(NotifyNonlinear), Kind::FocusGained},
      {Focus(NotifyAncestor), Kind::FocusGained},
      {Focus(NotifyInferior), Kind::FocusGained},
      {Focus(NotifyVirtual), Kind::Ignore},
      {Focus(NotifyPointer), Kind::Ignore},
      {Focus(NotifyNonlinear, NotifyGrab), Kind::Ignore},
      {Focus(NotifyNonlinear, NotifyUngrab), Kind::Ignore},
      {Property(atoms.netWmState), Kind::StateChanged},
      {Property(atoms.wmState), Kind::StateChanged},
      {Property(atoms.netFrameExtents), Kind::FrameExtentsChanged},
      {Property(atoms.netWmName), Kind::Ignore},
      {configure, Kind::GeometryChanged},
      {childConfigure, Kind::Ignore},
      {map, Kind::GeometryChanged},
      {expose, Kind::Ignore},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Classify(cases[i].first).kind, cases[i].second) << "case " << i;
  }
  MainWindowInput takeFocus = Classify(Protocol(kWindow, atoms.wmTakeFocus, 123456));
  EXPECT_EQ(takeFocus.kind, Kind::TakeFocus);
  EXPECT_EQ(takeFocus.time, 123456u);
}

struct RawEventData {
  std::array<unsigned char, 1> mask{};
  std::array<double, 4> values{};
  XIRawEvent event{};

  RawEventData(std::initializer_list<int> axes, std::initializer_list<double> raw) {
    for (int axis : axes) XISetMask(mask.data(), axis);
    std::copy(raw.begin(), raw.end(), values.begin());
    event.evtype = XI_RawMotion;
    event.valuators.mask_len = static_cast<int>(mask.size());
    event.valuators.mask = mask.data();
    event.valuators.values = values.data();
    event.raw_values = values.data();
  }
};

TEST(X11RawMotion, RelativeSamplesCarryTheirFractionsAndSkipOtherAxes) {
  PointerAxes mouse;
  RawAxisCarry carry;
  const Rect desktop{0, 0, 1280, 1024};
  RawEventData both({0, 1}, {3.0, -2.0});
  auto sample = RawMouseSampleFrom(both.event, mouse, carry, desktop);
  ASSERT_TRUE(sample);
  EXPECT_FALSE(sample->absolute);
  EXPECT_EQ(std::make_pair(sample->x, sample->y), std::make_pair(3, -2));
  RawEventData secondOnly({1, 3}, {7.0, 1.0});  // packed in axis order; the wheel ignored
  sample = RawMouseSampleFrom(secondOnly.event, mouse, carry, desktop);
  ASSERT_TRUE(sample);
  EXPECT_EQ(std::make_pair(sample->x, sample->y), std::make_pair(0, 7));
  RawEventData fraction({0, 1}, {0.6, -0.5});
  sample = RawMouseSampleFrom(fraction.event, mouse, carry, desktop);
  ASSERT_TRUE(sample);  // a sample still, of no whole unit: the page is not told
  EXPECT_EQ(std::make_pair(sample->x, sample->y), std::make_pair(0, 0));
  sample = RawMouseSampleFrom(fraction.event, mouse, carry, desktop);
  EXPECT_EQ(std::make_pair(sample->x, sample->y), std::make_pair(1, -1));
  RawEventData wheel({3}, {1.0});
  EXPECT_FALSE(RawMouseSampleFrom(wheel.event, mouse, carry, desktop));
  RawEventData empty({}, {});
  empty.event.valuators.mask_len = 0;
  EXPECT_FALSE(RawMouseSampleFrom(empty.event, mouse, carry, desktop));
}

TEST(X11RawMotion, AbsoluteSamplesKeepUnchangedAxesAndTheirRanges) {
  PointerAxes tablet{.absolute = true, .minX = 0, .maxX = 32767, .minY = 100, .maxY = 4195};
  RawAxisCarry carry;
  const Rect desktop{0, 0, 1280, 1024};
  RawEventData both({0, 1}, {16000.4, 300.0});
  auto sample = RawMouseSampleFrom(both.event, tablet, carry, desktop);
  ASSERT_TRUE(sample);
  EXPECT_TRUE(sample->absolute);
  EXPECT_TRUE(sample->virtualDesktop);
  EXPECT_EQ(std::make_pair(sample->x, sample->y), std::make_pair(16000, 300));
  EXPECT_EQ(sample->rangeX.max, 32767);
  EXPECT_EQ(sample->rangeY.min, 100);
  RawEventData xOnly({0}, {20000.0});
  sample = RawMouseSampleFrom(xOnly.event, tablet, carry, desktop);
  EXPECT_EQ(std::make_pair(sample->x, sample->y), std::make_pair(20000, 300));

  // Without a range the values are root window coordinates.
  PointerAxes unranged{.absolute = true, .minX = -1, .maxX = -1, .minY = -1, .maxY = -1};
  sample = RawMouseSampleFrom(both.event, unranged, carry, desktop);
  EXPECT_EQ(sample->rangeX.min, 0);
  EXPECT_EQ(sample->rangeX.max, 1280);
  EXPECT_EQ(sample->rangeY.max, 1024);
}

}  // namespace
}  // namespace tavrelle::linux_platform
