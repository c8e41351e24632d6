#pragma once

#include <X11/Xlib.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/MainWindow.h"
#include "platform/BrowserWindowEmbedder.h"
#include "platform/linux/PollEventLoop.h"
#include "platform/linux/X11Atoms.h"
#include "platform/linux/X11EventTranslator.h"

namespace tavrelle::linux_platform {

class X11MainWindow;
class X11EmbeddedBrowserWindow;

// The X11 display connection: creates the main window, adopts the browser's window
// into it and turns X events into calls on those two, all on the loop's thread.
// Outlives every window it created.
class X11WindowSystem final : public WindowSystem, public BrowserWindowEmbedder {
 public:
  // Opens the display (displayName empty: $DISPLAY) and watches its connection on the
  // loop; nullptr when no display can be opened.
  static std::unique_ptr<X11WindowSystem> connect(PollEventLoop& loop,
                                                  const std::string& displayName = {});
  ~X11WindowSystem() override;
  X11WindowSystem(const X11WindowSystem&) = delete;
  X11WindowSystem& operator=(const X11WindowSystem&) = delete;

  // Xft.dpi from the resource database, else 96.
  [[nodiscard]] int screenDpi() override;
  std::unique_ptr<MainWindow> createMainWindow(const MainWindowParams& params,
                                               WindowProc proc) override;
  std::unique_ptr<EmbeddedBrowserWindow> expectBrowserWindow(uint64_t parentWindow, int32_t width,
                                                             int32_t height) override;

  // For the window objects of this connection.
  [[nodiscard]] Display* display() const { return display_; }
  // The name the connection was opened with, for further connections to the display.
  [[nodiscard]] std::string displayName() const { return DisplayString(display_); }
  [[nodiscard]] Window root() const { return root_; }
  [[nodiscard]] int screen() const { return screen_; }
  [[nodiscard]] const X11Atoms& atoms() const { return atoms_; }
  [[nodiscard]] PollEventLoop& loop() const { return loop_; }

  // Sends buffered requests and makes sure events Xlib has already read get handled.
  void flush();
  // Handles every event queued on the connection.
  void drainEvents();
  // A window manager that announces itself (_NET_SUPPORTING_WM_CHECK) is running.
  [[nodiscard]] bool windowManagerRunning() const;
  // The browser window adopted into parent, or None.
  [[nodiscard]] Window adoptedChildOf(Window parent) const;
  // The parent is about to be destroyed: its adopted browser window moves out first, so
  // that the browser can still be closed in an orderly way.
  void releaseChildrenOf(Window parent);
  // Raw pointer motion (XInput2) is delivered to the window while enabled. 0 on
  // success; else 1 when the display lacks XInput 2.0 (what a server answers to a
  // request it does not know, BadRequest), or the X error code of the selection.
  [[nodiscard]] uint32_t selectRawMotionFor(X11MainWindow* window, bool wanted);
  [[nodiscard]] bool rawMotionAvailable() const { return xinputOpcode_ >= 0; }

  void registerMainWindow(X11MainWindow* window);
  void unregisterMainWindow(X11MainWindow* window);
  void registerEmbedded(X11EmbeddedBrowserWindow* embedded);
  void unregisterEmbedded(X11EmbeddedBrowserWindow* embedded);

 private:
  X11WindowSystem(PollEventLoop& loop, Display* display);

  void dispatch(XEvent& event);
  void dispatchGeneric(XEvent& event);
  void offerNewWindow(const XCreateWindowEvent& created);
  void selectRootEvents();
  uint32_t selectRawMotion(bool enabled);
  [[nodiscard]] PointerAxes queryPointerAxes(int deviceId) const;
  void deliverRawMotion(const XIRawEvent& event);
  [[nodiscard]] X11MainWindow* mainWindowFor(Window window) const;
  [[nodiscard]] X11EmbeddedBrowserWindow* embeddedFor(Window child) const;

  PollEventLoop& loop_;
  Display* display_;
  int screen_;
  Window root_;
  X11Atoms atoms_;
  int xinputOpcode_ = -1;
  bool watchingRoot_ = false;
  bool rawMotionSelected_ = false;
  bool drainScheduled_ = false;
  std::shared_ptr<bool> alive_;
  std::vector<X11MainWindow*> mainWindows_;
  std::vector<X11MainWindow*> rawMotionWindows_;
  // Per source device: how its axes report and what its last event left over.
  struct RawDevice {
    PointerAxes axes;
    RawAxisCarry carry;
  };
  std::map<int, RawDevice> rawDevices_;
  std::vector<X11EmbeddedBrowserWindow*> embedded_;
};

}  // namespace tavrelle::linux_platform
