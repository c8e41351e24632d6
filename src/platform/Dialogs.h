#pragma once

#include <string>

namespace tavrelle {

enum class MessageBoxIcon { Error, Warning };

// Shows a modal message with one OK button and no owner window, and waits until it is
// dismissed. Always also written to standard error, so it is seen without a display.
void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon);

}  // namespace tavrelle
