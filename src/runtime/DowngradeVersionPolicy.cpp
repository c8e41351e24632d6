#include "runtime/DowngradeVersionPolicy.h"

#include "runtime/ReleaseChannels.h"
#include "runtime/RuntimeFolder.h"
#include "runtime/RuntimeVersion.h"

namespace tavrelle::runtime {

namespace {

constexpr const char* kPolicyName = "DowngradeVersion";
// Exact version folders stay short of the classic path limit, as the runtime's own do.
constexpr size_t kPathLimit = 260;

DowngradeOutcome Declined(std::string message, std::string detail = {}) {
  return {std::move(message), std::move(detail), std::nullopt};
}

// The folder of the first stable install, as the runtime's updater would name it.
std::optional<std::string> FirstStableInstall(const LocatorFiles& files) {
  for (auto location : InstallLocationsOf(ReleaseChannel::Stable, /*edgeView=*/false)) {
    std::string folder(location);
    if (files.kindOf(folder) == FileKind::Directory && CheckClient(files, folder).usable()) {
      return folder;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<DowngradeOutcome> ResolveDowngradeVersion(const PolicyStore& policies,
                                                        const LocatorFiles& files,
                                                        const std::string& executableName) {
  using Scope = PolicyStore::Scope;
  if (executableName.empty() || !policies.keyExists(Scope::Machine, kPolicyName)) {
    return std::nullopt;
  }
  auto value = policies.value(Scope::Machine, kPolicyName, {executableName});
  if (!value || !value->is_string()) return Declined("No version mapping found");
  const std::string version = value->get<std::string>();
  if (version.empty()) return Declined("Version value is empty");
  if (!IsExactVersionText(version)) return Declined("Invalid version format", version);

  auto stable = FirstStableInstall(files);
  if (!stable) return Declined("ClientState key not found");
  const size_t slash = stable->rfind('/');
  if (slash == std::string::npos) return Declined("Invalid EBWebView path format");
  std::string exact = stable->substr(0, slash + 1);
  if (exact.size() + version.size() >= kPathLimit) {
    return Declined("Exact path would exceed MAX_PATH");
  }
  exact += version;
  const FileKind kind = files.kindOf(exact);
  if (kind == FileKind::Missing) return Declined("Exact version folder not found", version);
  if (kind != FileKind::Directory) return Declined("Exact version path is not a directory", exact);
  if (!CheckClient(files, exact).usable()) {
    return Declined("Exact version folder holds no browser", exact);
  }
  return DowngradeOutcome{"Policy applied (exact)", exact, exact};
}

}  // namespace tavrelle::runtime
