#include "common/JsonReaders.h"

#include "common/TruncatedBits.h"

namespace tavrelle {

namespace {

// The member `key` of `object`, or nullptr when `object` is not an object or lacks it.
const nlohmann::json* FindMember(const nlohmann::json& object, const std::string& key) {
  if (!object.is_object()) {
    return nullptr;
  }
  const auto member = object.find(key);
  return member == object.end() ? nullptr : &*member;
}

}  // namespace

std::string GetStringOr(const nlohmann::json& object, const std::string& key,
                        const std::string& fallback) {
  const nlohmann::json* member = FindMember(object, key);
  if (member == nullptr || !member->is_string()) {
    return fallback;
  }
  return member->get_ref<const std::string&>();
}

int32_t GetIntOr(const nlohmann::json& object, const std::string& key, int32_t fallback) {
  const nlohmann::json* member = FindMember(object, key);
  if (member == nullptr) {
    return fallback;
  }
  if (member->is_number_unsigned()) {
    return static_cast<int32_t>(static_cast<uint32_t>(member->get<uint64_t>()));
  }
  if (member->is_number_integer()) {
    return static_cast<int32_t>(static_cast<uint32_t>(member->get<int64_t>()));
  }
  if (member->is_number_float()) {
    return static_cast<int32_t>(LowBitsOfTruncated(member->get<double>()));
  }
  return fallback;
}

bool GetBoolOr(const nlohmann::json& object, const std::string& key, bool fallback) {
  const nlohmann::json* member = FindMember(object, key);
  if (member == nullptr || !member->is_boolean()) {
    return fallback;
  }
  return member->get<bool>();
}

}  // namespace tavrelle
