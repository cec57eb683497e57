#include "app/RunSummary.h"

#include <gtest/gtest.h>

namespace eitool {
namespace {

TEST(RunSummary, SaysWhatTheRunDidWithItsPieces) {
    struct Case {
        RunStats stats;
        double seconds;
        PiecesDone done;
        const char* expected;
    };
    const Case cases[] = {
        {{3, 10000, 204800000, 0, 0},
         0.42,
         PiecesDone::Written,
         "3 files, 10000 pieces written, 195.3 MiB (204800000 bytes) in 0.420 s"},
        {{1, 1, 812, 0, 0},
         1.25,
         PiecesDone::Inserted,
         "1 file, 1 piece inserted, 812 bytes in 1.25 s"},
        {{2, 7, 1634001, 10, 3},
         42.1,
         PiecesDone::Inserted,
         "2 files, 7 pieces inserted, 1.6 MiB (1634001 bytes) in 42.1 s; 3 of 10 pieces named by "
         "the logs were not found"},
        {{1, 1, 90, 9999, 0, 9998},
         0.071,
         PiecesDone::Inserted,
         "1 file, 1 piece inserted, 90 bytes in 0.071 s; 9998 unchanged pieces known from the "
         "index"},
        {{0, 0, 0, 0, 0},
         0.012,
         PiecesDone::Checked,
         "0 files, 0 pieces checked, 0 bytes in 0.012 s"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunSummary(c.stats, c.seconds, c.done), c.expected);
    }
}

TEST(RunSummary, PiecesAreWrittenByExtractionsAndInsertedOrCheckedByReplays) {
    RunState state;
    const std::pair<std::uint8_t, PiecesDone> kinds[] = {
        {kKindDataPacks, PiecesDone::Written},
        {kKindFonts, PiecesDone::Written},
        {kKindLogs, PiecesDone::Inserted},
        {kKindProjectList, PiecesDone::Inserted},
    };
    for (const auto& [kind, done] : kinds) {
        state.InputKind = kind;
        EXPECT_EQ(PiecesDoneOf(state), done) << int{kind};
    }
    state.DryRun = true;
    EXPECT_EQ(PiecesDoneOf(state), PiecesDone::Checked);
}

} // namespace
} // namespace eitool
