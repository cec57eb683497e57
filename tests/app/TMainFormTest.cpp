#include "app/TMainForm.h"

#include "app/FormatTable.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "common/TextLines.h"
#include "common/WriteHook.h"
#include "formats/DataPack.h"
#include "images/Bitmap.h"
#include "run/PieceChecks.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"
#include "support/PackWorkbench.h"
#include "support/Platform.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace eitool {
namespace {

using testing::ReadText;
using testing::RecordingSurface;
using testing::ScriptedDialogs;
using testing::TempDir;
using testing::WriteText;

// An empty data pack: an entry count of 0 and nothing else.
void WriteEmptyPack(const std::string& path) {
    WriteText(path, std::string(4, '\0'));
}

// The enabled controls, in the window's order, for messages that can be read.
std::string EnabledNames(const ControlStates& c) {
    const std::pair<const char*, bool> controls[] = {
        {"BAddLog", c.BAddLog},     {"ProcessDir", c.ProcessDir},
        {"BSaveList", c.BSaveList}, {"BRemLog", c.BRemLog},
        {"BClearAll", c.BClearAll}, {"BProcess", c.BProcess},
        {"BExit", c.BExit},         {"Stop", c.Stop},
        {"SaveLog", c.SaveLog}};
    std::string names;
    for (const auto& [name, enabled] : controls) {
        if (enabled) {
            names += (names.empty() ? "" : " ") + std::string(name);
        }
    }
    return names;
}

constexpr const char* kStart = "BAddLog ProcessDir BExit";
constexpr const char* kThreeDisabled = "BAddLog ProcessDir BClearAll BExit";
constexpr const char* kListButtons =
    "BAddLog ProcessDir BSaveList BRemLog BClearAll BProcess BExit";

// Every test runs in its own temporary directory and gets the process's current directory back,
// since a confirmed run makes the target the current directory.
class FormTest : public ::testing::Test {
protected:
    FormTest() : form(surface, dialogs) { dialogs.picker = tmp / "out"; }
    void SetUp() override {
        saved = CurrentDirectory();
        std::filesystem::create_directories(tmp / "out");
    }
    void TearDown() override { SetCurrentDirectory(saved); }

    // Files of the open dialog's type added through the Add button.
    void Add(int type, const TextLines& files) {
        dialogs.open = OpenAnswer{files, type};
        form.BAddLogClick();
    }
    // A scan of directory for the directory dialog's type through the Process Directory button.
    void ScanFor(const std::string& directory, int typeIndex) {
        dialogs.dirForm = DirFormAnswer{directory, typeIndex};
        form.ProcessDirClick();
    }
    const ControlStates& Enabled() const { return form.View().enabled; }

