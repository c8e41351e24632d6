#pragma once

namespace tavrelle {

// The host as the extension-manager library sees it. The library holds a plain
// pointer from "Init" until "Release" returns and calls in on the main thread only.
// Three operations in this slot order and nothing else: no virtual destructor, since
// the library never deletes the host.
class IWrapperApp {
 public:
  // Posts one JSON text to the page, or queues it until the page has started.
  virtual void PostMessageToPage(const char* json) = 0;
  // The path registered for a placeholder such as "<documents>"; "" when none is.
  // The text stays valid while that entry is unchanged.
  virtual const char* GetFolderPath(const char* name) = 0;
  // The complete "package.json" text as read at start-up.
  virtual const char* GetPackageJson() = 0;

 protected:
  IWrapperApp() = default;
  IWrapperApp(const IWrapperApp&) = default;
  IWrapperApp& operator=(const IWrapperApp&) = default;
  ~IWrapperApp() = default;
};

}  // namespace tavrelle
