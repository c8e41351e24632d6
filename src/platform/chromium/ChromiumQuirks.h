#pragma once

// Behaviour of Chromium (measured with version 156) that the runtime works around.
// Each quirk lives here once, with the reason; the rest of the code only names it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrelle::chromium::quirks {

// A message to the browser of 104,857,600 bytes or more (its NUL included) silently
// kills the connection while the browser keeps running. Larger messages are refused
// before they are written.
inline constexpr size_t kLargestMessageToBrowser = 104'857'600 - 2;

// Switches that keep the browser from reaching any network by itself: with default
// flags it preconnects to [::1]:443 and 127.0.0.1:443 on navigation and calls several
// vendor hosts. Together with the Preferences seed below the browser stays silent.
// The app's host name leads nowhere of its own: request interception answers its
// requests before any name is resolved, and whatever interception does not take
// (WebSockets to the app origin) must not reach a local port, since the browser would
// otherwise resolve every ".localhost" name to loopback. Without a port it gets no
// address at all; with one (the host's held port, see LaunchPageHold) every port of
// the name leads there.
std::vector<std::string> noNetworkSwitches(uint16_t appHostPort = 0);

// The first AudioContext of a page holds the page's script until the browser has
// started its audio service: as a process of its own that took 260-480 ms on a 2-core
// machine, inside the browser's process 8-15 ms. Games create their context while they
// load, so the host keeps the service in the browser's process (a feature to disable).
inline constexpr std::string_view kAudioServiceOutOfProcessFeature = "AudioServiceOutOfProcess";

// Written to <user data folder>/Default/Preferences when the profile has none:
// no network prediction (preconnects), no sign-in.
inline constexpr std::string_view kPreferencesSeed =
    R"({"net":{"network_prediction_options":2},"signin":{"allowed":false}})";

// As root the sandbox must be off.
std::vector<std::string> runningAsRootSwitches();

// The browser puts a warning bar over the top 56 pixels of the page for switches it
// calls unsupported: --no-sandbox, and also --host-resolver-rules, which every launch
// needs (a normal player's launch showed it). --test-type hides the bar.
std::vector<std::string> noWarningBarSwitches();

// "--app=about:blank" opens a tabbed window; an app window needs a real URL, and the
// real start page must wait until interception is on. A data: URL in the background
// colour is blank and needs no request.
std::string blankAppPageUrl(unsigned char red, unsigned char green, unsigned char blue);
// Whether a committed top-level URL is that launch page (its events are not the host's).
bool isBlankAppPage(std::string_view url);
// The launch page of the app origin whose request the host's held port keeps waiting.
std::string heldLaunchPageUrl();

// The execution context origin of a sandboxed (opaque origin) frame reads "://",
// while its frame URL looks like the app's. Only a real origin is trusted.
bool isOpaqueContextOrigin(std::string_view origin);

// The profile setting that disables developer tools also refuses the host's own
// DevTools connection, so tools are kept closed by other means: their shortcuts are
// blocked in the page script and any tools window that still appears is closed.
bool isDevToolsWindowUrl(std::string_view url);

// Debian starts its browser binary (/usr/lib/chromium/chromium) through the shell script
// /usr/bin/chromium, whose checks cost 40-80 ms of start-up. The host starts the binary
// itself and adds the one switch of the script's that a game needs:
// --disable-dev-shm-usage where /dev/shm is small (under 3.8 GB free, the script's own
// limit), since the browser's renderers crash when shared memory runs out.
bool sharedMemoryIsSmall();

}  // namespace tavrelle::chromium::quirks