    TempDir tmp;
    RecordingSurface surface;
    ScriptedDialogs dialogs;
    TMainForm form;
    std::string saved;
};

using BatchRun = FormTest;

TEST_F(BatchRun, EmptyListDoesNothing) {
    form.BProcessClick();
    EXPECT_TRUE(dialogs.pickerStarts.empty());
    EXPECT_TRUE(dialogs.shownMessages.empty());
}

TEST_F(BatchRun, CancelledPickerKeepsResultsWritesNothingAndStillCompletes) {
    WriteEmptyPack(tmp / "a.tre");
    Add(kTypeDataPacks, {tmp / "a.tre"});
    surface.results = {"old line"};
    dialogs.picker.reset();
    form.BProcessClick();
    EXPECT_EQ(surface.results, std::vector<std::string>{"old line"});
    EXPECT_TRUE(form.State().ResultLog.empty());
    EXPECT_FALSE(FileExists(tmp / "out/result.log"));
    ASSERT_EQ(dialogs.shownMessages.size(), 1u);
    EXPECT_EQ(dialogs.shownMessages[0], "Operation complete!");
    EXPECT_EQ(dialogs.shownCaptions[0], "Process status:");
}

TEST_F(BatchRun, FramesEveryFileAndWritesResultLogWithCrLf) {
    WriteEmptyPack(tmp / "a.tre");
    WriteEmptyPack(tmp / "b.tre");
    WriteText(tmp / "out/result.log", "stale contents that must go");
    Add(kTypeDataPacks, {tmp / "a.tre", tmp / "b.tre"});
    form.BProcessClick();
    const std::string expected = "#Format: TRE\r\n#Source: " + (tmp / "a.tre") +
                                 "\r\n#Format: TRE\r\n#Source: " + (tmp / "b.tre") + "\r\n";
    EXPECT_EQ(ReadText(tmp / "out/result.log"), expected);
    EXPECT_EQ(form.State().TargetDirectory, tmp / "out");
    EXPECT_EQ(CurrentDirectory(), tmp / "out");
    EXPECT_EQ(dialogs.shownMessages, std::vector<std::string>{"Operation complete!"});
    EXPECT_EQ(surface.currentMessage, "");
    EXPECT_EQ(surface.extracted, "");
    EXPECT_EQ(surface.progress, 0);
}

TEST_F(BatchRun, WholeRunBarShowsTruncatedPercentAfterEachFile) {
    for (const char* name : {"a.tre", "b.tre", "c.tre"}) {
        WriteEmptyPack(tmp / name);
    }
    Add(kTypeDataPacks, {tmp / "a.tre", tmp / "b.tre", tmp / "c.tre"});
    form.BProcessClick();
    // The start, then 0, 33 and 66 after the three files, then 0 when the run ends.
    EXPECT_EQ(surface.totalHistory, (std::vector<int>{0, 0, 33, 66, 0}));
}

TEST_F(BatchRun, OneFileMovesTheWholeRunBarWithTheFileBar) {
    WriteWholeFile(tmp / "a.tre", samples::BuildPack(testing::FewMembers(100, {0, 1})));
    Add(kTypeDataPacks, {tmp / "a.tre"});
    form.BProcessClick();
    const auto& total = surface.totalHistory;
    EXPECT_EQ(*std::max_element(total.begin(), total.end()), 2633 * 100 / 2634);
    EXPECT_EQ(total.back(), 0);
}

// Stop pressed twice while a pack is extracted: the pack ends between two pieces, every piece on
// disk is complete, and no result.log is written.
TEST_F(BatchRun, StopPressedTwiceDuringAPackAbortsItBetweenPiecesWithoutResultLog) {
    std::vector<std::uint32_t> nonEmpty;
    for (std::uint32_t i = 0; i < 2600; i += 10) {
        nonEmpty.push_back(i);
    }
    const auto members = testing::FewMembers(100, nonEmpty);
    WriteWholeFile(tmp / "a.tre", samples::BuildPack(members));
    Add(kTypeDataPacks, {tmp / "a.tre"});
    int presses = 0;
    surface.onDispatch = [&] {
        if (surface.progress >= 50 && presses < 2) {
            ++presses;
            form.StopClick();
        }
    };
    EXPECT_THROW(form.BProcessClick(), RunAborted);
    EXPECT_EQ(form.State().StopTag, 2);
    EXPECT_EQ(form.View().Summary.rfind("Aborted: 0 of 1 file handled, 1 left; ", 0), 0u);
    EXPECT_FALSE(FileExists(tmp / "out/result.log"));
    const auto pieces = ListDirectory(tmp / "out/BIN");
    EXPECT_GT(pieces.size(), 100u);
    EXPECT_LT(pieces.size(), nonEmpty.size());
    for (const auto& piece : pieces) {
        const std::size_t i = std::stoul(piece.name.substr(piece.name.find('m') + 1));
        if (i != samples::kNamesListIndex) {
            EXPECT_EQ(ReadWholeFile(tmp / ("out/BIN/" + piece.name)), members[i].data);
        }
    }
}

// Stop pressed twice once the journal is written: the pack is put back from it.
TEST_F(BatchRun, StopPressedTwiceWhileAPackIsWrittenPutsItBackFromItsJournal) {
    const std::vector<std::uint8_t> original = samples::BuildPack(testing::FewMembers(1, {0, 1}));
    WriteWholeFile(tmp / "a.tre", original);
    Add(kTypeDataPacks, {tmp / "a.tre"});
    form.BProcessClick();
    const TextLines log = LoadTextLines(tmp / "out/result.log");
    const auto piece = std::find_if(log.begin() + 2, log.end(),
                                    [](const std::string& line) { return line != "NULL"; });
    ASSERT_NE(piece, log.end());
    WriteWholeFile(*piece, {0x55});
    Add(kTypeLogs, {tmp / "out/result.log"});
    surface.onDispatch = [&] {
        if (surface.extracted == "Writing the journal...") {
            form.StopClick();
        }
    };
    try {
        form.BProcessClick();
        ADD_FAILURE() << "the insertion was not aborted";
    } catch (const RunAborted& aborted) {
        EXPECT_NE(std::string(aborted.what()).find("restored from its journal"), std::string::npos)
            << aborted.what();
    }
    EXPECT_EQ(ReadWholeFile(tmp / "a.tre"), original);
    EXPECT_FALSE(FileExists(DataPackJournalPath(tmp / "a.tre")));
    EXPECT_TRUE(form.State().CompletedPacks.empty());
}

TEST_F(BatchRun, NextPickerOpensAtThePreviousTarget) {
    WriteEmptyPack(tmp / "a.tre");
    Add(kTypeDataPacks, {tmp / "a.tre"});
    form.BProcessClick();
    dialogs.picker = tmp.Path();
    form.BProcessClick();
    ASSERT_EQ(dialogs.pickerStarts.size(), 2u);
    EXPECT_EQ(dialogs.pickerStarts[1], tmp / "out");
}

TEST_F(BatchRun, LogRunsKeepFramingLinesButWriteNoResultLog) {
    WriteText(tmp / "a.log", "");
    Add(kTypeLogs, {tmp / "a.log"});
    EXPECT_EQ(form.State().InputKind, kKindLogs);
    form.BProcessClick();
    EXPECT_EQ(form.State().ResultLog, (TextLines{"#Format: ", "#Source: " + (tmp / "a.log")}));
    EXPECT_FALSE(FileExists(tmp / "out/result.log"));
}

// Lines of a project list that are not result logs are results lines; the logs are replayed.
TEST_F(BatchRun, ProjectListNamesItsLinesThatAreNotResultLogs) {
    WriteEmptyPack(tmp / "a.tre");
    WriteText(tmp / "other.lst", tmp / "a.log");
    WriteText(tmp / "notes.log", "some notes\r\n");
    WriteText(tmp / "a.log", "#Format: TRE\r\n#Source: " + (tmp / "missing.tre") + "\r\n");
    WriteText(tmp / "p.lst", (tmp / "a.tre") + "\n" + (tmp / "other.lst") + "\n" +
                                 (tmp / "notes.log") + "\n" + (tmp / "a.log") + "\n");
    Add(kTypeProjectList, {tmp / "p.lst"});
    form.BProcessClick();
    EXPECT_EQ(surface.results,
              (std::vector<std::string>{(tmp / "a.tre") + " is not a result log!",
                                        (tmp / "other.lst") + " is not a result log!",
                                        (tmp / "notes.log") + " is not a result log!"}));
    EXPECT_EQ(dialogs.shownMessages.back(), "Operation complete!");
}

// The files handled before the failure keep their result.log; the failing one is left out. The
// failure is the last results line, and the frame ends as after any run.
TEST_F(BatchRun, FailureEndsTheRunAfterWritingTheLogOfTheFilesHandled) {
    WriteEmptyPack(tmp / "a.tre");
    WriteEmptyPack(tmp / "c.tre");
    Add(kTypeDataPacks, {tmp / "a.tre", tmp / "missing.tre", tmp / "c.tre"});
    std::string failure;
    try {
        form.BProcessClick();
        ADD_FAILURE() << "the run went on";
    } catch (const FileOpenError& error) {
        failure = error.what();
    }
    EXPECT_EQ(std::count(surface.messages.begin(), surface.messages.end(), "Preparing c.tre..."),
              0);
    EXPECT_EQ(ReadText(tmp / "out/result.log"),
              "#Format: TRE\r\n#Source: " + (tmp / "a.tre") + "\r\n");
    EXPECT_TRUE(dialogs.shownMessages.empty());
    ASSERT_FALSE(surface.results.empty());
    EXPECT_EQ(surface.results.back(), failure);
    EXPECT_EQ(surface.currentMessage, "");
    EXPECT_EQ(surface.extracted, "");
    EXPECT_EQ(surface.progress, 0);
    EXPECT_EQ(surface.total, 0);
    EXPECT_EQ(EnabledNames(Enabled()), std::string(kListButtons) + " SaveLog");
    EXPECT_EQ(form.View().Summary.rfind("1 file, 0 pieces written, 0 bytes in ", 0), 0u)
        << form.View().Summary;
}

// After a run the frame shows what it did until the next run has its target: a cancelled picker
// keeps it, and an insertion counts the pieces its log names that are gone.
TEST_F(BatchRun, FrameShowsWhatTheLastRunDid) {
    WriteWholeFile(tmp / "a.tre", samples::BuildPack(testing::FewMembers(1, {0, 1})));
    Add(kTypeDataPacks, {tmp / "a.tre"});
    EXPECT_EQ(form.View().Summary, "");
    form.BProcessClick();
    const std::uint64_t pieces = form.State().stats.pieces;
    const std::string extraction = form.View().Summary;
    EXPECT_EQ(extraction.rfind("1 file, " + std::to_string(pieces) + " pieces written, ", 0), 0u)
        << extraction;

    dialogs.picker.reset();
    form.BProcessClick();
    EXPECT_EQ(form.View().Summary, extraction);

    const TextLines log = LoadTextLines(tmp / "out/result.log");
    const auto piece = std::find_if(log.begin() + 2, log.end(),
                                    [](const std::string& line) { return line != "NULL"; });
    ASSERT_NE(piece, log.end());
    RemoveFileQuietly(*piece);
    Add(kTypeLogs, {tmp / "out/result.log"});
    dialogs.picker = tmp / "out";
    form.BProcessClick();
    const std::string insertion = form.View().Summary;
    EXPECT_EQ(insertion.rfind("1 file, ", 0), 0u) << insertion;
    EXPECT_NE(insertion.find(" pieces inserted, "), std::string::npos) << insertion;
    const std::string missing = "; 1 of " + std::to_string(form.State().stats.piecesNamed) +
                                " pieces named by the logs were not found";
    EXPECT_EQ(insertion.substr(insertion.size() - std::min(insertion.size(), missing.size())),
              missing);
}

// A dangling link, a directory and a FIFO are results lines without framing, and the run goes on.
TEST_F(BatchRun, EntriesThatAreNotRegularFilesAreResultsLines) {
    WriteEmptyPack(tmp / "a.tre");
    std::filesystem::create_directories(tmp / "old.tre");
    TextLines odd = {tmp / "old.tre"};
#ifndef _WIN32 // MinGW's std::filesystem cannot make links; there are no FIFOs
    std::filesystem::create_directory_symlink(tmp / "nowhere", tmp / "dangling.tre");
    odd.insert(odd.begin(), tmp / "dangling.tre");
    ASSERT_EQ(mkfifo((tmp / "fifo.tre").c_str(), 0600), 0);
    odd.push_back(tmp / "fifo.tre");
#endif
    TextLines list = odd;
    list.push_back(tmp / "a.tre");
    Add(kTypeDataPacks, list);
    form.BProcessClick();
    ASSERT_EQ(surface.results.size(), odd.size());
    for (std::size_t i = 0; i < odd.size(); ++i) {
        EXPECT_EQ(surface.results[i], odd[i] + " is not a regular file!");
    }
    EXPECT_EQ(ReadText(tmp / "out/result.log"),
              "#Format: TRE\r\n#Source: " + (tmp / "a.tre") + "\r\n");
    EXPECT_EQ(dialogs.shownMessages, std::vector<std::string>{"Operation complete!"});
}

TEST_F(BatchRun, StopEndsTheRunAfterTheCurrentFileAndIsResetByTheNextRun) {
    for (const char* name : {"a.tre", "b.tre", "c.tre"}) {
        WriteEmptyPack(tmp / name);
    }
    Add(kTypeDataPacks, {tmp / "a.tre", tmp / "b.tre", tmp / "c.tre"});
    std::string caption;
    surface.onDispatch = [&] {
        form.StopClick();
        caption = form.View().StopCaption + "|" + form.View().FrameCaption();
    };
    form.BProcessClick();
    EXPECT_FALSE(surface.stopEnabled);
    // The press showed what comes next; the end says what was left.
    EXPECT_EQ(caption, "Abort| Process: stopping after the current file, press Abort to abort it ");
    EXPECT_EQ(form.View().StopCaption + "|" + form.View().FrameCaption(), "Stop| Process ");
    EXPECT_EQ(form.View().Summary.rfind("Stopped: 1 of 3 files handled, 2 left; ", 0), 0u);
    // The log lists the file that was handled, and the run finished as usual.
    EXPECT_EQ(ReadText(tmp / "out/result.log"),
              "#Format: TRE\r\n#Source: " + (tmp / "a.tre") + "\r\n");
    EXPECT_EQ(dialogs.shownMessages.size(), 1u);

    surface.onDispatch = nullptr;
    form.BProcessClick();
    EXPECT_EQ(form.State().StopTag, 0);
    EXPECT_EQ(LoadTextLines(tmp / "out/result.log").size(), 6u);
}

// A source refused for its content deep in its reader is a results line: its framing lines stay,
// and the next file is handled.
TEST_F(BatchRun, ARefusedSourceIsAResultsLineAndTheRunGoesOn) {
    const std::vector<std::uint8_t> good =
        samples::BuildExtendedImage(samples::MakeSampleTexture(8, 64, 32, 5));
    WriteWholeFile(tmp / "a.bmpx", std::vector<std::uint8_t>(good.begin(), good.begin() + 40));
    WriteWholeFile(tmp / "b.bmpx", good);
    Add(kTypeExtendedImages, {tmp / "a.bmpx", tmp / "b.bmpx"});
    form.BProcessClick();
    EXPECT_EQ(surface.results,
              std::vector<std::string>{tmp / "a.bmpx" +
                                       " has a level table of 2 levels that runs past the end "
                                       "of the file!"});
    const TextLines log = LoadTextLines(tmp / "out/result.log");
    ASSERT_GT(log.size(), 4u);
    EXPECT_EQ(log[1], "#Source: " + tmp / "a.bmpx");
    EXPECT_EQ(log[2], "#Format: BTE");
    EXPECT_TRUE(FileExists(tmp / "out/b_mip_00.bmp"));
}

// Stop is live in the dispatch between two files, and a press there ends the run before the next.
TEST_F(BatchRun, StopPressedBetweenTwoFilesEndsTheRunBeforeTheNext) {
    for (const char* name : {"a.tre", "b.tre", "c.tre"}) {
        WriteEmptyPack(tmp / name);
    }
    Add(kTypeDataPacks, {tmp / "a.tre", tmp / "b.tre", tmp / "c.tre"});
    // The whole-run bar is set at the start and then once after each file, just before the
    // dispatch between that file and the next. A press counts only on an enabled button.
    surface.onDispatch = [&] {
        if (surface.totalHistory.size() == 2 && form.View().enabled.Stop) {
            form.StopClick();
        }
    };
    form.BProcessClick();
    EXPECT_EQ(ReadText(tmp / "out/result.log"),
              "#Format: TRE\r\n#Source: " + (tmp / "a.tre") + "\r\n");
    EXPECT_FALSE(surface.stopEnabled);
}

TEST_F(BatchRun, StopAndSaveButtonsFollowEachFile) {
    WriteEmptyPack(tmp / "a.tre");
    Add(kTypeDataPacks, {tmp / "a.tre"});
    bool stopDuringFile = false;
    surface.onDispatch = [&] { stopDuringFile = stopDuringFile || surface.stopEnabled; };
    form.BProcessClick();
    EXPECT_TRUE(stopDuringFile);
    EXPECT_FALSE(surface.stopEnabled);
    EXPECT_FALSE(surface.saveLogEnabled); // the results pane stayed empty
    EXPECT_GE(surface.focusCount, 1);
}

using InputList = FormTest;

TEST_F(InputList, AddingAnotherKindEmptiesTheListAndTheSameKindAppends) {
    Add(kTypeDataPacks, {"/x/a.tre"});
    Add(kTypeDataPacks, {"/x/b.tre", "/x/a.tre"});
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/a.tre", "/x/b.tre", "/x/a.tre"}));
    EXPECT_TRUE(Enabled().BProcess);
    Add(kTypeFonts, {"/x/f.fnt"});
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/f.fnt"}));
    EXPECT_EQ(form.State().InputKind, kKindFonts);
}

// Files dropped on the list or named on the command line.
TEST_F(InputList, AddedFilesFollowTheOpenDialogsRulesWithoutShowingIt) {
    WriteText(tmp / "p.lst", "/x/one.log\r\n");
    EXPECT_TRUE(form.AddFiles({"/x/a.tre", "/x/b.tre"}));
    EXPECT_TRUE(form.AddFiles({"/x/c.tre"}));
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/a.tre", "/x/b.tre", "/x/c.tre"}));
    EXPECT_FALSE(form.AddFiles({"/x/d.fnt", "/x/e.tre"}));
    EXPECT_FALSE(form.AddFiles({"/x/readme.txt"}));
    EXPECT_EQ(form.State().inputList.size(), 3u);
    EXPECT_TRUE(form.AddFiles({tmp / "p.lst"}));
    EXPECT_EQ(form.State().InputKind, kKindProjectList);
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/one.log"}));
    EXPECT_EQ(EnabledNames(Enabled()), kListButtons);
    EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"message", "message"}));
    EXPECT_EQ(form.SelectLog.filterIndex, kTypeDataPacks);
}

