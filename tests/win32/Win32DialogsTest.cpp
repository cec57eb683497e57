#include "win32/Win32Dialogs.h"

#include "Win32Support.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace eitool {
namespace {

using testing::ChooseFile;
using testing::MessageText;
using testing::Press;

// A folder typed into the system's picker that does not exist is created, with its missing
// parents, once the question was answered Yes; No shows the picker again.
TEST(Win32Dialogs, PickerCreatesATypedMissingFolderAfterAQuestion) {
    testing::TempDir tmp;
    testing::Actor actor;
    win32::Win32Dialogs dialogs;
    const std::string typed = tmp / "new/deeper";
    std::vector<std::string> questions;
    const auto answer = [&](int button) {
        return [&, button](HWND box) {
            questions.push_back(MessageText(box));
            Press(box, button);
        };
    };
    actor.WhenModal("Select Directory", [&](HWND picker) { ChooseFile(picker, typed); });
    actor.WhenModal("Select Directory", answer(IDNO));
    actor.WhenModal("Select Directory", [&](HWND picker) { ChooseFile(picker, typed); });
    actor.WhenModal("Select Directory", answer(IDYES));
    std::string directory = tmp.Path();
    ASSERT_TRUE(dialogs.SelectDirectory("Select Directory", directory));
    EXPECT_EQ(std::filesystem::path(directory), std::filesystem::path(typed));
    EXPECT_TRUE(std::filesystem::is_directory(typed));
    EXPECT_EQ(questions,
              std::vector<std::string>(2, "The specified directory does not exist. Create it?"));
}

} // namespace
} // namespace eitool
