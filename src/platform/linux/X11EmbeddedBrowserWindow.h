#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <memory>

#include "platform/BrowserWindowEmbedder.h"

namespace tavrelle::linux_platform {

class X11WindowSystem;

// The browser's app window, adopted as a child of the main window.
//
// The window is taken the moment it is created: override_redirect keeps the window
// manager away from it, then it is reparented into the main window and added to the save
// set (so that it survives the host). When the window manager was quicker and manages it
// already, it is withdrawn first and adopted once the manager has let go.
// Towards the browser the host plays its window manager: the browser's fullscreen
// requests come as _NET_WM_STATE client messages and are answered on its property.
// The host's own fullscreen follows the page's element fullscreen, which the web view
// reports; these requests only keep the browser's view of its state true.
class X11EmbeddedBrowserWindow final : public EmbeddedBrowserWindow {
 public:
  X11EmbeddedBrowserWindow(X11WindowSystem& system, Window parent, int32_t width, int32_t height);
  ~X11EmbeddedBrowserWindow() override;
  X11EmbeddedBrowserWindow(const X11EmbeddedBrowserWindow&) = delete;
  X11EmbeddedBrowserWindow& operator=(const X11EmbeddedBrowserWindow&) = delete;

  void setOnAdopted(std::function<void()> onAdopted) override;
  [[nodiscard]] bool adopted() const override;
  void setBounds(Rect bounds) override;
  void setVisible(bool visible) override;
  void focus() override;
  void parentMoved() override;

  // From the window system's event dispatch.
  [[nodiscard]] bool wants(const XCreateWindowEvent& created) const;
  void adopt(Window child);
  void handleChildEvent(const XEvent& event);
  void handleStateRequest(const XClientMessageEvent& request);
  // The parent is going away: the browser window moves to the root, out of sight.
  void release();

  [[nodiscard]] Window parent() const { return parent_; }
  [[nodiscard]] Window child() const { return child_; }
  // In the parent and usable.
  [[nodiscard]] bool inParent() const { return state_ == State::InParent; }

 private:
  enum class State {
    Waiting,       // not created yet
    InParent,      // adopted
    AwaitRelease,  // managed by the window manager: withdrawn, waiting to be let go
    Released,      // handed back to the root because the parent is going away
    Gone           // the browser destroyed its window
  };

  void reparentIntoParent();
  void applyBounds();
  void onReparented(Window newParent);
  void onConfigured(const XConfigureEvent& configure);
  void onDestroyed();
  void sendSyntheticConfigure();
  void flush();

  X11WindowSystem& system_;
  Display* display_;
  Window parent_;
  Window child_ = None;
  int32_t expectedWidth_;
  int32_t expectedHeight_;
  State state_ = State::Waiting;
  Rect bounds_;
  bool visible_ = true;
  bool fullscreen_ = false;
  int corrections_ = 0;
  bool announced_ = false;
  std::function<void()> onAdopted_;
  std::shared_ptr<bool> alive_;
};

}  // namespace tavrelle::linux_platform
