#pragma once

#include <string>

#include "platform/Dialogs.h"

namespace tavrelle::linux_platform {

// The message box on Linux: zenity, kdialog or xmessage where a display is set, and
// always a line on standard error.
void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon);

}  // namespace tavrelle::linux_platform
