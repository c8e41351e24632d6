#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace tavrelle {

// Lenient readers of one member of a JSON object, shared by the configuration and
// every page message: the default when `object` is not an object, has no member
// `key`, or the member has another type.

// The member's string value.
[[nodiscard]] std::string GetStringOr(const nlohmann::json& object, const std::string& key,
                                      const std::string& fallback);
// A number as signed 32 bits: integers keep their low 32 bits, floating values are
// truncated toward zero and keep the low 32 bits of the result too (1e10 gives
// 1410065408; NaN and infinities, which only a document built in code can hold,
// give 0). Booleans are not numbers here.
[[nodiscard]] int32_t GetIntOr(const nlohmann::json& object, const std::string& key,
                               int32_t fallback);
// A boolean member's value; numbers are not converted.
[[nodiscard]] bool GetBoolOr(const nlohmann::json& object, const std::string& key, bool fallback);

}  // namespace tavrelle
