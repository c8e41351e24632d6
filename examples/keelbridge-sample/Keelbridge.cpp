// A sample extension-manager library for the Tavrelle host.
//
// It registers two components and answers the page's "extension-message" texts that
// name one of them in their "component" member:
//   "echo"     answers with the message's "payload" unchanged;
//   "folders"  answers with the path the host has for the placeholder in "name"
//              (such as "<documents>"), asked through IWrapperApp::GetFolderPath.
// Every answer is an "extension-message" with the same "component" and, when the
// request had one, the same "requestId". The library also tells the page, through
// the host's queue, that it started ("event": "init", "ready") and which X11 window
// the game has ("event": "window").
//
// When package.json holds "keelbridge-sample": {"call-log": "NAME"}, each call from
// the host is appended as one line to the file NAME in the app data folder.

#include <tavrelle/Keelbridge.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::json;

// Everything the library keeps between calls; only touched on the host's main thread.
struct SampleState {
  IWrapperApp* app = nullptr;
  std::string appDataFolder;
  std::string callLog;  // the log file's path, or empty
};

SampleState state;

const char* const kComponentIds[] = {"echo", "folders", nullptr};

// On a game's first start the app data folder may not exist yet.
void LogCall(const std::string& line) {
  if (state.callLog.empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(state.appDataFolder, ignored);
  std::ofstream out(state.callLog, std::ios::app);
  out << line << '\n';
}

void Post(json message) {
  message["type"] = "extension-message";
  state.app->PostMessageToPage(message.dump().c_str());
}

std::string CallLogPath(const char* packageJson, const std::string& appDataFolder) {
  const json package = json::parse(packageJson, nullptr, false);
  if (!package.is_object() || !package.contains("keelbridge-sample")) return {};
  const json& settings = package["keelbridge-sample"];
  if (!settings.is_object() || !settings.contains("call-log") ||
      !settings["call-log"].is_string()) {
    return {};
  }
  const std::string name = settings["call-log"].get<std::string>();
  if (name.empty() || name.find('/') != std::string::npos) return {};
  return appDataFolder + "/" + name;
}

json Answer(const json& request) {
  json answer;
  answer["component"] = request["component"];
  if (request.contains("requestId")) answer["requestId"] = request["requestId"];
  return answer;
}

void HandleRequest(const json& request) {
  const std::string component = request.contains("component") && request["component"].is_string()
                                    ? request["component"].get<std::string>()
                                    : std::string();
  LogCall("OnExtensionMessage " + component);
  json answer = Answer(request);
  if (component == "echo") {
    answer["payload"] = request.contains("payload") ? request["payload"] : json();
  } else if (component == "folders") {
    const std::string name = request.contains("name") && request["name"].is_string()
                                 ? request["name"].get<std::string>()
                                 : std::string();
    answer["name"] = name;
    answer["path"] = state.app->GetFolderPath(name.c_str());
  } else {
    answer["error"] = "unknown component";
  }
  Post(answer);
}

}  // namespace

extern "C" const char* const* Init(const char* appFolder, const char* webRoot,
                                   const char* appDataFolder, const char* extensionFolder,
                                   IWrapperApp* app) {
  state.app = app;
  state.appDataFolder = appDataFolder;
  state.callLog = CallLogPath(app->GetPackageJson(), state.appDataFolder);
  LogCall("Init");
  Post({{"component", "keelbridge"},
        {"event", "init"},
        {"appFolder", appFolder},
        {"webRoot", webRoot},
        {"appDataFolder", appDataFolder},
        {"extensionFolder", extensionFolder}});
  Post({{"component", "keelbridge"}, {"event", "ready"}});
  return kComponentIds;
}

extern "C" void Release() {
  LogCall("Release");
  state.app = nullptr;
}

extern "C" void OnMainWindowCreated(unsigned long x11Window) {
  LogCall("OnMainWindowCreated " + std::to_string(x11Window));
  Post({{"component", "keelbridge"}, {"event", "window"}, {"window", x11Window}});
}

// The host passes the page's text unchanged; one that is not a JSON object is ignored.
extern "C" void OnExtensionMessage(const char* text) {
  const json request = json::parse(text, nullptr, false);
  if (!request.is_object()) return;
  try {
    HandleRequest(request);
  } catch (const std::exception&) {
    // A member of an unexpected kind: the request is dropped.
  }
}
