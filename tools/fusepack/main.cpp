// fusepack: the packager of Tavrelle applications.
//
//   fusepack bundle DIR -o FILE   packs every file under DIR into the asset bundle FILE
//   fusepack list FILE            prints "<size> <name>" for every file of a bundle

#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fusepack/BundleLister.h"
#include "fusepack/BundleWriter.h"

namespace {

using tavrelle::fusepack::ListBundle;
using tavrelle::fusepack::WriteBundle;

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

constexpr std::string_view kMainUsage =
    "Usage: fusepack <command> [arguments]\n"
    "\n"
    "Packs the files of a Tavrelle application.\n"
    "\n"
    "Commands:\n"
    "  bundle DIR -o FILE   pack every file under DIR into the asset bundle FILE\n"
    "  list FILE            print the size and name of every file in the bundle FILE\n"
    "\n"
    "Run 'fusepack <command> --help' for the details of a command.\n";

constexpr std::string_view kBundleUsage =
    "Usage: fusepack bundle DIR -o FILE\n"
    "\n"
    "Packs every regular file under the folder DIR into the asset bundle FILE.\n"
    "Names are stored relative to DIR with '/' separators, in byte order, so the\n"
    "same files always give the same bundle. Links to files are followed; links to\n"
    "folders are not. FILE is written beside itself first and renamed into place\n"
    "when complete; when it lies inside DIR it is not packed.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE    the bundle to write (required)\n"
    "  -h, --help           show this help\n";

constexpr std::string_view kListUsage =
    "Usage: fusepack list FILE\n"
    "\n"
    "Prints one line \"<size> <name>\" for every file in the asset bundle FILE, in\n"
    "name order. A damaged bundle is reported with the reader's message.\n"
    "\n"
    "Options:\n"
    "  -h, --help           show this help\n";

bool IsHelp(std::string_view argument) { return argument == "-h" || argument == "--help"; }

int Fail(const std::string& message) {
  std::cerr << message << '\n';
  return kFailure;
}

int FailWithUsage(const std::string& message, std::string_view usage) {
  std::cerr << message << "\n\n" << usage;
  return kFailure;
}

struct BundleArguments {
  std::string sourceFolder;
  std::string outputPath;
};

// Nothing after reporting the problem on standard error.
std::optional<BundleArguments> ParseBundleArguments(const std::vector<std::string>& arguments) {
  std::optional<std::string> source;
  std::optional<std::string> output;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-o" || argument == "--output") {
      if (i + 1 == arguments.size()) {
        FailWithUsage("The option " + argument + " needs a file name.", kBundleUsage);
        return std::nullopt;
      }
      output = arguments[++i];
    } else if (argument.size() > 1 && argument[0] == '-') {
      FailWithUsage("Unknown option '" + argument + "'.", kBundleUsage);
      return std::nullopt;
    } else if (source) {
      FailWithUsage("Only one folder can be packed, but '" + argument + "' was given too.",
                    kBundleUsage);
      return std::nullopt;
    } else {
      source = argument;
    }
  }
  if (!source) {
    FailWithUsage("The folder to pack is missing.", kBundleUsage);
    return std::nullopt;
  }
  if (!output) {
    FailWithUsage("The bundle to write is missing: name it with -o FILE.", kBundleUsage);
    return std::nullopt;
  }
  return BundleArguments{*source, *output};
}

int RunBundle(const std::vector<std::string>& arguments) {
  const std::optional<BundleArguments> parsed = ParseBundleArguments(arguments);
  if (!parsed) {
    return kFailure;
  }
  try {
    WriteBundle(parsed->sourceFolder, parsed->outputPath, std::cerr);
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
  return kSuccess;
}

int RunList(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument.size() > 1 && argument[0] == '-') {
      return FailWithUsage("Unknown option '" + argument + "'.", kListUsage);
    }
  }
  if (arguments.size() != 1) {
    return FailWithUsage(arguments.empty() ? "The bundle to list is missing."
                                           : "Only one bundle can be listed at a time.",
                         kListUsage);
  }
  try {
    ListBundle(arguments.front(), std::cout);
  } catch (const std::exception& error) {
    std::cout.flush();
    return Fail(error.what());
  }
  std::cout.flush();
  return std::cout ? kSuccess : Fail("Cannot write the listing to standard output.");
}

bool AsksForHelp(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (IsHelp(argument)) {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty()) {
    return FailWithUsage("A command is missing.", kMainUsage);
  }
  const std::string& command = all.front();
  const std::vector<std::string> arguments(all.begin() + 1, all.end());
  if (IsHelp(command)) {
    std::cout << kMainUsage;
    return kSuccess;
  }
  if (command == "bundle") {
    if (AsksForHelp(arguments)) {
      std::cout << kBundleUsage;
      return kSuccess;
    }
    return RunBundle(arguments);
  }
  if (command == "list") {
    if (AsksForHelp(arguments)) {
      std::cout << kListUsage;
      return kSuccess;
    }
    return RunList(arguments);
  }
  return FailWithUsage("Unknown command '" + command + "'.", kMainUsage);
}
