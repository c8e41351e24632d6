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
  atoms.wmProtocols = 10;
  atoms.wmDeleteWindow = 11;
  atoms.wmTakeFocus = 12;
  atoms.netWmState = 13;
  atoms.wmState = 14;
  atoms.netFrameExtents = 15;
  atoms.netWmName = 16;
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

TEST(X11EventClassification, DeleteWindowProtocolIsClose) {
  EXPECT_EQ(Classify(Protocol(kWindow, TestAtoms().wmDeleteWindow, 5)).kind, Kind::Close);
}

TEST(X11EventClassification, TakeFocusCarriesTheMessageTime) {
  MainWindowInput input = Classify(Protocol(kWindow, TestAtoms().wmTakeFocus, 123456));
  EXPECT_EQ(input.kind, Kind::TakeFocus);
  EXPECT_EQ(input.time, 123456u);
}

TEST(X11EventClassification, UnknownProtocolsAndOtherMessagesAreIgnored) {
  EXPECT_EQ(Classify(Protocol(kWindow, 999, 0)).kind, Kind::Ignore);
  XEvent state = Protocol(kWindow, TestAtoms().wmDeleteWindow, 0);
  state.xclient.message_type = TestAtoms().netWmState;
  EXPECT_EQ(Classify(state).kind, Kind::Ignore);
  XEvent shortFormat = Protocol(kWindow, TestAtoms().wmDeleteWindow, 0);
  shortFormat.xclient.format = 8;
  EXPECT_EQ(Classify(shortFormat).kind, Kind::Ignore);
}

TEST(X11EventClassification, MessagesForOtherWindowsAreIgnored) {
  EXPECT_EQ(Classify(Protocol(kOther, TestAtoms().wmDeleteWindow, 0)).kind, Kind::Ignore);
}

TEST(X11EventClassification, DestroyOfTheWindowItselfOnly) {
  XEvent event{};
  event.xdestroywindow.type = DestroyNotify;
  event.xdestroywindow.event = kWindow;
  event.xdestroywindow.window = kWindow;
  EXPECT_EQ(Classify(event).kind, Kind::Destroyed);
  event.xdestroywindow.window = kOther;  // a child of the window
  EXPECT_EQ(Classify(event).kind, Kind::Ignore);
}

TEST(X11EventClassification, FocusArrivingAtTheWindowIsSetFocus) {
  EXPECT_EQ(Classify(Focus(NotifyNonlinear)).kind, Kind::FocusGained);
  EXPECT_EQ(Classify(Focus(NotifyAncestor)).kind, Kind::FocusGained);
  EXPECT_EQ(Classify(Focus(NotifyInferior)).kind, Kind::FocusGained);
}

TEST(X11EventClassification, FocusPassingThroughOrByGrabsIsIgnored) {
  EXPECT_EQ(Classify(Focus(NotifyVirtual)).kind, Kind::Ignore);
  EXPECT_EQ(Classify(Focus(NotifyNonlinearVirtual)).kind, Kind::Ignore);
  EXPECT_EQ(Classify(Focus(NotifyPointer)).kind, Kind::Ignore);
  EXPECT_EQ(Classify(Focus(NotifyNonlinear, NotifyGrab)).kind, Kind::Ignore);
  EXPECT_EQ(Classify(Focus(NotifyNonlinear, NotifyUngrab)).kind, Kind::Ignore);
}

TEST(X11EventClassification, StatePropertiesAndFrameExtents) {
  EXPECT_EQ(Classify(Property(TestAtoms().netWmState)).kind, Kind::StateChanged);
  EXPECT_EQ(Classify(Property(TestAtoms().wmState)).kind, Kind::StateChanged);
  EXPECT_EQ(Classify(Property(TestAtoms().netFrameExtents)).kind, Kind::FrameExtentsChanged);
  EXPECT_EQ(Classify(Property(TestAtoms().netWmName)).kind, Kind::Ignore);
}

TEST(X11EventClassification, ConfigureAndMappingMayMoveTheClientArea) {
  XEvent configure{};
  configure.xconfigure.type = ConfigureNotify;
  configure.xconfigure.event = kWindow;
  configure.xconfigure.window = kWindow;
  EXPECT_EQ(Classify(configure).kind, Kind::GeometryChanged);
  configure.xconfigure.window = kOther;
  EXPECT_EQ(Classify(configure).kind, Kind::Ignore);

  XEvent map{};
  map.xmap.type = MapNotify;
  map.xmap.event = kWindow;
  map.xmap.window = kWindow;
  EXPECT_EQ(Classify(map).kind, Kind::GeometryChanged);
}

