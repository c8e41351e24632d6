#pragma once

#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "extensions/ExtensionManager.h"
#include "platform/SharedLibrary.h"
#include "support/CallLog.h"

namespace tavrelle::test {

// An extension-manager library inside the test program. Its exports are plain
// functions that act on the one live FakeKeelbridge; which of them the library
// "exports" and how they behave is set per test. Calls go to `log` in order.
class FakeKeelbridge {
 public:
  explicit FakeKeelbridge(std::shared_ptr<CallLog> callLog = std::make_shared<CallLog>())
      : log(std::move(callLog)) {
    current_ = this;
  }
  FakeKeelbridge(const FakeKeelbridge&) = delete;
  FakeKeelbridge& operator=(const FakeKeelbridge&) = delete;
  ~FakeKeelbridge() { current_ = nullptr; }

  LibraryLoader loader() {
    return [this](const std::string& path) -> std::unique_ptr<SharedLibrary> {
      log->add("load:" + path);
      return loads ? std::make_unique<Library>(*this) : nullptr;
    };
  }

  bool loads = true;
  std::set<std::string> exports{"Init", "Release", "OnMainWindowCreated", "OnExtensionMessage"};
  std::vector<std::string> componentIds{"echo", "folders"};
  bool initReturnsNull = false;
  bool initThrows = false;
  bool messageThrows = false;
  std::vector<std::string> postDuringInit;  // posted through IWrapperApp inside Init

  std::shared_ptr<CallLog> log;
  std::vector<std::string> initArguments;  // the four folder texts
  IWrapperApp* app = nullptr;
  std::vector<std::string> messages;  // OnExtensionMessage texts

 private:
  class Library final : public SharedLibrary {
   public:
    explicit Library(FakeKeelbridge& owner) : owner_(owner) {}
    ~Library() override { owner_.log->add("unload"); }
    [[nodiscard]] void* symbol(const char* name) const override {
      static const std::map<std::string, void*> kAll{
          {"Init", reinterpret_cast<void*>(&Init)},
          {"Release", reinterpret_cast<void*>(&Release)},
          {"OnMainWindowCreated", reinterpret_cast<void*>(&OnMainWindowCreated)},
          {"OnExtensionMessage", reinterpret_cast<void*>(&OnExtensionMessage)}};
      return owner_.exports.contains(name) ? kAll.at(name) : nullptr;
    }

   private:
    FakeKeelbridge& owner_;
  };

  static const char* const* Init(const char* appFolder, const char* webRoot,
                                 const char* appDataFolder, const char* extensionFolder,
                                 IWrapperApp* wrapper) {
    FakeKeelbridge& self = *current_;
    self.log->add("Init");
    self.initArguments = {appFolder, webRoot, appDataFolder, extensionFolder};
    self.app = wrapper;
    for (const std::string& text : self.postDuringInit) wrapper->PostMessageToPage(text.c_str());
    if (self.initThrows) throw std::runtime_error("init failed");
    if (self.initReturnsNull) return nullptr;
    self.idPointers_.clear();
    for (const std::string& id : self.componentIds) self.idPointers_.push_back(id.c_str());
    self.idPointers_.push_back(nullptr);
    return self.idPointers_.data();
  }
  static void Release() { current_->log->add("Release"); }
  static void OnMainWindowCreated(unsigned long window) {
    current_->log->add("OnMainWindowCreated:" + std::to_string(window));
  }
  static void OnExtensionMessage(const char* json) {
    current_->log->add("OnExtensionMessage");
    current_->messages.emplace_back(json);
    if (current_->messageThrows) throw std::runtime_error("message failed");
  }

  std::vector<const char*> idPointers_;
  static inline FakeKeelbridge* current_ = nullptr;
};

}  // namespace tavrelle::test
