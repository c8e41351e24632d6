#pragma once

// A machine for the runtime locator: a folder tree standing in for /, fake variables,
// a fake executable path and privilege answer, browsers that answer a version question,
// and a fake client that records what it was asked to start.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/linux/PosixLocatorPorts.h"
#include "runtime/RuntimeLocator.h"
#include "support/TempDir.h"

namespace tavrelle::runtime::test {

class FakeEnvironment final : public LocatorEnvironment {
 public:
  [[nodiscard]] std::optional<std::string> variable(const std::string& name) const override {
    auto found = variables.find(name);
    if (found == variables.end() || found->second.empty()) return std::nullopt;
    return found->second;
  }
  [[nodiscard]] std::variant<std::string, HResult> executablePath() const override {
    return exePath;
  }
  std::map<std::string, std::string> variables;
  std::variant<std::string, HResult> exePath = std::string("/games/quest/tavrelle");
};

// Browsers answer --product-version with the version set for their path.
class FakeProcesses final : public ProcessRunner {
 public:
  std::optional<std::string> outputOf(const std::string& executable,
                                      const std::vector<std::string>& arguments,
                                      std::chrono::milliseconds /*timeout*/) override {
    runs.push_back(executable);
    auto found = answers.find(executable);
    if (found == answers.end() || arguments != std::vector<std::string>{"--product-version"}) {
      return std::nullopt;
    }
    return found->second + "\n";
  }
  std::map<std::string, std::string> answers;
  std::vector<std::string> runs;
};

class FakeClient final : public RuntimeClient {
 public:
  HResult Load(const std::string& clientPath) override {
    loads.push_back(clientPath);
    return loadResult;
  }
  [[nodiscard]] bool OffersEnvironmentCreation(const std::string&) const override {
    return offersCreation;
  }
  HResult CreateEnvironment(const ClientEnvironmentRequest& request,
                            webview::EnvironmentCompletedHandler handler) override {
    requests.push_back(request);
    HResult result = createResults.empty() ? kOk : createResults.front();
    if (!createResults.empty()) createResults.erase(createResults.begin());
    if (Succeeded(result)) handlers.push_back(std::move(handler));
    return result;
  }
  HResult loadResult = kOk;
  bool offersCreation = true;
  std::vector<HResult> createResults;  // in order; kOk once they are used up
  std::vector<std::string> loads;
  std::vector<ClientEnvironmentRequest> requests;
  std::vector<webview::EnvironmentCompletedHandler> handlers;
};

class LocatorTestBed {
 public:
  LocatorTestBed() : files(dir.path()) {}

  // A browser executable "<folder>/<name>" below the root that answers `version`.
  void installBrowser(const std::string& folder, const std::string& version = "120.0.6099.71",
                      const std::string& name = "chrome") {
    const std::string path = folder + "/" + name;
    dir.writeFile(path.substr(1), "#!/bin/sh\n");
    std::filesystem::permissions(dir.path() + path, std::filesystem::perms::owner_all |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read);
    processes.answers[path] = version;
  }
  void writeFile(const std::string& path, const std::string& text) const {
    dir.writeFile(path.substr(1), text);
  }
  void makeFolder(const std::string& path) const { dir.makeFolder(path.substr(1)); }
  [[nodiscard]] std::string real(const std::string& path) const { return dir.path() + path; }

  RuntimeLocator& locator() {
    if (!locator_) {
      LocatorPorts ports;
      ports.environment = &environment;
      ports.files = &files;
      ports.processes = &processes;
      ports.isElevated = [this] {
        ++elevationQuestions;
        return elevated;
      };
      ports.debugOutput = [this](std::string_view text) { debug += text; };
      ports.traceOutput = [this](std::string_view event) { events.emplace_back(event); };
      ports.post = [this](std::function<void()> task) { posted.push_back(std::move(task)); };
      locator_ = std::make_unique<RuntimeLocator>(ports, client, "/etc/tavrelle/policies/");
    }
    return *locator_;
  }
  // A new locator over the same machine, as in the next start of the host.
  void restart() { locator_.reset(); }

  std::optional<std::string> version(const std::optional<std::string>& folder = std::nullopt) {
    std::optional<std::string> text;
    lastResult = locator().GetAvailableCoreWebView2BrowserVersionString(folder, &text);
    return text;
  }

  HResult create(const std::optional<std::string>& folder = std::nullopt,
                 const std::optional<webview::EnvironmentOptions>& options = std::nullopt) {
    return locator().CreateCoreWebView2EnvironmentWithOptions(
        folder, std::string("/home/p/.local/share/quest"), options,
        [this](const webview::CreationResult& result,
               std::shared_ptr<webview::WebViewEnvironment> created) {
          delivered.push_back(result);
          deliveredEnvironments.push_back(std::move(created));
        });
  }

  tavrelle::test::TempDir dir;
  FakeEnvironment environment;
  linux_platform::PosixLocatorFiles files;
  FakeProcesses processes;
  FakeClient client;
  bool elevated = false;
  int elevationQuestions = 0;
  std::string debug;
  std::vector<std::string> events;
  std::vector<std::function<void()>> posted;
  HResult lastResult = kOk;
  std::vector<webview::CreationResult> delivered;
  std::vector<std::shared_ptr<webview::WebViewEnvironment>> deliveredEnvironments;

 private:
  std::unique_ptr<RuntimeLocator> locator_;
};

}  // namespace tavrelle::runtime::test