TEST(X11EventClassification, UnrelatedEventTypesAreIgnored) {
  XEvent expose{};
  expose.xexpose.type = Expose;
  expose.xexpose.window = kWindow;
  EXPECT_EQ(Classify(expose).kind, Kind::Ignore);
}

ClientGeometry Geometry(int32_t x, int32_t y, int32_t w, int32_t h,
                        SizeType type = SizeType::Restored) {
  return ClientGeometry{x, y, w, h, type};
}

TEST(X11GeometryChanges, NothingChangedNothingSent) {
  EXPECT_TRUE(GeometryChangeEvents(Geometry(1, 2, 3, 4), Geometry(1, 2, 3, 4)).empty());
}

TEST(X11GeometryChanges, SizeChangeSendsSizeWithTheClientSize) {
  auto events = GeometryChangeEvents(Geometry(0, 0, 640, 480), Geometry(0, 0, 800, 600));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, WindowEvent::Kind::Size);
  EXPECT_EQ(events[0].sizeType, SizeType::Restored);
  EXPECT_EQ(events[0].clientWidth, 800);
  EXPECT_EQ(events[0].clientHeight, 600);
}

TEST(X11GeometryChanges, StateChangeAloneSendsSize) {
  auto events = GeometryChangeEvents(Geometry(0, 0, 640, 480),
                                     Geometry(0, 0, 640, 480, SizeType::Minimized));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, WindowEvent::Kind::Size);
  EXPECT_EQ(events[0].sizeType, SizeType::Minimized);
}

TEST(X11GeometryChanges, MoveAloneSendsMove) {
  auto events = GeometryChangeEvents(Geometry(0, 0, 640, 480), Geometry(10, -5, 640, 480));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, WindowEvent::Kind::Move);
}

TEST(X11GeometryChanges, MaximizingSendsSizeThenMove) {
  auto events = GeometryChangeEvents(Geometry(100, 100, 640, 480),
                                     Geometry(0, 20, 1280, 1004, SizeType::Maximized));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, WindowEvent::Kind::Size);
  EXPECT_EQ(events[0].sizeType, SizeType::Maximized);
  EXPECT_EQ(events[1].kind, WindowEvent::Kind::Move);
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

TEST(X11RawMotion, BothAxes) {
  RawEventData data({0, 1}, {3.0, -2.0});
  auto delta = RawMotionDelta(data.event);
  ASSERT_TRUE(delta);
  EXPECT_EQ(delta->dx, 3.0);
  EXPECT_EQ(delta->dy, -2.0);
}

TEST(X11RawMotion, OnlyTheSecondAxisIsPackedFirst) {
  RawEventData data({1}, {7.0});
  auto delta = RawMotionDelta(data.event);
  ASSERT_TRUE(delta);
  EXPECT_EQ(delta->dx, 0.0);
  EXPECT_EQ(delta->dy, 7.0);
}

TEST(X11RawMotion, OtherAxesAndZeroMovementAreNothing) {
  RawEventData wheel({3}, {1.0});
  EXPECT_FALSE(RawMotionDelta(wheel.event));
  RawEventData still({0, 1}, {0.0, 0.0});
  EXPECT_FALSE(RawMotionDelta(still.event));
  RawEventData empty({}, {});
  empty.event.valuators.mask_len = 0;
  EXPECT_FALSE(RawMotionDelta(empty.event));
}

TEST(X11RawMotion, AccumulatorKeepsFractionsUntilWhole) {
  RawMotionAccumulator accumulator;
  EXPECT_FALSE(accumulator.add({0.4, -0.6}));
  auto event = accumulator.add({0.7, -0.6});
  ASSERT_TRUE(event);
  EXPECT_EQ(event->kind, WindowEvent::Kind::RawInput);
  EXPECT_EQ(event->rawDx, 1);
  EXPECT_EQ(event->rawDy, -1);
  auto next = accumulator.add({-0.2, -0.9});  // remainders 0.1 and -0.2 carried over
  ASSERT_TRUE(next);
  EXPECT_EQ(next->rawDx, 0);
  EXPECT_EQ(next->rawDy, -1);
}

}  // namespace
}  // namespace tavrelle::linux_platform
