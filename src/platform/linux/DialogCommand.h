#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace tavrelle::linux_platform {

enum class DialogTool { Zenity, KDialog, XMessage };

// The first of zenity, kdialog and xmessage that is installed.
[[nodiscard]] std::optional<DialogTool> ChooseDialogTool(
    const std::function<bool(const std::string&)>& installed);

// The argument vector of the tool showing one message with an OK button. Texts are
// passed as whole arguments (or, for xmessage, on its standard input: see
// DialogStandardInput), so that no text is ever read as an option or as markup.
[[nodiscard]] std::vector<std::string> DialogArguments(DialogTool tool, const std::string& text,
                                                       const std::string& caption,
                                                       MessageBoxIcon icon);

// What the tool reads on its standard input: the text for xmessage, nothing otherwise.
[[nodiscard]] std::optional<std::string> DialogStandardInput(DialogTool tool,
                                                             const std::string& text);

// The line written to standard error for every message: "<caption>: <text>".
[[nodiscard]] std::string DialogLogLine(const std::string& text, const std::string& caption);

}  // namespace tavrelle::linux_platform
