#include "platform/linux/DialogCommand.h"

#include <gtest/gtest.h>

#include <set>

namespace tavrelle::linux_platform {
namespace {

using Args = std::vector<std::string>;

TEST(DialogCommand, ZenityErrorAndWarning) {
  EXPECT_EQ(DialogArguments(DialogTool::Zenity, "Error reading asset bundle", "Tavrelle",
                            MessageBoxIcon::Error),
            (Args{"zenity", "--error", "--title=Tavrelle", "--text=Error reading asset bundle",
                  "--no-markup"}));
  EXPECT_EQ(DialogArguments(DialogTool::Zenity, "t", "c", MessageBoxIcon::Warning)[1], "--warning");
}

TEST(DialogCommand, KDialogErrorAndWarning) {
  EXPECT_EQ(DialogArguments(DialogTool::KDialog, "text", "My Game", MessageBoxIcon::Error),
            (Args{"kdialog", "--title=My Game", "--error=text"}));
  EXPECT_EQ(DialogArguments(DialogTool::KDialog, "text", "c", MessageBoxIcon::Warning)[2],
            "--sorry=text");
}

TEST(DialogCommand, XMessageReadsTheTextFromStandardInput) {
  std::string text = "-geometry 1x1 \"quoted\" $(rm -rf /) <b>markup</b>";
  Args args = DialogArguments(DialogTool::XMessage, text, "-caption", MessageBoxIcon::Error);
  EXPECT_EQ(args, (Args{"xmessage", "-title", "-caption", "-center", "-buttons", "OK:0",
                        "-default", "OK", "-file", "-"}));
  EXPECT_EQ(DialogStandardInput(DialogTool::XMessage, text), text);
  EXPECT_FALSE(DialogStandardInput(DialogTool::Zenity, text));
}

TEST(DialogCommand, TextsStayWholeArgumentsWhateverTheyContain) {
  std::string text = "a \"b\" 'c' $HOME; `x` & | > \n second line";
  Args args = DialogArguments(DialogTool::Zenity, text, "Title with spaces", MessageBoxIcon::Error);
  EXPECT_EQ(args[3], "--text=" + text);
  EXPECT_EQ(args[2], "--title=Title with spaces");
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

TEST(DialogCommand, LogLine) {
  EXPECT_EQ(DialogLogLine("Failed to create window", "Tavrelle"),
            "Tavrelle: Failed to create window\n");
}

}  // namespace
}  // namespace tavrelle::linux_platform
