#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Geometry.h"

namespace tavrelle {

// The browser's app window, adopted as the child window of the host's main window.
// Calls made before the window is adopted are remembered and applied on adoption.
class EmbeddedBrowserWindow {
 public:
  virtual ~EmbeddedBrowserWindow() = default;

  // Called once when the browser's window has been found and reparented.
  virtual void setOnAdopted(std::function<void()> onAdopted) = 0;

  [[nodiscard]] virtual bool adopted() const = 0;
  // Position and size inside the parent's client area.
  virtual void setBounds(Rect bounds) = 0;
  virtual void setVisible(bool visible) = 0;
  // Gives the browser window the keyboard focus.
  virtual void focus() = 0;
  // The parent moved on screen: lets the browser place its popups correctly.
  virtual void parentMoved() = 0;
};

// Finds and adopts the browser's app window. Must be asked before the browser is
// launched, so that the window's creation is seen before it is mapped.
class BrowserWindowEmbedder {
 public:
  virtual ~BrowserWindowEmbedder() = default;

  // Starts watching for a new top-level window of exactly width x height (the size
  // the browser is launched with) and adopts it into parentWindow when it appears.
  virtual std::unique_ptr<EmbeddedBrowserWindow> expectBrowserWindow(uint64_t parentWindow,
                                                                     int32_t width,
                                                                     int32_t height) = 0;
};

}  // namespace tavrelle