TEST_F(InputList, ProjectListReplacesTheListWithItsLines) {
    WriteText(tmp / "p.lst", "/x/one.log\r\n/x/two.log\n/x/three.log\r");
    Add(kTypeProjectList, {tmp / "p.lst"});
    Add(kTypeProjectList, {tmp / "p.lst"});
    EXPECT_EQ(form.State().InputKind, kKindProjectList);
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/one.log", "/x/two.log", "/x/three.log"}));
}

TEST_F(InputList, AddingByHandReplacesAScannedList) {
    WriteText(tmp / "game/a.tre", "");
    ScanFor(tmp / "game", kTypeIndexDataPacks);
    ASSERT_TRUE(form.State().ListFromScan);
    Add(kTypeDataPacks, {"/x/b.tre"});
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/b.tre"}));
    EXPECT_FALSE(form.State().ListFromScan);
}

TEST_F(InputList, AddEmptiesAScannedListAndDisablesThreeButtonsBeforeItsDialog) {
    WriteText(tmp / "game/a.tre", "");
    ScanFor(tmp / "game", kTypeIndexDataPacks);
    TextLines listWhileShown{"not shown"};
    std::string enabledWhileShown;
    dialogs.whileShown = [&] {
        listWhileShown = form.State().inputList;
        enabledWhileShown = EnabledNames(Enabled());
    };
    dialogs.open.reset(); // the user cancels
    form.BAddLogClick();
    EXPECT_TRUE(listWhileShown.empty());
    EXPECT_EQ(enabledWhileShown, kThreeDisabled);
    EXPECT_TRUE(form.State().inputList.empty());
    EXPECT_FALSE(form.State().ListFromScan);
    EXPECT_EQ(form.State().InputKind, kKindDataPacks);
    EXPECT_EQ(EnabledNames(Enabled()), kThreeDisabled);
}

