// Entry point of the host on Linux: wires the platform's services into start-up.
// The host reads no command line.

#include <memory>

#include "app/Startup.h"
#include "platform/ExecutableResources.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/ImageDecoder.h"
#include "platform/ProcessEnvironment.h"
#include "platform/Shell.h"
#include "platform/chromium/ChromiumRuntime.h"
#include "platform/linux/Dialogs.h"
#include "platform/linux/PollEventLoop.h"
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
  return ports;
}

}  // namespace

int main() {
  linux_platform::PollEventLoop loop;
  // Declared before the runtime, which keeps a pointer to it as its embedder.
  std::unique_ptr<linux_platform::X11WindowSystem> windowSystem;
  // The runtime check needs no display; the embedder arrives with the connection.
  chromium::ChromiumRuntime runtime(
      loop,
      chromium::ChromiumRuntimeOptions{
          .headless = false, .embedder = nullptr, .appFolder = AppFolderOf(ExecutablePath())});

  StartupPorts ports = LinuxPorts(runtime, loop);
  ports.connectWindowSystem = [&]() -> WindowSystem* {
    windowSystem = linux_platform::X11WindowSystem::connect(loop);
    runtime.setEmbedder(windowSystem.get());
    return windowSystem.get();
  };
  Startup startup(ports);
  return startup.run();
}
