// fuzz-sources: src/app/AppConfig.cpp src/common/JsonReaders.cpp src/common/TruncatedBits.cpp
// Any text as "package.json": ParsePackageJson may only fail with the exceptions it
// documents (the JSON library's, or std::runtime_error with a short text).
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app/AppConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tavrelle::AppConfig config;
  try {
    tavrelle::ParsePackageJson(std::string_view(reinterpret_cast<const char*>(data), size), config);
  } catch (const nlohmann::json::exception&) {
  } catch (const std::runtime_error&) {
  }
  return 0;
}
