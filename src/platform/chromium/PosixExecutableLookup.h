#pragma once

#include "runtime/RuntimeLocator.h"

namespace tavrelle::chromium {

// The machine's files and PATH, for the runtime locator.
class PosixExecutableLookup final : public runtime::ExecutableLookup {
 public:
  [[nodiscard]] bool isExecutableFile(const std::string& path) const override;
  [[nodiscard]] std::string searchPath() const override;
};

}  // namespace tavrelle::chromium
