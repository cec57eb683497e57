#include "win32/MainWindow.h"

#include "Win32Support.h"
#include "app/FormatTable.h"
#include "app/ToolButtons.h"
#include "support/TempDir.h"
#include "win32/DirDialog.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <richedit.h>
#include <shlobj.h>

namespace eitool {
namespace {

using testing::ChooseFile;
using testing::MessageText;
using testing::Press;
using testing::ReadText;
using testing::TextOf;
using testing::WriteSamplePack;
using testing::WriteText;
using win32::MainWindow;

// The tool buttons by position.
enum Tool { tbAddLog, tbProcessDir, tbSaveList, tbRemLog, tbClearAll, tbProcess, tbExit };

// The enabled controls as the window shows them: the tool buttons in their order, the list,
// Stop and Save results.
std::string ShownEnabled(const MainWindow& window) {
    std::string shown;
    const auto add = [&](const std::string& name, bool enabled) {
        if (enabled) {
            shown += (shown.empty() ? "" : " ") + name;
        }
    };
    for (int i = 0; i < kToolImageCount; ++i) {
        add(kToolButtons[i].name,
            SendMessageA(window.ToolBar(), TB_ISBUTTONENABLED, win32::kToolCommand + i, 0) != 0);
    }
    add("LogList", IsWindowEnabled(window.LogList()) != 0);
    add("Stop", IsWindowEnabled(window.Stop()) != 0);
    add("SaveLog", IsWindowEnabled(window.SaveLog()) != 0);
    return shown;
}

SIZE SizeOf(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

class Win32WindowTest : public ::testing::Test {
protected:
    Win32WindowTest() : window(&dialogs) {
        dialogs.SetOwner(window.Window());
        dialogs.target = tmp / "out";
        saved = std::filesystem::current_path();
    }
    // A run makes its target the current directory.
    ~Win32WindowTest() override { std::filesystem::current_path(saved); }

    void Click(Tool tool) {
        SendMessageA(window.Window(), WM_COMMAND, MAKEWPARAM(win32::kToolCommand + tool, 0),
                     reinterpret_cast<LPARAM>(window.ToolBar()));
    }
    void Click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }
    // Selects entries first to last in the list box as the user does.
    void SelectRows(int first, int last) {
        SendMessageA(window.LogList(), LB_SETSEL, FALSE, -1);
        SendMessageA(window.LogList(), LB_SELITEMRANGEEX, static_cast<WPARAM>(first), last);
        SendMessageA(window.Window(), WM_COMMAND, MAKEWPARAM(win32::kLogListId, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(window.LogList()));
    }
    void KeyOnList(WPARAM key) { SendMessageA(window.LogList(), WM_KEYDOWN, key, 0); }
    // Drops files on the list as the shell does.
    void Drop(const TextLines& paths) {
        std::string names;
        for (const std::string& path : paths) {
            names += path + '\0';
        }
        names += '\0';
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size());
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), names.size());
        GlobalUnlock(memory);
        SendMessageA(window.LogList(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }
    void AnswerCompletion() {
        actor.WhenModal("Process status:", [](HWND box) { Press(box, IDOK); });
    }

    testing::TempDir tmp;
    testing::TargetDialogs dialogs;
    MainWindow window;
    testing::Actor actor;
    std::filesystem::path saved;
};

TEST_F(Win32WindowTest, CaptionsLayoutAndToolsAreTheDesignedOnes) {
    EXPECT_EQ(TextOf(window.Window()), "Extract\\Insert Tool");
    RECT client{};
    GetClientRect(window.Window(), &client);
    EXPECT_EQ(client.right, 688);
    EXPECT_EQ(client.bottom, 464);
    EXPECT_NE(GetWindowLongPtrA(window.Window(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_EQ(GetWindowLongPtrA(window.Window(), GWL_STYLE) & WS_THICKFRAME, 0);

    ASSERT_EQ(SendMessageA(window.ToolBar(), TB_BUTTONCOUNT, 0, 0), kToolImageCount);
    for (int i = 0; i < kToolImageCount; ++i) {
        TBBUTTON button{};
        SendMessageA(window.ToolBar(), TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        EXPECT_EQ(button.iBitmap, kToolButtons[i].image) << kToolButtons[i].name;
        NMTTDISPINFOA tip{};
        tip.hdr.code = TTN_GETDISPINFOA;
        tip.hdr.idFrom = static_cast<UINT_PTR>(button.idCommand);
        SendMessageA(window.Window(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
        EXPECT_STREQ(tip.lpszText, kToolButtons[i].hint);
        // The hint is also the button's text, its name for screen readers, and 23 pixels on.
        char text[64] = {};
        SendMessageA(window.ToolBar(), TB_GETBUTTONTEXTA, static_cast<WPARAM>(button.idCommand),
                     reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, kToolButtons[i].hint);
        RECT place{};
        SendMessageA(window.ToolBar(), TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&place));
        EXPECT_EQ(place.right - place.left, 23) << kToolButtons[i].name;
    }
    const auto images = [&](UINT message) {
        return ImageList_GetImageCount(
            reinterpret_cast<HIMAGELIST>(SendMessageA(window.ToolBar(), message, 0, 0)));
    };
    EXPECT_EQ(images(TB_GETIMAGELIST), 7);
    EXPECT_EQ(images(TB_GETDISABLEDIMAGELIST), 6);

    EXPECT_EQ(SizeOf(window.ToolBar()).cy, 26);
    EXPECT_EQ(SizeOf(window.LogList()).cy, 189);
    EXPECT_NE(GetWindowLongPtrA(window.LogList(), GWL_STYLE) & LBS_EXTENDEDSEL, 0);
    char className[32] = {};
    GetClassNameA(window.Results(), className, sizeof(className));
    EXPECT_STREQ(className, "RichEdit20A");
    EXPECT_EQ(SendMessageA(window.Results(), EM_GETTEXTMODE, 0, 0) & TM_PLAINTEXT, TM_PLAINTEXT);
    EXPECT_EQ(GetWindowLongPtrA(window.Results(), GWL_STYLE) & ES_READONLY, 0);
    EXPECT_EQ(TextOf(window.GroupBox()), " Process ");
    EXPECT_EQ(SizeOf(window.GroupBox()).cy, 66);
    EXPECT_EQ(TextOf(window.CurrentMessage()), "");
    EXPECT_EQ(TextOf(window.Extracted()), "Extracted: 0");
    EXPECT_EQ(TextOf(window.SaveLog()), "Save results");
    EXPECT_EQ(SizeOf(window.SaveLog()).cx, 105);
    EXPECT_EQ(TextOf(window.Stop()), "Stop");
    EXPECT_EQ(SizeOf(window.Stop()).cx, 71);
    for (HWND bar : {window.Progress(), window.Total()}) {
        EXPECT_EQ(SizeOf(bar).cx, 671);
        EXPECT_EQ(SizeOf(bar).cy, 13);
        EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
        EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 0);
    }
}

// Each moment of the window's life and what the controls show enabled after it; the results are
// saved and the directory scanned through the real dialogs.
TEST_F(Win32WindowTest, EnabledStatesFollowTheFormAtEveryMoment) {
    WriteText(tmp / "a.tre", std::string(4, '\0'));       // a pack without members
    std::filesystem::create_directories(tmp / "dir.tre"); // a results line when run
    WriteText(tmp / "game/b.tre", "");
    const std::string start = "BAddLog ProcessDir BExit LogList";
    const std::string list =
        "BAddLog ProcessDir BSaveList BRemLog BClearAll BProcess BExit LogList";
    std::string during;
    std::string savedBox;
    const auto run = [&] {
        actor.AtNextDispatch([&] { during = ShownEnabled(window); });
        AnswerCompletion();
        Click(tbProcess);
    };
    struct Moment {
        const char* name;
        std::function<void()> act;
        std::string during; // while a file is handled; "" where no run is
        std::string after;
    };
    const Moment moments[] = {
        {"start", [] {}, "", start},
        {"add", [&] { window.AddFiles({tmp / "a.tre"}); }, "", list},
        {"run", run, "BSaveList BExit Stop", list},
        {"run with results",
         [&] {
             window.AddFiles({tmp / "dir.tre"});
             run();
         },
         "BSaveList BExit Stop", list + " SaveLog"},
        {"results saved",
         [&] {
             actor.WhenModal("Select target...",
                             [&](HWND dialog) { ChooseFile(dialog, tmp / "r.txt"); });
             actor.WhenModal("Operation status", [&](HWND box) {
                 savedBox = MessageText(box);
                 Press(box, IDOK);
             });
             Click(window.SaveLog());
         },
         "", list},
        {"remove all",
         [&] {
             SelectRows(0, 1);
             Click(tbRemLog);
         },
         "", start},
        {"scan",
         [&] {
             actor.WhenModal("Directory to add", [&](HWND dialog) {
                 SetWindowTextA(GetDlgItem(dialog, win32::ddScanDir), (tmp / "game").c_str());
                 Press(dialog, win32::ddBOk);
             });
             Click(tbProcessDir);
         },
         "", list},
        {"clear", [&] { Click(tbClearAll); }, "", start},
    };
    for (const Moment& moment : moments) {
        during.clear();
        moment.act();
        EXPECT_EQ(during, moment.during) << moment.name;
        EXPECT_EQ(ShownEnabled(window), moment.after) << moment.name;
    }
    EXPECT_EQ(savedBox, "r.txt");
    EXPECT_EQ(ReadText(tmp / "r.txt"), tmp / "dir.tre is not a regular file!\r\n");
}

TEST_F(Win32WindowTest, DeleteRemovesTheSelectedEntriesAndDroppedFilesAreAdded) {
    Drop({tmp / "1.tre", tmp / "2.tre", tmp / "3.tre"});
    Drop({tmp / "4.tre", tmp / "5.tre"});
    EXPECT_EQ(SendMessageA(window.LogList(), LB_GETCOUNT, 0, 0), 5);
    SelectRows(1, 3);
    EXPECT_EQ(window.Form().View().selected, (std::vector<std::size_t>{1, 2, 3}));
    KeyOnList(VK_DELETE);
    EXPECT_EQ(window.Form().State().inputList, (TextLines{tmp / "1.tre", tmp / "5.tre"}));
    EXPECT_EQ(SendMessageA(window.LogList(), LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(window.LogList(), LB_GETCARETINDEX, 0, 0), 1);
    EXPECT_EQ(SendMessageA(window.LogList(), LB_GETSELCOUNT, 0, 0), 0);

    std::string refusal;
    actor.WhenModal("Operation status", [&](HWND box) {
        refusal = MessageText(box);
        Press(box, IDOK);
    });
    Drop({tmp / "6.fnt", tmp / "7.tre"});
    EXPECT_EQ(refusal.rfind("The files chosen are not all of one known kind", 0), 0u) << refusal;
    EXPECT_EQ(SendMessageA(window.LogList(), LB_GETCOUNT, 0, 0), 2);
}

// The list is saved through the real save dialog and opened again through the real open dialog.
TEST_F(Win32WindowTest, ProjectListSavedAndOpenedAgainGivesTheSameEntries) {
    const TextLines logs{tmp / "b.log", tmp / "a.log", tmp / "b.log"};
    window.AddFiles(logs);
    actor.WhenModal("Select file...", [&](HWND dialog) { ChooseFile(dialog, tmp / "p"); });
    Click(tbSaveList);
    EXPECT_EQ(ReadText(tmp / "p.lst"), logs[0] + "\r\n" + logs[1] + "\r\n" + logs[2] + "\r\n");

    Click(tbClearAll);
    actor.WhenModal("Select file...", [&](HWND dialog) { ChooseFile(dialog, tmp / "p.lst"); });
    Click(tbAddLog);
    EXPECT_EQ(window.Form().State().inputList, logs);
    EXPECT_EQ(window.Form().State().InputKind, kKindProjectList);
    EXPECT_EQ(SendMessageA(window.LogList(), LB_GETCOUNT, 0, 0), 3);
}

// Enter and Esc do nothing in the directory dialog; the type is chosen in its list; a second
// showing keeps the directory and offers the first type again; closing it is Cancel.
TEST_F(Win32WindowTest, DirectoryDialogScansWhatItsControlsSay) {
    WriteText(tmp / "game/sub/x.fnt", "");
    WriteText(tmp / "game/y.fnt", "");
    WriteText(tmp / "game/z.tre", "");
    const std::string game = tmp / "game";
    bool okAtFirst = true;
    bool upAfterKeys = false;
    actor.WhenModal("Directory to add", [&](HWND dialog) {
        okAtFirst = IsWindowEnabled(GetDlgItem(dialog, win32::ddBOk)) != 0;
        SetWindowTextA(GetDlgItem(dialog, win32::ddScanDir), game.c_str());
        Press(dialog, IDOK);
        Press(dialog, IDCANCEL);
    });
    actor.WhenModal("Directory to add", [&](HWND dialog) {
        upAfterKeys = IsWindowVisible(dialog) != 0;
        HWND filter = GetDlgItem(dialog, win32::ddFilter);
        SendMessageA(filter, CB_SETCURSEL, kTypeIndexFonts, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(win32::ddFilter, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(filter));
        Press(dialog, win32::ddBOk);
    });
    Click(tbProcessDir);
    EXPECT_FALSE(okAtFirst);
    EXPECT_TRUE(upAfterKeys);
    EXPECT_EQ(window.Form().State().inputList,
              (TextLines{tmp / "game/sub/x.fnt", tmp / "game/y.fnt"}));
    EXPECT_EQ(window.Form().State().InputKind, kKindFonts);

    std::string shown;
    actor.WhenModal("Directory to add", [&](HWND dialog) {
        shown =
            TextOf(GetDlgItem(dialog, win32::ddScanDir)) + "|" +
            std::to_string(SendMessageA(GetDlgItem(dialog, win32::ddFilter), CB_GETCURSEL, 0, 0)) +
            "|" + std::to_string(IsWindowEnabled(GetDlgItem(dialog, win32::ddBOk)));
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    Click(tbProcessDir);
    EXPECT_EQ(shown, game + "|0|1");
    EXPECT_EQ(window.Form().State().inputList.size(), 2u);
}

// Esc presses Stop during a run: the run ends after the current file, and the frame says so
// until then.
TEST_F(Win32WindowTest, StopDuringARunEndsItAfterTheCurrentFile) {
    for (const char* name : {"a.tre", "b.tre", "c.tre"}) {
        WriteSamplePack(tmp / name, 50);
    }
    window.AddFiles({tmp / "a.tre", tmp / "b.tre", tmp / "c.tre"});
    std::string message;
    std::string during;
    actor.AtNextDispatch([&] {
        message = TextOf(window.CurrentMessage());
        MSG escape{window.Results(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
        const bool taken = window.TranslateAccelerators(escape);
        during =
            std::to_string(taken) + "|" + TextOf(window.Stop()) + "|" + TextOf(window.GroupBox());
    });
    AnswerCompletion();
    Click(tbProcess);
    EXPECT_TRUE(message == "Preparing a.tre..." || message == "Processing a.tre...") << message;
    EXPECT_EQ(during, "1|Abort| Process: stopping after the current file, press Abort to abort "
                      "it ");
    EXPECT_EQ(TextOf(window.Stop()), "Stop");
    EXPECT_EQ(TextOf(window.GroupBox()), " Process ");
    EXPECT_FALSE(IsWindowEnabled(window.Stop()));
    EXPECT_TRUE(IsWindowVisible(window.Summary()) || !IsWindowVisible(window.Window()));
    EXPECT_EQ(TextOf(window.Summary()), window.Form().View().Summary);
    EXPECT_EQ(TextOf(window.Summary()).rfind("Stopped: 1 of 3 files handled", 0), 0u);
    const std::string log = ReadText(tmp / "out/result.log");
    EXPECT_NE(log.find("a.tre"), std::string::npos);
    EXPECT_EQ(log.find("b.tre"), std::string::npos);
}

// Tab goes round the list, the results pane and the enabled buttons of the frame.
TEST_F(Win32WindowTest, TabGoesRoundTheEnabledControls) {
    EXPECT_EQ(window.NextTabStop(window.LogList(), false), window.Results());
    EXPECT_EQ(window.NextTabStop(window.Results(), false), window.LogList()); // both buttons off
    EXPECT_EQ(window.NextTabStop(window.LogList(), true), window.Results());
    EnableWindow(window.Stop(), TRUE);
    EXPECT_EQ(window.NextTabStop(window.Results(), false), window.Stop());
    EXPECT_EQ(window.NextTabStop(window.LogList(), true), window.Stop());
    EXPECT_EQ(window.NextTabStop(window.Stop(), false), window.LogList());
    EnableWindow(window.Stop(), FALSE);
}

TEST_F(Win32WindowTest, ClosingDuringARunPressesStopAndClosesAfterIt) {
    for (const char* name : {"a.tre", "b.tre"}) {
        WriteSamplePack(tmp / name, 50);
    }
    window.AddFiles({tmp / "a.tre", tmp / "b.tre"});
    bool stillOpen = false;
    actor.AtNextDispatch([&] {
        SendMessageA(window.Window(), WM_CLOSE, 0, 0);
        stillOpen = IsWindow(window.Window()) != 0;
    });
    AnswerCompletion();
    Click(tbProcess);
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(IsWindow(window.Window()));
    EXPECT_EQ(ReadText(tmp / "out/result.log").find("b.tre"), std::string::npos);
}

// The failure's text is shown in a message box and is the results pane's line; the frame is
// already reset while the box is shown.
TEST_F(Win32WindowTest, FailureIsShownInAMessageBoxAndTheWindowGoesOn) {
    window.AddFiles({tmp / "missing.tre"});
    std::string text;
    std::string frame;
    actor.WhenModal("Extract\\Insert Tool", [&](HWND box) {
        text = MessageText(box);
        frame = TextOf(window.CurrentMessage()) + "|" +
                std::to_string(SendMessageA(window.Progress(), PBM_GETPOS, 0, 0)) + "|" +
                ShownEnabled(window);
        Press(box, IDOK);
    });
    Click(tbProcess);
    EXPECT_NE(text.find("missing.tre"), std::string::npos) << text;
    EXPECT_EQ(frame, "|0|BAddLog ProcessDir BSaveList BRemLog BClearAll BProcess BExit LogList "
                     "SaveLog");
    EXPECT_EQ(TextOf(window.Results()), text);
    EXPECT_FALSE(window.Form().View().running);
}

// A project list of 100,000 entries fills the list box, which draws the form's entries where they
// are; all of them selected and removed leave it empty.
TEST_F(Win32WindowTest, AHundredThousandEntriesAreListedSelectedAndRemoved) {
    constexpr int kEntries = 100000;
    std::string list;
    for (int i = 0; i < kEntries; ++i) {
        list += "C:\\logs\\" + std::to_string(i) + ".log\r\n";
    }
    WriteText(tmp / "big.lst", list);
    ASSERT_TRUE(window.AddFiles({tmp / "big.lst"}));
    EXPECT_EQ(SendMessageA(window.LogList(), LB_GETCOUNT, 0, 0), kEntries);
    SelectRows(0, kEntries - 1);
    EXPECT_EQ(window.Form().View().selected.size(), static_cast<std::size_t>(kEntries));
    KeyOnList(VK_DELETE);
    EXPECT_EQ(SendMessageA(window.LogList(), LB_GETCOUNT, 0, 0), 0);
    EXPECT_TRUE(window.Form().State().inputList.empty());
    EXPECT_EQ(ShownEnabled(window), "BAddLog ProcessDir BExit LogList");
}

} // namespace
} // namespace eitool
