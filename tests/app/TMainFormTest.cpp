#include "app/TMainForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/RunError.h"
#include "common/TextLines.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

namespace eitool {
namespace {

using testing::RecordingSurface;
using testing::ScriptedDialogs;
using testing::TempDir;

void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An empty data pack: an entry count of 0 and nothing else.
void WriteEmptyPack(const std::string& path) {
    WriteText(path, std::string(4, '\0'));
}

// Every test runs in its own temporary directory and gets the process's current directory back,
// since a confirmed run makes the target the current directory.
class FormTest : public ::testing::Test {
protected:
    FormTest() : form(surface, dialogs) { dialogs.pickedDirectory = tmp / "out"; }
    void SetUp() override {
        saved = CurrentDirectory();
        std::filesystem::create_directories(tmp / "out");
    }
    void TearDown() override { SetCurrentDirectory(saved); }

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

TEST_F(BatchRun, CancelledPickerClearsResultsWritesNothingAndStillCompletes) {
    WriteEmptyPack(tmp / "a.tre");
    form.AddFilesConfirmed(1, {tmp / "a.tre"});
    surface.results = {"old line"};
    dialogs.confirmPicker = false;
    form.BProcessClick();
    EXPECT_TRUE(surface.results.empty());
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
    form.AddFilesConfirmed(1, {tmp / "a.tre", tmp / "b.tre"});
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
    form.AddFilesConfirmed(1, {tmp / "a.tre", tmp / "b.tre", tmp / "c.tre"});
    form.BProcessClick();
    // The start, then 0, 33 and 66 after the three files, then 0 when the run ends.
    EXPECT_EQ(surface.totalHistory, (std::vector<int>{0, 0, 33, 66, 0}));
}

TEST_F(BatchRun, NextPickerOpensAtThePreviousTarget) {
    WriteEmptyPack(tmp / "a.tre");
    form.AddFilesConfirmed(1, {tmp / "a.tre"});
    form.BProcessClick();
    dialogs.pickedDirectory = tmp.Path();
    form.BProcessClick();
    ASSERT_EQ(dialogs.pickerStarts.size(), 2u);
    EXPECT_EQ(dialogs.pickerStarts[1], tmp / "out");
}

TEST_F(BatchRun, LogRunsKeepFramingLinesButWriteNoResultLog) {
    WriteText(tmp / "a.log", "");
    form.AddFilesConfirmed(5, {tmp / "a.log"});
    EXPECT_EQ(form.State().InputKind, kKindLogs);
    form.BProcessClick();
    EXPECT_EQ(form.State().ResultLog,
              (TextLines{"#Format: ", "#Source: " + (tmp / "a.log")}));
    EXPECT_FALSE(FileExists(tmp / "out/result.log"));
}

TEST_F(BatchRun, FailureEndsTheRunWithoutResultLogOrCompletion) {
    WriteEmptyPack(tmp / "a.tre");
    WriteEmptyPack(tmp / "c.tre");
    form.AddFilesConfirmed(1, {tmp / "a.tre", tmp / "missing.tre", tmp / "c.tre"});
    EXPECT_THROW(form.BProcessClick(), FileOpenError);
    EXPECT_EQ(std::count(surface.messages.begin(), surface.messages.end(), "Preparing c.tre..."),
              0);
    EXPECT_FALSE(FileExists(tmp / "out/result.log"));
    EXPECT_TRUE(dialogs.shownMessages.empty());
}

TEST_F(BatchRun, StopEndsTheRunAfterTheCurrentFileAndIsResetByTheNextRun) {
    for (const char* name : {"a.tre", "b.tre", "c.tre"}) {
        WriteEmptyPack(tmp / name);
    }
    form.AddFilesConfirmed(1, {tmp / "a.tre", tmp / "b.tre", tmp / "c.tre"});
    surface.onDispatch = [&] { form.StopClick(); };
    form.BProcessClick();
    EXPECT_FALSE(surface.stopEnabled);
    // The log lists the file that was handled, and the run finished as usual.
    EXPECT_EQ(ReadText(tmp / "out/result.log"),
              "#Format: TRE\r\n#Source: " + (tmp / "a.tre") + "\r\n");
    EXPECT_EQ(dialogs.shownMessages.size(), 1u);

    surface.onDispatch = nullptr;
    form.BProcessClick();
    EXPECT_EQ(form.State().StopTag, 0);
    EXPECT_EQ(LoadTextLines(tmp / "out/result.log").size(), 6u);
}

TEST_F(BatchRun, StopAndSaveButtonsFollowEachFile) {
    WriteEmptyPack(tmp / "a.tre");
    form.AddFilesConfirmed(1, {tmp / "a.tre"});
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
    form.AddFilesConfirmed(1, {"/x/a.tre"});
    form.AddFilesConfirmed(1, {"/x/b.tre", "/x/a.tre"});
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/a.tre", "/x/b.tre", "/x/a.tre"}));
    EXPECT_TRUE(form.Buttons().BProcess);
    form.AddFilesConfirmed(3, {"/x/f.fnt"});
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/f.fnt"}));
    EXPECT_EQ(form.State().InputKind, kKindFonts);
}

TEST_F(InputList, ProjectListReplacesTheListWithItsLines) {
    WriteText(tmp / "p.lst", "/x/one.log\r\n/x/two.log\n/x/three.log\r");
    form.AddFilesConfirmed(4, {tmp / "p.lst"});
    form.AddFilesConfirmed(4, {tmp / "p.lst"});
    EXPECT_EQ(form.State().InputKind, kKindProjectList);
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/one.log", "/x/two.log", "/x/three.log"}));
}

TEST_F(InputList, AddingByHandReplacesAScannedList) {
    WriteText(tmp / "game/a.tre", "");
    form.ProcessDirConfirmed(tmp / "game", 0, "*.tre");
    ASSERT_TRUE(form.State().ListFromScan);
    form.AddFilesConfirmed(1, {"/x/b.tre"});
    EXPECT_EQ(form.State().inputList, (TextLines{"/x/b.tre"}));
    EXPECT_FALSE(form.State().ListFromScan);
}

using Replay = FormTest;

TEST_F(Replay, EmptyLogShowsItsNameAndHandlesNothing) {
    WriteText(tmp / "e.log", "");
    form.ReplayLog(tmp / "e.log");
    EXPECT_EQ(surface.currentMessage, "Processing e.log...");
    EXPECT_EQ(form.State().ReplayKind, kKindNone);
    EXPECT_EQ(surface.dispatches, 0);
}

TEST_F(Replay, KeywordLinesAreShortenedAndOnlyExactKeywordsCount) {
    WriteText(tmp / "k.log", "#format: TRE\n#Format:TRE\n#Format: TRE\n#Target x\nentry\n");
    form.ReplayLog(tmp / "k.log");
    EXPECT_EQ(form.State().ReplayList,
              (TextLines{"#format: TRE", "#Format:TRE", "TRE", "x", "entry"}));
    EXPECT_EQ(form.State().ReplayKind, kKindDataPacks);
}

TEST_F(Replay, UnknownTagOpensAndClosesTheSourceWithoutInsertion) {
    WriteText(tmp / "a.tre", "not a pack at all");
    WriteText(tmp / "x.log", "#Format: XYZ\n#Source: " + (tmp / "a.tre") + "\nentry line\n");
    form.ReplayLog(tmp / "x.log");
    EXPECT_EQ(form.State().ReplayKind, kKindNone);
    EXPECT_EQ(form.State().SourcePath, tmp / "a.tre");
    EXPECT_EQ(form.State().SourceStream, nullptr);
    EXPECT_EQ(ReadText(tmp / "a.tre"), "not a pack at all");
    // The source is closed again: it can be opened without sharing.
    EXPECT_NO_THROW(FileStream::Open(tmp / "a.tre", omReadWrite));
}

TEST_F(Replay, MissingSourceIsPassedOverWithItsEntryLines) {
    WriteText(tmp / "m.log", "#Format: TRE\n#Source: " + (tmp / "gone.tre") + "\nNULL\n");
    form.ReplayLog(tmp / "m.log");
    EXPECT_EQ(form.State().SourcePath, "");
    EXPECT_EQ(form.State().ReplayList.back(), "NULL");
}

TEST_F(Replay, SourceThatCannotBeOpenedEndsTheRun) {
    std::filesystem::create_directories(tmp / "dir.tre");
    WriteText(tmp / "d.log", "#Format: XYZ\n#Source: " + (tmp / "dir.tre") + "\n");
    EXPECT_THROW(form.ReplayLog(tmp / "d.log"), FileOpenError);

    WriteText(tmp / "busy.tre", "x");
    FileStream holder = FileStream::Open(tmp / "busy.tre", omReadWrite);
    WriteText(tmp / "b.log", "#Format: XYZ\n#Source: " + (tmp / "busy.tre") + "\n");
    EXPECT_THROW(form.ReplayLog(tmp / "b.log"), FileOpenError);
    EXPECT_EQ(form.State().SourceStream, nullptr);
}

TEST_F(Replay, WholeRunBarOverElevenLinesAndOneLine) {
    std::string text;
    for (int i = 0; i < 11; ++i) {
        text += "line\r\n";
    }
    WriteText(tmp / "l.log", text);
    form.ReplayLog(tmp / "l.log");
    EXPECT_EQ(surface.totalHistory,
              (std::vector<int>{0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(surface.progress, 11);

    surface.totalHistory.clear();
    WriteText(tmp / "one.log", "only line");
    form.ReplayLog(tmp / "one.log");
    EXPECT_EQ(surface.totalHistory, (std::vector<int>{0, 0}));
}

TEST_F(Replay, LongSourcePathsAreTakenWhole) {
    const std::string longName = std::string(200, 'n') + "/" + std::string(200, 'm') + ".tre";
    WriteText(tmp / longName, "data");
    WriteText(tmp / "long.log", "#Format: ABC\n#Source: " + (tmp / longName) + "\n");
    form.ReplayLog(tmp / "long.log");
    EXPECT_EQ(form.State().SourcePath, tmp / longName);
}

TEST_F(Replay, StopEndsTheReplayAfterTheCurrentLine) {
    WriteText(tmp / "s.log", "#Format: TRE\n#Format: BTE\n");
    surface.onDispatch = [&] { form.StopClick(); };
    form.ReplayLog(tmp / "s.log");
    EXPECT_EQ(form.State().ReplayList, (TextLines{"TRE", "#Format: BTE"}));
}

TEST_F(Replay, UnreadableLogEndsTheRun) {
    EXPECT_THROW(form.ReplayLog(tmp / "absent.log"), FileOpenError);
}

using Scan = FormTest;

TEST_F(Scan, SubdirectoriesComeFirstAndHiddenDirectoriesAreNotEntered) {
    WriteText(tmp / "game/a.tre", "");
    WriteText(tmp / "game/sub/b.TRE", "");
    WriteText(tmp / "game/.hidden/c.tre", "");
    WriteText(tmp / "game/.d.tre", "");
    WriteText(tmp / "game/notes.txt", "");
    std::filesystem::create_directories(tmp / "game/old.tre");
    form.ProcessDirConfirmed(tmp / "game", 0, "*.tre");

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
    EXPECT_TRUE(form.Buttons().BProcess && form.Buttons().BClearAll && form.Buttons().BRemLog &&
                form.Buttons().BSaveList);
}

TEST_F(Scan, MaskOfSeveralPatternsListsEachFileOnce) {
    WriteText(tmp / "t/x.bmpx", "");
    WriteText(tmp / "t/deep/y.tgax", "");
    form.ProcessDirConfirmed(tmp / "t", 1, "*.bmpx;*.tgax;x*");
    EXPECT_EQ(form.State().inputList, (TextLines{tmp / "t/deep/y.tgax", tmp / "t/x.bmpx"}));
    EXPECT_EQ(form.State().InputKind, kKindExtendedImages);
}

TEST_F(Scan, TrailingSeparatorIsKeptAndDoubled) {
    WriteText(tmp / "g/a.log", "");
    form.ProcessDirConfirmed(tmp / "g/", 4, "*.log");
    EXPECT_EQ(form.State().ScanRoot, tmp / "g/");
    EXPECT_EQ(form.State().inputList, (TextLines{tmp / "g//a.log"}));
    EXPECT_EQ(form.State().InputKind, kKindLogs);
}

TEST_F(Scan, NothingFoundEmptiesTheListButSetsTheKind) {
    form.AddFilesConfirmed(1, {"/x/a.tre"});
    form.ProcessDirConfirmed(tmp / "no-such-dir", 2, "*.fnt");
    EXPECT_TRUE(form.State().inputList.empty());
    EXPECT_FALSE(form.State().ListFromScan);
    EXPECT_EQ(form.State().InputKind, kKindFonts);
    EXPECT_FALSE(form.Buttons().BProcess);
    EXPECT_FALSE(form.Buttons().BRemLog);
    EXPECT_FALSE(form.Buttons().BSaveList);
    EXPECT_TRUE(form.Buttons().BClearAll); // keeps its state
}

TEST_F(Scan, LinkCyclesAreNotFollowedForever) {
    WriteText(tmp / "c/a.tre", "");
    std::filesystem::create_directory_symlink(tmp / "c", tmp / "c/loop");
    form.ProcessDirConfirmed(tmp / "c", 0, "*.tre");
    EXPECT_EQ(form.State().inputList, (TextLines{tmp / "c/a.tre"}));
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

} // namespace
} // namespace eitool