TEST_F(InputList, CancelledDialogsChangeNothing) {
    const TextLines files{"/x/a.log", "/x/b.log"};
    Add(kTypeLogs, files);
    dialogs.open.reset();
    struct Case {
        void (TMainForm::*click)();
        const char* dialog;
        const char* enabledWhileShown;
    };
    const Case cases[] = {{&TMainForm::BAddLogClick, "open", kThreeDisabled},
                          {&TMainForm::ProcessDirClick, "dirform", kThreeDisabled},
                          {&TMainForm::BSaveListClick, "save", kListButtons},
                          {&TMainForm::SaveLogClick, "save", kListButtons}};
    for (const Case& c : cases) {
        dialogs.asked.clear();
        std::string enabledWhileShown;
        dialogs.whileShown = [&] { enabledWhileShown = EnabledNames(Enabled()); };
        (form.*c.click)();
        EXPECT_EQ(dialogs.asked, std::vector<std::string>{c.dialog});
        EXPECT_EQ(enabledWhileShown, c.enabledWhileShown) << c.dialog;
        EXPECT_EQ(form.State().inputList, files) << c.dialog;
        EXPECT_EQ(form.State().InputKind, kKindLogs) << c.dialog;
        EXPECT_EQ(EnabledNames(Enabled()), kListButtons) << c.dialog;
    }
    EXPECT_EQ(ListDirectory(tmp.Path()).size(), 1u); // only the target made by the fixture
}

