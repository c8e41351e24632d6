// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "platform/linux/X11EventTranslator.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

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
  // Destroy, configure and map notices carry the event window and the window concerned.
  const auto notice = [](int type, Window window) {
    XEvent event{};
    event.xany.type = type;
    event.xany.window = kWindow;           // event.xdestroywindow.event and its likes
    event.xdestroywindow.window = window;  // the same place in all three layouts
    return event;
  };
  const std::vector<std::pair<XEvent, Kind>> cases = {
      {Protocol(kWindow, atoms.wmDeleteWindow, 5), Kind::Close},
      {Protocol(kWindow, 999, 0), Kind::Ignore},
      {Protocol(kOther, atoms.wmDeleteWindow, 0), Kind::Ignore},
      {otherType, Kind::Ignore},
      {notice(DestroyNotify, kWindow), Kind::Destroyed},
      {notice(DestroyNotify, kOther), Kind::Ignore},
      {Focus(NotifyNonlinear), Kind::FocusGained},
      {Focus(NotifyInferior), Kind::FocusGained},
      {Focus(NotifyVirtual), Kind::Ignore},
      {Focus(NotifyNonlinear, NotifyGrab), Kind::Ignore},
      {Property(atoms.netWmState), Kind::StateChanged},
      {Property(atoms.netFrameExtents), Kind::FrameExtentsChanged},
      {Property(atoms.netWmName), Kind::Ignore},
      {notice(ConfigureNotify, kWindow), Kind::GeometryChanged},
      {notice(MapNotify, kWindow), Kind::GeometryChanged},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Classify(cases[i].first).kind, cases[i].second) << "case " << i;
  }
  MainWindowInput takeFocus = Classify(Protocol(kWindow, atoms.wmTakeFocus, 123456));
  EXPECT_EQ(takeFocus.kind, Kind::TakeFocus);
  EXPECT_EQ(takeFocus.time, 123456u);
}

using Move = std::pair<int32_t, int32_t>;

// value() throws when there is no sample, which fails the test.
Move Moved(const std::optional<RawMouseSample>& sample) { return {sample.value().x, sample->y}; }

// Raw motion of the given axes (packed in axis order, as the server sends them), read
// through one carry of fractions on a 1280 x 1024 desktop.
class X11RawMotion : public ::testing::Test {
 protected:
  std::optional<RawMouseSample> sample(std::initializer_list<int> axes,
                                       std::initializer_list<double> raw,
                                       const PointerAxes& pointer) {
    std::array<unsigned char, 1> mask{};
    std::array<double, 4> values{};
    for (int axis : axes) XISetMask(mask.data(), axis);
    std::copy(raw.begin(), raw.end(), values.begin());
    XIRawEvent event{};
    event.evtype = XI_RawMotion;
    event.valuators.mask_len = axes.size() == 0 ? 0 : static_cast<int>(mask.size());
    event.valuators.mask = mask.data();
    event.valuators.values = values.data();
    event.raw_values = values.data();
    return RawMouseSampleFrom(event, pointer, carry_, Rect{0, 0, 1280, 1024});
  }

  RawAxisCarry carry_;
};

TEST_F(X11RawMotion, RelativeSamplesCarryTheirFractionsAndSkipOtherAxes) {
  const PointerAxes mouse;
  const auto both = sample({0, 1}, {3.0, -2.0}, mouse);
  ASSERT_TRUE(both);
  EXPECT_FALSE(both->absolute);
  EXPECT_EQ(Moved(both), Move(3, -2));
  EXPECT_EQ(Moved(sample({1, 3}, {7.0, 1.0}, mouse)), Move(0, 7));  // the wheel ignored
  // A sample still, of no whole unit (the page is not told); the fractions add up.
  EXPECT_EQ(Moved(sample({0, 1}, {0.6, -0.5}, mouse)), Move(0, 0));
  EXPECT_EQ(Moved(sample({0, 1}, {0.6, -0.5}, mouse)), Move(1, -1));
  EXPECT_FALSE(sample({3}, {1.0}, mouse));
}

TEST_F(X11RawMotion, AbsoluteSamplesKeepUnchangedAxesAndTheirRanges) {
  const PointerAxes tablet{.absolute = true, .minX = 0, .maxX = 32767, .minY = 100, .maxY = 4195};
  const auto both = sample({0, 1}, {16000.4, 300.0}, tablet);
  ASSERT_TRUE(both);
  EXPECT_TRUE(both->absolute);
  EXPECT_TRUE(both->virtualDesktop);
  EXPECT_EQ(Moved(both), Move(16000, 300));
  EXPECT_EQ(both->rangeX.max, 32767);
  EXPECT_EQ(both->rangeY.min, 100);
  EXPECT_EQ(Moved(sample({0}, {20000.0}, tablet)), Move(20000, 300));
}

}  // namespace
}  // namespace tavrelle::linux_platform
