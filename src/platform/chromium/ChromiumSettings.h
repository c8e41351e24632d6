#pragma once

#include <functional>

#include "platform/chromium/PageScript.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle::chromium {

// The web view's settings. Those the page script enforces take effect in documents
// loaded after the change; script execution and script dialogs apply at once.
class ChromiumSettings final : public webview::WebViewSettings {
 public:
  struct State {
    PageScriptConfig page;
    bool scriptEnabled = true;
    bool scriptDialogs = true;
  };
  // Called after each change that alters the state.
  explicit ChromiumSettings(std::function<void()> onChanged) : onChanged_(std::move(onChanged)) {}

  void put_IsScriptEnabled(bool enabled) override { set(state_.scriptEnabled, enabled); }
  // There are no host objects to allow.
  void put_AreHostObjectsAllowed(bool) override {}
  void put_AreDefaultScriptDialogsEnabled(bool enabled) override {
    set(state_.scriptDialogs, enabled);
  }
  void put_IsWebMessageEnabled(bool enabled) override { set(state_.page.webMessages, enabled); }
  void put_IsZoomControlEnabled(bool enabled) override { set(state_.page.zoomControl, enabled); }
  void put_AreDefaultContextMenusEnabled(bool enabled) override {
    set(state_.page.contextMenus, enabled);
  }
  void put_AreDevToolsEnabled(bool enabled) override { set(state_.page.devTools, enabled); }
  void put_AreBrowserAcceleratorKeysEnabled(bool enabled) override {
    set(state_.page.browserKeys, enabled);
  }
  // The browser runs no reputation service for the app.
  void put_IsReputationCheckingRequired(bool) override {}
  // Touch pinch zoom is off from launch (--disable-pinch); this governs the trackpad's
  // pinch, which arrives as Ctrl+wheel.
  void put_IsPinchZoomEnabled(bool enabled) override { set(state_.page.pinchZoom, enabled); }
  // Swipe navigation is off from launch (--overscroll-history-navigation=0) and cannot
  // be switched on later.
  void put_IsSwipeNavigationEnabled(bool) override {}

  [[nodiscard]] const State& state() const { return state_; }

 private:
  void set(bool& field, bool value) {
    if (field == value) return;
    field = value;
    if (onChanged_) onChanged_();
  }

  State state_;
  std::function<void()> onChanged_;
};

}  // namespace tavrelle::chromium
