#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Geometry.h"

namespace tavrelle::chromium {

struct BrowserLaunchSettings {
  std::string executable;
  std::string userDataFolder;
  std::string additionalArguments;  // one text, split like a shell splits words
  bool headless = false;
  bool runningAsRoot = false;
  bool smallSharedMemory = false;  // renderers then keep shared memory in the temporary folder
  int32_t windowWidth = 800;
  int32_t windowHeight = 600;
  Rgb background;
  // The host's held port for the app host name (LaunchPageHold); 0: none, the app
  // window then opens on a blank page of its own.
  uint16_t appHostPort = 0;
};

// The full argument vector (the executable first) that starts the browser for the
// host: DevTools over the pipe (never a TCP port), the host's profile, no network
// of its own, one app window of the given size off-screen (adopted by the host), or
// headless. The additional arguments come last; they cannot open a debugging port or
// move the profile, and their feature lists are merged with the host's.
std::vector<std::string> browserCommandLine(const BrowserLaunchSettings& settings);

}  // namespace tavrelle::chromium
