// Entry point of the host on Linux: wires the platform's services into start-up.
// The host reads no command line.

#include <memory>

#include "app/Startup.h"
#include "platform/ExecutableResources.h"
#include "platform/Files.h"
#include "platform/FolderWriting.h"
#include "platform/Folders.h"
#include "platform/ImageDecoder.h"
#include "platform/ProcessEnvironment.h"
#include "platform/SharedLibrary.h"
#include "platform/Shell.h"
#include "platform/chromium/LocatedChromiumRuntime.h"
#include "platform/linux/Dialogs.h"
#include "platform/linux/PollEventLoop.h"
#include "platform/linux/X11CaptureDeviceFactory.h"
#include "platform/linux/X11WindowSystem.h"

namespace {

using namespace tavrelle;

StartupPorts LinuxPorts(webview::WebViewRuntime& runtime, EventLoop& loop) {
  StartupPorts ports(runtime, loop);
  ports.executablePath = [] { return ExecutablePath(); };
  ports.loadResourceData = LoadResourceData;
  ports.readWholeFile = ReadWholeFile;
  ports.fileExists = FileExists;
  ports.mapFile = MappedFile::open;
  ports.localAppDataFolder = LocalAppDataFolder;
  ports.showMessageBox = linux_platform::ShowMessageBox;
  ports.shellOpen = ShellOpen;
  ports.setEnvironmentVariable = SetProcessEnvironmentVariable;
  ports.decodeImage = DecodeImage;
  ports.decodeImageFile = DecodeImageFile;
  ports.extensionFiles = {.recreateFolder = RecreateFolder, .writeFileBelow = WriteFileBelow};
  ports.loadLibrary = LoadSharedLibrary;
  return ports;
}

}  // namespace

int main() {
  RaiseOpenFileLimit();
  linux_platform::PollEventLoop loop;
  // Declared before the runtime, which keeps a pointer to it as its embedder.
  std::unique_ptr<linux_platform::X11WindowSystem> windowSystem;
  // The runtime check needs no display; the embedder arrives with the connection.
  chromium::LocatedChromiumRuntime runtime(
      loop, chromium::ChromiumRuntimeOptions{.headless = false, .embedder = nullptr});

  StartupPorts ports = LinuxPorts(runtime.locator(), loop);
  ports.connectWindowSystem = [&]() -> WindowSystem* {
    windowSystem = linux_platform::X11WindowSystem::connect(loop);
    runtime.client().setEmbedder(windowSystem.get());
    return windowSystem.get();
  };
  ports.makeCaptureDevice = [&windowSystem](uint64_t window) {
    return linux_platform::MakeX11CaptureDevice(windowSystem->displayName(), window);
  };
  Startup startup(ports);
  return startup.run();
}
