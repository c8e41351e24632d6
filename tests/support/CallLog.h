#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace tavrelle::test {

// The calls that fakes received, in order, shared between fakes so that tests can
// check the order across them ("window.setForeground" before "controller.MoveFocus").
class CallLog {
 public:
  void add(std::string entry) { entries_.push_back(std::move(entry)); }
  [[nodiscard]] const std::vector<std::string>& entries() const { return entries_; }
  [[nodiscard]] bool contains(const std::string& entry) const { return indexOf(entry) >= 0; }
  // Position of the first matching entry; -1 when absent.
  [[nodiscard]] long indexOf(const std::string& entry) const {
    const auto found = std::find(entries_.begin(), entries_.end(), entry);
    return found == entries_.end() ? -1 : static_cast<long>(found - entries_.begin());
  }
  void clear() { entries_.clear(); }

 private:
  std::vector<std::string> entries_;
};

}  // namespace tavrelle::test
