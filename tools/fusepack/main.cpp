// fusepack: the packager of Tavrelle applications.
//
//   fusepack bundle DIR -o FILE   packs every file under DIR into the asset bundle FILE
//   fusepack list FILE            prints "<size> <name>" for every file of a bundle
//   fusepack single-file APPDIR -o OUTPUT [--host PATH]
//                                 writes a game as one executable

#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fusepack/BundleLister.h"
#include "fusepack/BundleWriter.h"
#include "fusepack/HostLocator.h"
#include "fusepack/SingleFilePacker.h"

namespace {

using tavrelle::fusepack::FindHostExecutable;
using tavrelle::fusepack::HostCandidates;
using tavrelle::fusepack::ListBundle;
using tavrelle::fusepack::ResolvedOwnExecutable;
using tavrelle::fusepack::WriteBundle;
using tavrelle::fusepack::WriteSingleFile;

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
    "  single-file APPDIR -o OUTPUT [--host PATH]\n"
    "                       write the game in APPDIR as the one executable OUTPUT\n"
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

constexpr std::string_view kSingleFileUsage =
    "Usage: fusepack single-file APPDIR -o OUTPUT [--host PATH]\n"
    "\n"
    "Writes the game in the folder APPDIR as one executable file OUTPUT that a player\n"
    "can run on its own: a copy of the Tavrelle host carrying\n"
    "  APPDIR/package.json                   as the resource \"PackageJson\",\n"
    "  a bundle of every file in APPDIR/www  as the resource \"AssetBundle\",\n"
    "  a bundle of every file in APPDIR/extensions (names relative to that folder,\n"
    "  when the folder exists)               as the resource \"Extensions\",\n"
    "all of type \"ZephyxData\". package.json must set \"bundle\": {\"type\":\n"
    "\"single-file\"}. At every start the game unpacks its extension files into\n"
    "\"<app data folder>/zxext/\" and loads Keelbridge.so from there; it writes nothing\n"
    "beside itself. OUTPUT is written beside itself first, renamed into place when\n"
    "complete, and marked executable.\n"
    "\n"
    "The host executable 'tavrelle' is looked for beside the path fusepack was started\n"
    "as, then beside fusepack's own executable (links resolved).\n"
    "\n"
    "Options:\n"
    "  -o, --output OUTPUT  the executable to write (required)\n"
    "      --host PATH      the host executable to copy instead of looking for it\n"
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

struct SingleFileArguments {
  std::string appFolder;
  std::string outputPath;
  std::optional<std::string> hostPath;
};

// The value of the option at arguments[i]; nothing after reporting it missing.
std::optional<std::string> OptionValue(const std::vector<std::string>& arguments, size_t& i,
                                       std::string_view what, std::string_view usage) {
  if (i + 1 == arguments.size()) {
    FailWithUsage("The option " + arguments[i] + " needs " + std::string(what) + ".", usage);
    return std::nullopt;
  }
  return arguments[++i];
}

// Nothing after reporting the problem on standard error.
std::optional<SingleFileArguments> ParseSingleFileArguments(
    const std::vector<std::string>& arguments) {
  SingleFileArguments parsed;
  std::optional<std::string> folder;
  std::optional<std::string> output;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-o" || argument == "--output") {
      output = OptionValue(arguments, i, "a file name", kSingleFileUsage);
      if (!output) return std::nullopt;
    } else if (argument == "--host") {
      parsed.hostPath = OptionValue(arguments, i, "the host executable", kSingleFileUsage);
      if (!parsed.hostPath) return std::nullopt;
    } else if (argument.size() > 1 && argument[0] == '-') {
      FailWithUsage("Unknown option '" + argument + "'.", kSingleFileUsage);
      return std::nullopt;
    } else if (folder) {
      FailWithUsage("Only one game folder can be packed, but '" + argument + "' was given too.",
                    kSingleFileUsage);
      return std::nullopt;
    } else {
      folder = argument;
    }
  }
  if (!folder) {
    FailWithUsage("The game folder to pack is missing.", kSingleFileUsage);
    return std::nullopt;
  }
  if (!output) {
    FailWithUsage("The executable to write is missing: name it with -o OUTPUT.", kSingleFileUsage);
    return std::nullopt;
  }
  parsed.appFolder = *folder;
  parsed.outputPath = *output;
  return parsed;
}

std::string JoinedQuoted(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) {
    text += (text.empty() ? "'" : ", '") + path + "'";
  }
  return text.empty() ? "nowhere" : text;
}

int RunSingleFile(const std::vector<std::string>& arguments, const std::string& startedAs) {
  const std::optional<SingleFileArguments> parsed = ParseSingleFileArguments(arguments);
  if (!parsed) {
    return kFailure;
  }
  std::optional<std::string> host = parsed->hostPath;
  if (host && !FindHostExecutable({*host})) {
    return Fail("The host executable '" + *host + "' named with --host is not a file.");
  }
  if (!host) {
    const std::vector<std::string> candidates = HostCandidates(startedAs, ResolvedOwnExecutable());
    host = FindHostExecutable(candidates);
    if (!host) {
      return Fail("The host executable 'tavrelle' was not found (looked at " +
                  JoinedQuoted(candidates) + "); name it with --host PATH.");
    }
  }
  try {
    WriteSingleFile(parsed->appFolder, *host, parsed->outputPath, std::cerr);
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
  return kSuccess;
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
  if (command == "single-file") {
    if (AsksForHelp(arguments)) {
      std::cout << kSingleFileUsage;
      return kSuccess;
    }
    return RunSingleFile(arguments, argv[0]);
  }
  return FailWithUsage("Unknown command '" + command + "'.", kMainUsage);
}