TEST_F(InputList, UnreadableProjectListEndsTheAddWithTheThreeButtonsDisabled) {
    WriteText(tmp / "p.lst", "/x/one.log\r\n");
    Add(kTypeDataPacks, {"/x/a.tre"});
    dialogs.open = OpenAnswer{{tmp / "missing.lst"}, kTypeProjectList};
    EXPECT_THROW(form.BAddLogClick(), FileOpenError);
    EXPECT_TRUE(form.State().inputList.empty()); // emptied by the change of kind
    EXPECT_EQ(form.State().InputKind, kKindProjectList);
    EXPECT_EQ(EnabledNames(Enabled()), kThreeDisabled);

    Add(kTypeProjectList, {tmp / "p.lst"});
    dialogs.open = OpenAnswer{{tmp / "missing.lst"}, kTypeProjectList};
    EXPECT_THROW(form.BAddLogClick(), FileOpenError);
    EXPECT_EQ(form.State().inputList, TextLines{"/x/one.log"}); // the same kind keeps the list
}

TEST_F(InputList, RemoveTakesTheSelectedEntriesAndMakesTheLastOneCurrent) {
    Add(kTypeDataPacks, {"/x/1", "/x/2", "/x/3", "/x/4", "/x/5"});
    form.SelectEntries({3, 1, 2, 2, 9});
    EXPECT_EQ(form.View().selected, (std::vector<std::size_t>{1, 2, 3}));
    form.BRemLogClick();
    EXPECT_EQ(form.View().LogList(), (TextLines{"/x/1", "/x/5"}));
    EXPECT_EQ(form.View().current, 1);
    EXPECT_TRUE(form.View().selected.empty());
    EXPECT_EQ(EnabledNames(Enabled()), kListButtons);

    form.SelectEntries({0, 1});
    form.BRemLogClick();
    EXPECT_TRUE(form.State().inputList.empty());
    EXPECT_EQ(form.View().current, -1);
    EXPECT_EQ(EnabledNames(Enabled()), kStart);
}

TEST_F(InputList, ClearEmptiesTheListButKeepsItsKindAndOrigin) {
    WriteText(tmp / "game/a.fnt", "");
    ScanFor(tmp / "game", kTypeIndexFonts);
    form.SelectEntries({0});
    form.SetCurrentEntry(0);
    form.BClearAllClick();
    EXPECT_TRUE(form.State().inputList.empty());
    EXPECT_TRUE(form.View().selected.empty());
    EXPECT_EQ(form.View().current, -1);
    EXPECT_EQ(form.State().InputKind, kKindFonts);
    EXPECT_TRUE(form.State().ListFromScan);
    EXPECT_EQ(EnabledNames(Enabled()), kStart);
}

TEST_F(InputList, SavedProjectListOpensToTheSameEntries) {
    const TextLines files{"/x/b.log", "/x/a.log", "/x/b.log"};
    Add(kTypeLogs, files);
    dialogs.save = tmp / "p.lst";
    form.BSaveListClick();
    EXPECT_EQ(ReadText(tmp / "p.lst"), "/x/b.log\r\n/x/a.log\r\n/x/b.log\r\n");
    EXPECT_EQ(form.State().inputList, files);
    Add(kTypeProjectList, {tmp / "p.lst"});
    EXPECT_EQ(form.State().inputList, files);
}

// Each file's kind comes from its name; the dialog's type counts only for names of no type.
// Files of several kinds are refused with a message box naming them, and the list stays.
TEST_F(InputList, ChosenFilesTakeTheKindOfTheirNames) {
    const std::tuple<TextLines, int, std::uint8_t> cases[] = {
        {{"/x/a.tre", "/x/b.TRE"}, kTypeProjectList, kKindDataPacks},
        {{"/x/data", "/x/a.log"}, kTypeLogs, kKindLogs},
        {{"/x/a.tre", "/x/b.fnt"}, kTypeDataPacks, 0},
        {{"/x/data", "/x/a.fnt"}, kTypeDataPacks, 0},
    };
    for (const auto& [files, filterType, kind] : cases) {
        Add(kTypeFonts, {"/x/old.fnt"});
        Add(filterType, files);
        EXPECT_EQ(form.State().inputList, kind != 0 ? files : TextLines{"/x/old.fnt"});
        EXPECT_EQ(form.State().InputKind, kind != 0 ? kind : std::uint8_t{kKindFonts});
        form.BClearAllClick();
    }
    EXPECT_EQ(dialogs.shownMessages,
              (std::vector<std::string>{
                  "The files chosen are not all of one known kind; none was added:\n"
                  "a.tre: Data Packs (*.tre)\nb.fnt: Fints (*.fnt)",
                  "The files chosen are not all of one known kind; none was added:\n"
                  "data: Data Packs (*.tre)\na.fnt: Fints (*.fnt)"}));
}

