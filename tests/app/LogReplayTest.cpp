#include "app/LogReplay.h"

#include "common/FileStream.h"
#include "common/RunError.h"
#include "samples/SampleTexture.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace eitool {
namespace {

using testing::ReadText;
using testing::RecordingSurface;
using testing::TempDir;
using testing::WriteText;

class Replay : public ::testing::Test {
protected:
    TempDir tmp;
    RunState state;
    RecordingSurface surface;
    RunContext run{state, surface};
};

TEST_F(Replay, EmptyLogShowsItsNameAndHandlesNothing) {
    WriteText(tmp / "e.log", "");
    ReplayLog(run, tmp / "e.log");
    EXPECT_EQ(surface.currentMessage, "Processing e.log...");
    EXPECT_EQ(state.ReplayKind, kKindNone);
    EXPECT_EQ(surface.dispatches, 0);
}

TEST_F(Replay, KeywordLinesAreShortenedAndOnlyExactKeywordsCount) {
    WriteText(tmp / "k.log", "#format: TRE\n#Format:TRE\n#Format: TRE\n#Target x\nentry\n");
    ReplayLog(run, tmp / "k.log");
    EXPECT_EQ(state.ReplayList.ToTextLines(),
              (TextLines{"#format: TRE", "#Format:TRE", "TRE", "x", "entry"}));
    EXPECT_EQ(state.ReplayKind, kKindDataPacks);
}

TEST_F(Replay, UnknownTagOpensAndClosesTheSourceWithoutInsertion) {
    WriteText(tmp / "a.tre", "not a pack at all");
    WriteText(tmp / "x.log", "#Format: XYZ\n#Source: " + (tmp / "a.tre") + "\nentry line\n");
    ReplayLog(run, tmp / "x.log");
    EXPECT_EQ(state.ReplayKind, kKindNone);
    EXPECT_EQ(state.SourcePath, tmp / "a.tre");
    EXPECT_EQ(state.SourceStream, nullptr);
    EXPECT_EQ(ReadText(tmp / "a.tre"), "not a pack at all");
    // The source is closed again: it can be opened without sharing.
    EXPECT_NO_THROW(FileStream::Open(tmp / "a.tre", omReadWrite));
}

// The lines an inserter consumed are counted: those that name a piece, and those of them whose
// piece is not there (the work folder was moved). "NULL" and keyword lines name none.
TEST_F(Replay, PiecesNamedButNotFoundAreCounted) {
    const std::string texture = tmp / "a.tgax";
    WriteWholeFile(texture, samples::BuildExtendedImage(samples::MakeSampleTexture(8, 64, 32, 5)));
    state.TargetDirectory = tmp / "out";
    WriteText(tmp / "t.log", "#Format: BTE\n#Source: " + texture + "\nNULL\n" + (tmp / "gone.bmp") +
                                 "\n#Format: BTE\n");
    ReplayLog(run, tmp / "t.log");
    EXPECT_EQ(state.stats.piecesNamed, 1u);
    EXPECT_EQ(state.stats.piecesMissing, 1u);
}

TEST_F(Replay, MissingSourceIsPassedOverWithItsEntryLines) {
    WriteText(tmp / "m.log", "#Format: TRE\n#Source: " + (tmp / "gone.tre") + "\nNULL\n");
    ReplayLog(run, tmp / "m.log");
    EXPECT_EQ(state.SourcePath, "");
    EXPECT_EQ(state.ReplayList[state.ReplayList.size() - 1], "NULL");
}

TEST_F(Replay, SourceThatCannotBeOpenedEndsTheRun) {
    std::filesystem::create_directories(tmp / "dir.tre");
    WriteText(tmp / "d.log", "#Format: XYZ\n#Source: " + (tmp / "dir.tre") + "\n");
    EXPECT_THROW(ReplayLog(run, tmp / "d.log"), FileOpenError);

    WriteText(tmp / "busy.tre", "x");
    FileStream holder = FileStream::Open(tmp / "busy.tre", omReadWrite);
    WriteText(tmp / "b.log", "#Format: XYZ\n#Source: " + (tmp / "busy.tre") + "\n");
    EXPECT_THROW(ReplayLog(run, tmp / "b.log"), FileOpenError);
    EXPECT_EQ(state.SourceStream, nullptr);
}

TEST_F(Replay, WholeRunBarOverElevenLinesAndOneLine) {
    std::string text;
    for (int i = 0; i < 11; ++i) {
        text += "line\r\n";
    }
    WriteText(tmp / "l.log", text);
    ReplayLog(run, tmp / "l.log");
    EXPECT_EQ(surface.totalHistory,
              (std::vector<int>{0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(surface.progress, 11);

    surface.totalHistory.clear();
    WriteText(tmp / "one.log", "only line");
    ReplayLog(run, tmp / "one.log");
    EXPECT_EQ(surface.totalHistory, (std::vector<int>{0, 0}));
}

TEST_F(Replay, LongSourcePathsAreTakenWhole) {
    const std::string longName = std::string(200, 'n') + "/" + std::string(200, 'm') + ".tre";
    WriteText(tmp / longName, "data");
    WriteText(tmp / "long.log", "#Format: ABC\n#Source: " + (tmp / longName) + "\n");
    ReplayLog(run, tmp / "long.log");
    EXPECT_EQ(state.SourcePath, tmp / longName);
}

TEST_F(Replay, StopEndsTheReplayAfterTheCurrentLine) {
    WriteText(tmp / "s.log", "#Format: TRE\n#Format: BTE\n");
    surface.onDispatch = [&] { state.StopTag = 1; };
    ReplayLog(run, tmp / "s.log");
    EXPECT_EQ(state.ReplayList.ToTextLines(), (TextLines{"TRE", "#Format: BTE"}));
}

TEST_F(Replay, UnreadableLogEndsTheRun) {
    EXPECT_THROW(ReplayLog(run, tmp / "absent.log"), FileOpenError);
}

} // namespace
} // namespace eitool
