#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tavrelle::chromium {

class DevToolsClient;

// The page's cursor and device pixel ratio, as the injected cursor script reports them
// from the page session's documents.
class CursorReporter {
 public:
  static constexpr const char* kBindingName = "__tavrelleCursorBinding";

  CursorReporter(DevToolsClient& client, std::string pageSessionId);
  CursorReporter(const CursorReporter&) = delete;
  CursorReporter& operator=(const CursorReporter&) = delete;

  // Injects the script in every new document and in the current one.
  void start();
  void setOnCursorChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }

  [[nodiscard]] const std::string& cursor() const { return cursor_; }
  [[nodiscard]] double devicePixelRatio() const { return devicePixelRatio_; }

  // Handles one report of the script ("c<cursor>" or "r<ratio>").
  void onReport(const std::string& payload);

 private:
  DevToolsClient& client_;
  std::string pageSessionId_;
  std::string cursor_ = "default";
  double devicePixelRatio_ = 1.0;
  std::function<void()> onChanged_;
};

// The script source that reports through the binding.
[[nodiscard]] std::string CursorScriptSource();

}  // namespace tavrelle::chromium