// A project list is opened as a list of logs: no other list, and no name of another type.
TEST_F(InputList, OnlyLogsAreSavedAsAProjectList) {
    const std::tuple<int, std::string, const char*> cases[] = {
        {kTypeLogs, "/x/result", "p.lst"},
        {kTypeDataPacks, "/x/a.tre", "p.lst"},
        {kTypeLogs, "/x/a.log", "p.tre"},
    };
    for (const auto& [type, file, saveAs] : cases) {
        Add(type, {file});
        dialogs.save = tmp / saveAs;
        form.BSaveListClick();
        form.BClearAllClick();
    }
    EXPECT_EQ(ListDirectory(tmp.Path()).size(), 2u); // the target and the first list
    EXPECT_EQ(dialogs.shownMessages,
              (std::vector<std::string>{
                  "A project list names result logs, and a.tre is not one; the list was not saved.",
                  "p.tre would be opened as one of Data Packs (*.tre); the list was not saved."}));
}

TEST_F(InputList, DialogsAreShownAsTheWindowSetsThemUp) {
    dialogs.open = OpenAnswer{{"/x/a.log"}, kTypeLogs};
    form.BAddLogClick();
    form.BSaveListClick();
    form.SaveLogClick();
    struct Expected {
        const char* title;
        std::string filter;
        const char* defaultExt;
        unsigned options;
    };
    const Expected expected[] = {
        {"Select file...", OpenDialogFilter(), "*",
         ofAllowMultiSelect | ofPathMustExist | ofFileMustExist | ofHideReadOnly},
        {"Select file...", "Project list files (*.lst)|*.lst", "lst",
         ofOverwritePrompt | ofHideReadOnly | ofEnableSizing},
        {"Select target...", "Text files (*.txt)|*.txt", "txt",
         ofOverwritePrompt | ofHideReadOnly}};
    ASSERT_EQ(dialogs.fileDialogs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const FileDialog& shown = dialogs.fileDialogs[i];
        EXPECT_EQ(shown.title, expected[i].title) << i;
        EXPECT_EQ(shown.filter, expected[i].filter) << i;
        EXPECT_EQ(shown.defaultExt, expected[i].defaultExt) << i;
        EXPECT_EQ(shown.options, expected[i].options) << i;
    }
    EXPECT_EQ(dialogs.fileDialogs[0].filterIndex, kTypeDataPacks);
    EXPECT_EQ(form.SelectLog.filterIndex, kTypeLogs); // offered again at the next showing
}

using ViewState = FormTest;

TEST_F(ViewState, SavingResultsShowsTheFileNameAndDisablesSaveResults) {
    surface.results = {"/x/a.tre greater by 3 bytes.", "/x/b.bmpx not 8 bit!"};
    form.Surface().EnableSaveLog(true);
    dialogs.save = tmp / "out.txt";
    form.SaveLogClick();
    EXPECT_EQ(ReadText(tmp / "out.txt"),
              "/x/a.tre greater by 3 bytes.\r\n/x/b.bmpx not 8 bit!\r\n");
    EXPECT_EQ(dialogs.shownMessages, std::vector<std::string>{"out.txt"});
    EXPECT_EQ(dialogs.shownCaptions, std::vector<std::string>{"Operation status"});
    EXPECT_FALSE(Enabled().SaveLog);
    EXPECT_FALSE(surface.saveLogEnabled);
}

// Each moment of the window's life and what is enabled after it.
TEST_F(ViewState, EnabledStatesFollowTheWindowsRules) {
    WriteEmptyPack(tmp / "a.tre");
    WriteText(tmp / "game/b.tre", "");
    std::string duringFile;
    const auto duringRun = [&](std::function<void()> inside) {
        // The first dispatch of a run is inside the handling of its first file.
        surface.onDispatch = [&, inside] {
            inside();
            if (duringFile.empty()) {
                duringFile = EnabledNames(Enabled());
            }
        };
        form.BProcessClick();
        surface.onDispatch = nullptr;
    };
    const auto addLine = [&] { surface.results.assign(1, "a line"); };
    struct Moment {
        const char* name;
        std::function<void()> act;
        const char* during; // while a file is handled; "" where no file is
        const char* after;
    };
    const Moment moments[] = {
        {"start", [] {}, "", kStart},
        {"add", [&] { Add(kTypeDataPacks, {tmp / "a.tre"}); }, "", kListButtons},
        {"run without lines", [&] { duringRun([] {}); },
         "BAddLog ProcessDir BSaveList BRemLog BClearAll BProcess BExit Stop", kListButtons},
        {"run with lines", [&] { duringRun(addLine); },
         "BAddLog ProcessDir BSaveList BRemLog BClearAll BProcess BExit Stop",
         "BAddLog ProcessDir BSaveList BRemLog BClearAll BProcess BExit SaveLog"},
        {"results saved",
         [&] {
             dialogs.save = tmp / "r.txt";
             form.SaveLogClick();
         },
         "", kListButtons},
        // Stop stays enabled for a second press, which would abort the file.
        {"stop clicked", [&] { duringRun([&] { form.StopClick(); }); },
         "BAddLog ProcessDir BSaveList BRemLog BClearAll BProcess BExit Stop", kListButtons},
        {"remove all",
         [&] {
             form.SelectEntries({0});
             form.BRemLogClick();
         },
         "", kStart},
        {"scan", [&] { ScanFor(tmp / "game", kTypeIndexDataPacks); }, "", kListButtons},
        {"clear", [&] { form.BClearAllClick(); }, "", kStart},
    };
    for (const Moment& moment : moments) {
        duringFile.clear();
        moment.act();
        EXPECT_EQ(duringFile, moment.during) << moment.name;
        EXPECT_EQ(EnabledNames(Enabled()), moment.after) << moment.name;
    }
}

