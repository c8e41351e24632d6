#include "platform/linux/DialogCommand.h"

#include <gtest/gtest.h>

#include <set>

namespace tavrelle::linux_platform {
namespace {

using Args = std::vector<std::string>;
using enum MessageBoxIcon;

TEST(DialogCommand, ZenityAndKDialogErrorsAndWarnings) {
  EXPECT_EQ(DialogArguments(DialogTool::Zenity, "Error reading asset bundle", "Tavrelle", Error),
            (Args{"zenity", "--error", "--title=Tavrelle", "--text=Error reading asset bundle",
                  "--no-markup"}));
  EXPECT_EQ(DialogArguments(DialogTool::KDialog, "text", "My Game", Error),
            (Args{"kdialog", "--title=My Game", "--error=text"}));
  // Texts stay whole arguments whatever they contain.
  std::string text = "a \"b\" 'c' $HOME; `x` & | > \n second line";
  Args args = DialogArguments(DialogTool::Zenity, text, "Title with spaces", Warning);
  EXPECT_EQ(args, (Args{"zenity", "--warning", "--title=Title with spaces", "--text=" + text,
                        "--no-markup"}));
  EXPECT_EQ(DialogLogLine("Failed to create window", "Tavrelle"),
            "Tavrelle: Failed to create window\n");
}

TEST(DialogCommand, XMessageReadsTheTextFromStandardInput) {
  std::string text = "-geometry 1x1 \"quoted\" $(rm -rf /) <b>markup</b>";
  EXPECT_EQ(DialogArguments(DialogTool::XMessage, text, "-caption", Error),
            (Args{"xmessage", "-title", "-caption", "-center", "-buttons", "OK:0", "-default", "OK",
                  "-file", "-"}));
  EXPECT_EQ(DialogStandardInput(DialogTool::XMessage, text), text);
  EXPECT_FALSE(DialogStandardInput(DialogTool::Zenity, text));
}

TEST(DialogCommand, ToolPreferenceOrder) {
  auto only = [](std::set<std::string> installed) {
    return [installed](const std::string& name) { return installed.count(name) > 0; };
  };
  EXPECT_EQ(ChooseDialogTool(only({"zenity", "kdialog", "xmessage"})), DialogTool::Zenity);
  EXPECT_EQ(ChooseDialogTool(only({"kdialog", "xmessage"})), DialogTool::KDialog);
  EXPECT_EQ(ChooseDialogTool(only({"xmessage"})), DialogTool::XMessage);
  EXPECT_FALSE(ChooseDialogTool(only({})));
}

}  // namespace
}  // namespace tavrelle::linux_platform
