#include "platform/linux/Dialogs.h"

#include <cstdio>
#include <cstdlib>

#include "platform/linux/ChildProcess.h"
#include "platform/linux/DialogCommand.h"

namespace tavrelle::linux_platform {

void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
  std::string line = DialogLogLine(text, caption);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);

  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return;
  std::optional<DialogTool> tool = ChooseDialogTool(ProgramInPath);
  if (!tool) return;  // the message is on standard error already
  std::optional<std::string> input = DialogStandardInput(*tool, text);
  pid_t pid =
      StartProgram(DialogArguments(*tool, text, caption, icon), true, input ? &*input : nullptr);
  if (pid > 0) WaitForProgram(pid);
}

}  // namespace tavrelle::linux_platform