TEST_F(ViewState, ListAndRunControlsAreShownOffWhileARunGoesOn) {
    WriteEmptyPack(tmp / "a.tre");
    Add(kTypeDataPacks, {tmp / "a.tre"});
    std::string shownDuring;
    std::string shownInPicker;
    dialogs.whileShown = [&] {
        if (shownInPicker.empty()) {
            shownInPicker = EnabledNames(form.View().Shown());
        }
    };
    surface.onDispatch = [&] { shownDuring = EnabledNames(form.View().Shown()); };
    form.BProcessClick();
    EXPECT_EQ(shownInPicker, "BSaveList BExit");
    EXPECT_EQ(shownDuring, "BSaveList BExit Stop"); // the last dispatch, after the file
    EXPECT_FALSE(form.View().running);
    EXPECT_EQ(EnabledNames(form.View().Shown()), kListButtons);

    // A run that fails shows them again too.
    Add(kTypeDataPacks, {tmp / "missing.tre"});
    EXPECT_THROW(form.BProcessClick(), RunError);
    EXPECT_FALSE(form.View().running);
}

TEST_F(ViewState, ObserverHearsWhatChanged) {
    WriteEmptyPack(tmp / "a.tre");
    unsigned heard = 0;
    form.SetViewObserver([&](unsigned changes) { heard |= changes; });
    struct Case {
        const char* name;
        std::function<void()> act;
        unsigned changes;
    };
    const Case cases[] = {
        {"add", [&] { Add(kTypeDataPacks, {tmp / "a.tre"}); }, vcList | vcControls},
        {"select", [&] { form.SelectEntries({0}); }, vcList},
        {"current", [&] { form.SetCurrentEntry(0); }, vcList},
        {"run", [&] { form.BProcessClick(); }, vcStatus | vcControls},
        {"stop", [&] { form.StopClick(); }, vcControls},
        {"clear", [&] { form.BClearAllClick(); }, vcList | vcControls},
        {"exit", [&] { form.BExitClick(); }, vcClose},
    };
    for (const Case& c : cases) {
        heard = 0;
        c.act();
        EXPECT_EQ(heard, c.changes) << c.name;
    }
    EXPECT_TRUE(form.View().closeRequested);
    EXPECT_EQ(form.View().CurrentMessage, "");
    EXPECT_EQ(form.View().TotalMax, 100);
}

using Scan = FormTest;

TEST_F(Scan, SubdirectoriesComeFirstAndHiddenDirectoriesAreNotEntered) {
    WriteText(tmp / "game/a.tre", "");
    WriteText(tmp / "game/sub/b.TRE", "");
    WriteText(tmp / "game/.hidden/c.tre", "");
    WriteText(tmp / "game/.d.tre", "");
    WriteText(tmp / "game/notes.txt", "");
    std::filesystem::create_directories(tmp / "game/old.tre");
    testing::MarkHidden(tmp / "game/.hidden");
    ScanFor(tmp / "game", kTypeIndexDataPacks);

    const TextLines& list = form.State().inputList;
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], tmp / "game/sub/b.TRE");
    const TextLines rest(list.begin() + 1, list.end());
    for (const char* name : {"a.tre", ".d.tre", "old.tre"}) {
        EXPECT_NE(std::find(rest.begin(), rest.end(), tmp / ("game/" + std::string(name))),
                  rest.end())
            << name;
    }
    EXPECT_EQ(form.State().ScanRoot, tmp / "game");
    EXPECT_TRUE(form.State().ListFromScan);
    EXPECT_EQ(form.State().InputKind, kKindDataPacks);
    EXPECT_TRUE(Enabled().BProcess && Enabled().BClearAll && Enabled().BRemLog &&
                Enabled().BSaveList);
}

TEST_F(Scan, ExtendedImagesAreFoundByBothExtensions) {
    WriteText(tmp / "t/x.bmpx", "");
    WriteText(tmp / "t/deep/y.tgax", "");
    ScanFor(tmp / "t", kTypeIndexExtendedImages);
    EXPECT_EQ(form.State().inputList, (TextLines{tmp / "t/deep/y.tgax", tmp / "t/x.bmpx"}));
    EXPECT_EQ(form.State().InputKind, kKindExtendedImages);
}

TEST_F(Scan, TrailingSeparatorIsKeptAndDoubled) {
    WriteText(tmp / "g/a.log", "");
    ScanFor(tmp / "g/", kTypeIndexLogs);
    EXPECT_EQ(form.State().ScanRoot, tmp / "g/");
    EXPECT_EQ(form.State().inputList, (TextLines{tmp / "g//a.log"}));
    EXPECT_EQ(form.State().InputKind, kKindLogs);
}

TEST_F(Scan, NothingFoundEmptiesTheListButSetsTheKind) {
    Add(kTypeDataPacks, {"/x/a.tre"});
    ScanFor(tmp / "no-such-dir", kTypeIndexFonts);
    EXPECT_TRUE(form.State().inputList.empty());
    EXPECT_FALSE(form.State().ListFromScan);
    EXPECT_EQ(form.State().InputKind, kKindFonts);
    EXPECT_FALSE(Enabled().BProcess);
    EXPECT_FALSE(Enabled().BRemLog);
    EXPECT_FALSE(Enabled().BSaveList);
    EXPECT_TRUE(Enabled().BClearAll); // keeps its state
}

// A link is entered when it leads to a directory of the tree not yet visited; a link out of the
// tree and a second way into a visited directory are passed over.
TEST_F(Scan, LinksAreEnteredOnlyInsideTheTreeAndOnce) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoLinks);
    WriteText(tmp / "c/a.tre", "");
    WriteText(tmp / "c/z/b.tre", "");
    WriteText(tmp / "outside/x.tre", "");
    std::filesystem::create_directory_symlink(tmp / "c", tmp / "c/loop");
    std::filesystem::create_directory_symlink(tmp / "c/z", tmp / "c/y");
    std::filesystem::create_directory_symlink(tmp / "outside", tmp / "c/out");
    std::filesystem::create_directory_symlink("/", tmp / "c/root");
    ScanFor(tmp / "c", kTypeIndexDataPacks);
    const TextLines& list = form.State().inputList;
    ASSERT_EQ(list.size(), 2u);
    const bool viaLink = list[0] == tmp / "c/y/b.tre";
    EXPECT_TRUE(viaLink || list[0] == tmp / "c/z/b.tre") << list[0];
    EXPECT_EQ(list[1], tmp / "c/a.tre");
}

