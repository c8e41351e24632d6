#include "platform/linux/DialogCommand.h"

namespace tavrelle::linux_platform {

std::optional<DialogTool> ChooseDialogTool(
    const std::function<bool(const std::string&)>& installed) {
  if (installed("zenity")) return DialogTool::Zenity;
  if (installed("kdialog")) return DialogTool::KDialog;
  if (installed("xmessage")) return DialogTool::XMessage;
  return std::nullopt;
}

std::vector<std::string> DialogArguments(DialogTool tool, const std::string& text,
                                         const std::string& caption, MessageBoxIcon icon) {
  const bool error = icon == MessageBoxIcon::Error;
  switch (tool) {
    case DialogTool::Zenity:
      return {"zenity", error ? "--error" : "--warning", "--title=" + caption, "--text=" + text,
              "--no-markup"};
    case DialogTool::KDialog:
      return {"kdialog", "--title=" + caption, error ? "--error=" + text : "--sorry=" + text};
    case DialogTool::XMessage:
      return {"xmessage", "-title",   caption, "-center", "-buttons",
              "OK:0",     "-default", "OK",    "-file",   "-"};
  }
  return {};
}

std::optional<std::string> DialogStandardInput(DialogTool tool, const std::string& text) {
  if (tool != DialogTool::XMessage) return std::nullopt;
  return text;
}

std::string DialogLogLine(const std::string& text, const std::string& caption) {
  return caption + ": " + text + "\n";
}

}  // namespace tavrelle::linux_platform
