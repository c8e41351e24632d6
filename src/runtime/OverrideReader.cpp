#include "runtime/OverrideReader.h"

#include <cwctype>

#include "runtime/ReleaseChannels.h"

namespace tavrelle::runtime {

using Scope = PolicyStore::Scope;

OverrideReader::OverrideReader(const LocatorEnvironment& environment, const PolicyStore& policies,
                               bool elevated, std::string executableName, bool& policyRootFound)
    : environment_(environment),
      policies_(policies),
      elevated_(elevated),
      executableName_(std::move(executableName)),
      policyRootFound_(policyRootFound) {}

std::vector<std::string> OverrideReader::valueNames(bool wildcardAllowed) const {
  std::vector<std::string> names;
  if (!executableName_.empty()) names.push_back(executableName_);
  if (wildcardAllowed) names.emplace_back("*");
  return names;
}

std::optional<nlohmann::json> OverrideReader::readPolicy(const Setting& setting) {
  if (!setting.forcePolicyCheck && !policyRootFound_) return std::nullopt;
  policyRootFound_ =
      policies_.rootExists(Scope::Machine) || (!elevated_ && policies_.rootExists(Scope::User));
  if (!policyRootFound_) return std::nullopt;
  const auto names = valueNames(setting.wildcardAllowed);
  if (auto value = policies_.value(Scope::Machine, setting.policyName, names)) return value;
  if (elevated_) return std::nullopt;
  return policies_.value(Scope::User, setting.policyName, names);
}

OverrideReader::Raw OverrideReader::readRaw(const Setting& setting) {
  if (!elevated_) {
    if (auto text = environment_.variable(setting.variable)) return {std::move(text), {}};
  }
  return {{}, readPolicy(setting)};
}

std::optional<std::string> OverrideReader::readString(const Setting& setting) {
  Raw raw = readRaw(setting);
  if (raw.fromEnvironment) return raw.fromEnvironment;
  if (raw.fromPolicy && raw.fromPolicy->is_string()) return raw.fromPolicy->get<std::string>();
  return std::nullopt;
}

std::optional<bool> OverrideReader::readFlag(const Setting& setting) {
  Raw raw = readRaw(setting);
  if (raw.fromEnvironment) return LeadingNumberOf(*raw.fromEnvironment) == 1;
  if (!raw.fromPolicy) return std::nullopt;
  if (raw.fromPolicy->is_number_integer()) return raw.fromPolicy->get<int64_t>() == 1;
  if (raw.fromPolicy->is_string()) {
    return LeadingNumberOf(raw.fromPolicy->get<std::string>()) == 1;
  }
  return std::nullopt;
}

std::optional<uint32_t> OverrideReader::readChannelList(const Setting& setting) {
  if (auto text = readString(setting)) return ParseReleaseChannelList(*text);
  return std::nullopt;
}

int64_t LeadingNumberOf(std::string_view text) {
  size_t at = 0;
  while (at < text.size() &&
         std::iswspace(static_cast<wint_t>(static_cast<unsigned char>(text[at])))) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  int64_t number = 0;
  constexpr int64_t kCeiling = int64_t{1} << 40;  // far beyond any value that matters
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    if (number < kCeiling) number = number * 10 + (text[at] - '0');
    ++at;
  }
  return negative ? -number : number;
}

}  // namespace tavrelle::runtime