TEST(FileProgress, DispatchesOnlyWhenThePercentageChanges) {
    RecordingSurface surface;
    surface.progress = 5;
    UpdateFileProgress(surface, 7);
    UpdateFileProgress(surface, 7);
    EXPECT_EQ(surface.dispatches, 1);

    surface.progress = 0;
    surface.dispatches = 0;
    surface.progressHistory.clear();
    const int pieces = 1000;
    for (int k = 0; k < pieces; ++k) {
        UpdateFileProgress(surface, k * 100 / pieces);
    }
    EXPECT_EQ(surface.dispatches, 99); // 0 was already shown
    EXPECT_EQ(surface.progress, 99);
}

// A full disk at the n-th write hook call: the run ends with the error, every file it was about to
// replace keeps its old bytes and no temporary is left beside it. Later n reach further into the
// run, until one completes.
class DiskFullAt : public WriteHook {
public:
    explicit DiskFullAt(int n) : m_remaining(n) {}
    void BeforeWrite(const std::string& path) override {
        if (--m_remaining == 0) {
            throw FileWriteError(path, "No space left on device");
        }
    }

private:
    int m_remaining;
};

std::vector<std::string> Temporaries(const std::string& directory) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
        if (entry.path().string().ends_with(".eitool-new")) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

using WriteFaults = FormTest;

TEST_F(WriteFaults, AFullDiskAtAnyWriteKeepsTheOldPatchedCopiesAndSetsTheOldResultLogAside) {
    const std::string texture = tmp / "game/title.bmpx";
    std::filesystem::create_directories(tmp / "game");
    WriteWholeFile(texture, samples::BuildExtendedImage(samples::MakeSampleTexture(8, 64, 32, 5)));
    Add(kTypeExtendedImages, {texture});
    form.BProcessClick();
    const TextLines log = LoadTextLines(tmp / "out/result.log");
    dialogs.picker = tmp / "patched";
    Add(kTypeLogs, {tmp / "out/result.log"});
    form.BProcessClick();
    const std::string patched = tmp / "patched/title.bmpx";
    const std::vector<std::uint8_t> oldPatched = ReadWholeFile(patched);

    // A font with its sheet and a log that places one new glyph, inserted once already.
    const samples::SampleFont font = samples::MakeSampleFont();
    WriteWholeFile(tmp / "game/font_main.fnt", samples::BuildFont(font.tables));
    font.sheet.SaveToFile(tmp / "game/font_main.bmp");
    samples::MakeGlyphStrip({192, 193}, 14).SaveToFile(tmp / "strip.bmp");
    WriteWholeFile(tmp / "chars.tbl", samples::MakeCharacterTable({192}));
    const std::string fontLog = tmp / "font.log";
    SaveTextLines(fontLog, {"#Format: FNT", "#Source: " + tmp / "game/font_main.fnt",
                            tmp / "chars.tbl", "0:192:0:1:1", tmp / "strip.bmp"});
    dialogs.picker = tmp / "patched-font";
    form.BClearAllClick();
    Add(kTypeLogs, {fontLog});
    form.BProcessClick();
    ASSERT_EQ(surface.results, std::vector<std::string>{});

    // An edited level and a second glyph to insert, and a result.log to replace by extracting
    // again.
    Bitmap level = Bitmap::LoadFromFile(log.at(2));
    level.SetPixelValue(0, 0, level.PixelValue(0, 0) ^ 1);
    level.SaveToFile(log.at(2));
    WriteWholeFile(tmp / "chars.tbl", samples::MakeCharacterTable({192, 193}));
    dialogs.yes = true; // extracting again goes over the edited level
    struct Run {
        int type;
        std::string file;
        std::string picker;
        std::vector<std::string> replaced;
    };
    for (const Run& run :
         {Run{kTypeLogs, tmp / "out/result.log", tmp / "patched", {patched}},
          Run{kTypeLogs,
              fontLog,
              tmp / "patched-font",
              {tmp / "patched-font/font_main.fnt", tmp / "patched-font/font_main.bmp"}},
          Run{kTypeExtendedImages, texture, tmp / "out", {tmp / "out/result.log"}}}) {
        std::vector<std::vector<std::uint8_t>> before;
        for (const std::string& file : run.replaced) {
            before.push_back(ReadWholeFile(file));
        }
        bool completed = false;
        std::vector<std::vector<std::vector<std::uint8_t>>> seen;
        for (int n = 1; !completed && n < 50; ++n) {
            SCOPED_TRACE(run.file + ", disk full at write " + std::to_string(n));
            DiskFullAt hook(n);
            form.SetWriteHook(&hook);
            dialogs.picker = run.picker;
            form.BClearAllClick();
            Add(run.type, {run.file});
            try {
                form.BProcessClick();
                completed = true;
            } catch (const FileWriteError& error) {
                EXPECT_NE(std::string(error.what()).find("No space left"), std::string::npos);
                seen.emplace_back();
                for (const std::string& file : run.replaced) {
                    // An extraction that ended early leaves the old result.log set aside.
                    seen.back().push_back(ReadWholeFile(
                        FileExists(file) ? file : SetAsideLogPath(DirectoryPart(file))));
                }
            }
            form.SetWriteHook(nullptr);
            EXPECT_EQ(Temporaries(tmp.Path()), std::vector<std::string>{});
        }
        EXPECT_TRUE(completed);
        EXPECT_GE(seen.size(), run.replaced.size()) << "a write of every file failed once";
        // Every file the run was to replace holds its old bytes or its new ones, nothing between.
        for (std::size_t i = 0; i < run.replaced.size(); ++i) {
            const std::vector<std::uint8_t> after = ReadWholeFile(run.replaced[i]);
            if (run.type == kTypeLogs) {
                EXPECT_NE(after, before[i]) << run.replaced[i];
            }
            for (const auto& files : seen) {
                EXPECT_TRUE(files[i] == before[i] || files[i] == after) << run.replaced[i];
            }
        }
    }
}

} // namespace
} // namespace eitool
