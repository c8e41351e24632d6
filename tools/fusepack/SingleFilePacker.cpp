#include "fusepack/SingleFilePacker.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "app/AppConfig.h"
#include "fusepack/BundleWriter.h"
#include "fusepack/ResourceAppender.h"
#include "fusepack/SystemError.h"
#include "platform/Files.h"

namespace tavrelle::fusepack {

namespace {

constexpr const char* kResourceType = "ZephyxData";

bool IsFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The packed game reads its files only from its own resources, so a configuration
// that would look for them beside the executable can never work as one file.
void RequireUsablePackage(const std::string& appFolder, const std::string& packagePath) {
  const std::optional<std::string> text = ReadWholeFile(packagePath);
  if (!text) {
    throw std::runtime_error("There is no readable package.json in the game folder '" + appFolder +
                             "'.");
  }
  AppConfig config;
  try {
    ParsePackageJson(*text, config);
  } catch (const std::exception& error) {
    throw std::runtime_error("'" + packagePath + "' is not a valid configuration (" + error.what() +
                             ").");
  }
  if (config.bundleType == BundleType::None) {
    throw std::runtime_error("'" + packagePath +
                             "' must set \"bundle\": {\"type\": \"single-file\"}: with no bundle "
                             "the game would look for its files beside the executable.");
  }
}

// A private scratch folder for the bundles, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fusepack-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      ThrowSystemError("Cannot create a temporary folder");
    }
    path_ = pattern;
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  [[nodiscard]] std::string pathOf(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace

void WriteSingleFile(const std::string& appFolder, const std::string& hostPath,
                     const std::string& outputPath, std::ostream& progress) {
  const std::string packagePath = appFolder + "/package.json";
  const std::string webRoot = appFolder + "/www";
  const std::string extensions = appFolder + "/extensions";
  if (!IsFolder(appFolder)) {
    throw std::runtime_error("The game folder '" + appFolder + "' does not exist.");
  }
  RequireUsablePackage(appFolder, packagePath);
  if (!IsFolder(webRoot)) {
    throw std::runtime_error("There is no www folder in the game folder '" + appFolder +
                             "': the game's files are packed from it.");
  }
  const ScratchFolder scratch;
  std::vector<ResourceSource> resources{{kResourceType, "PackageJson", packagePath}};
  WriteBundle(webRoot, scratch.pathOf("www.zxab"), progress);
  resources.push_back({kResourceType, "AssetBundle", scratch.pathOf("www.zxab")});
  if (IsFolder(extensions)) {
    WriteBundle(extensions, scratch.pathOf("extensions.zxab"), progress);
    resources.push_back({kResourceType, "Extensions", scratch.pathOf("extensions.zxab")});
  }
  AppendResources(hostPath, resources, outputPath);
}

}  // namespace tavrelle::fusepack
