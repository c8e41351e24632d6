#include "runtime/PolicyStore.h"

namespace tavrelle::runtime {

namespace {

// Policy files are a few lines; anything larger is not one.
constexpr size_t kLargestPolicyFile = size_t{64} * 1024;

std::string WithTrailingSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

}  // namespace

PolicyStore::PolicyStore(const LocatorFiles& files, std::string machineRoot,
                         std::optional<std::string> userRoot)
    : files_(files), machineRoot_(WithTrailingSlash(std::move(machineRoot))) {
  if (userRoot) userRoot_ = WithTrailingSlash(std::move(*userRoot));
}

const std::optional<std::string>& PolicyStore::rootOf(Scope scope) const {
  return scope == Scope::Machine ? machineRoot_ : userRoot_;
}

bool PolicyStore::rootExists(Scope scope) const {
  const auto& root = rootOf(scope);
  return root && files_.kindOf(*root) == FileKind::Directory;
}

std::optional<nlohmann::json> PolicyStore::key(Scope scope, std::string_view policyName) const {
  const auto& root = rootOf(scope);
  if (!root) return std::nullopt;
  auto text = files_.readText(*root + std::string(policyName) + ".json", kLargestPolicyFile);
  if (!text) return std::nullopt;
  auto parsed = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (!parsed.is_object()) return std::nullopt;
  return parsed;
}

bool PolicyStore::keyExists(Scope scope, std::string_view policyName) const {
  return key(scope, policyName).has_value();
}

std::optional<nlohmann::json> PolicyStore::value(Scope scope, std::string_view policyName,
                                                 const std::vector<std::string>& valueNames) const {
  auto object = key(scope, policyName);
  if (!object) return std::nullopt;
  for (const auto& name : valueNames) {
    auto found = object->find(name);
    if (found != object->end()) return *found;
  }
  return std::nullopt;
}

std::optional<std::string> UserPolicyRoot(const LocatorEnvironment& environment) {
  constexpr const char* kBelowConfig = "tavrelle/policies/";
  if (auto config = environment.variable("XDG_CONFIG_HOME"); config && IsAbsolute(*config)) {
    return WithTrailingSlash(*config) + kBelowConfig;
  }
  if (auto home = environment.variable("HOME"); home && IsAbsolute(*home)) {
    return WithTrailingSlash(*home) + ".config/" + kBelowConfig;
  }
  return std::nullopt;
}

}  // namespace tavrelle::runtime
