#include "app/TDirForm.h"

#include "app/FormatTable.h"
#include "common/FileSystem.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace eitool {
namespace {

using testing::ScriptedDialogs;
using testing::TempDir;

class DirForm : public ::testing::Test {
protected:
    DirForm() : form(selectLog, dialogs) { selectLog.filter = OpenDialogFilter(); }

    FileDialog selectLog;
    ScriptedDialogs dialogs;
    TDirForm form;
};

TEST_F(DirForm, FormShowOffersTheOpenDialogsTypesAndChoosesTheFirst) {
    form.FormShow();
    EXPECT_EQ(form.FilterText(), OpenDialogFilter());
    EXPECT_EQ(form.Filter(),
              (std::vector<std::string>{"Data Packs (*.tre)", "Extended Images (*.bmpx,*.tgax)",
                                        "Fints (*.fnt)", "Project list files (*.lst)",
                                        "Log files (*.log)"}));
    EXPECT_EQ(form.FilterItemIndex(), 0);
    EXPECT_EQ(form.TypeIndex(), kTypeIndexDataPacks);
    EXPECT_EQ(form.TypeMask(), "*.tre");
    EXPECT_FALSE(form.BOkEnabled());
}

TEST_F(DirForm, FormShowWalksFiltersOfAnyShape) {
    struct Case {
        const char* filter;
        std::vector<std::string> items;
        const char* mask;
    };
    const Case cases[] = {{"A|*.a|B|*.b", {"A", "B"}, "*.a"},
                          {"A|*.a|", {"A"}, "*.a"},
                          {"A|*.a;*.b", {"A"}, "*.a;*.b"},
                          {"A", {"A"}, ""},
                          {"|*.a", {""}, "*.a"}};
    for (const Case& c : cases) {
        selectLog.filter = c.filter;
        form.FormShow();
        EXPECT_EQ(form.Filter(), c.items) << c.filter;
        EXPECT_EQ(form.TypeMask(), c.mask) << c.filter;
    }
    // Without any type the earlier mask and type stay; nothing is chosen.
    selectLog.filter = "";
    form.FormShow();
    EXPECT_TRUE(form.Filter().empty());
    EXPECT_EQ(form.FilterItemIndex(), -1);
    EXPECT_EQ(form.TypeMask(), "*.a");
}

TEST_F(DirForm, FilterChangeTakesTheChosenTypesMask) {
    form.FormShow();
    const char* masks[] = {"*.tre", "*.bmpx;*.tgax", "*.fnt", "*.lst", "*.log"};
    for (int i = 4; i >= 0; --i) {
        form.ChooseFilter(i);
        EXPECT_EQ(form.TypeIndex(), i);
        EXPECT_EQ(form.TypeMask(), masks[i]);
    }
}

TEST_F(DirForm, ShowingAgainOffersTheFirstTypeButKeepsTheDirectory) {
    form.FormShow();
    form.SetScanDir("no/such/dir"); // whether it exists plays no part
    EXPECT_TRUE(form.BOkEnabled());
    form.ChooseFilter(kTypeIndexLogs);
    form.FormShow();
    EXPECT_EQ(form.TypeIndex(), kTypeIndexDataPacks);
    EXPECT_EQ(form.TypeMask(), "*.tre");
    EXPECT_EQ(form.ScanDir(), "no/such/dir");
    EXPECT_TRUE(form.BOkEnabled());
    form.SetScanDir("");
    EXPECT_FALSE(form.BOkEnabled());
}

TEST_F(DirForm, CallDialogStartsAtTheTypedDirectoryOrTheCurrentOne) {
    TempDir tmp;
    form.SetScanDir(tmp.Path());
    dialogs.picker.reset();
    form.CallDialogClick(); // cancelled: nothing changes
    EXPECT_EQ(form.ScanDir(), tmp.Path());

    form.SetScanDir(tmp / "missing");
    dialogs.picker = tmp / "new/deeper";
    form.CallDialogClick();
    EXPECT_EQ(dialogs.pickerStarts, (std::vector<std::string>{tmp.Path(), CurrentDirectory()}));
    EXPECT_EQ(form.ScanDir(), tmp / "new/deeper");
    EXPECT_TRUE(IsDirectory(tmp / "new/deeper"));
    EXPECT_TRUE(form.BOkEnabled());
}

TEST_F(DirForm, ShowModalRunsFormShowThenAsksTheFrontEnd) {
    dialogs.dirForm = DirFormAnswer{"/games", kTypeIndexFonts};
    EXPECT_TRUE(form.ShowModal());
    EXPECT_EQ(form.ScanDir(), "/games");
    EXPECT_EQ(form.TypeMask(), "*.fnt");
    dialogs.dirForm = DirFormAnswer{"", kTypeIndexFonts};
    EXPECT_FALSE(form.ShowModal()); // Ok cannot be pressed on an empty directory text
    dialogs.dirForm.reset();
    EXPECT_FALSE(form.ShowModal());
    EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"dirform", "dirform", "dirform"}));
}

} // namespace
} // namespace eitool
