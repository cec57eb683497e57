#include "app/MainFormView.h"

#include "support/RecordingSurface.h"

#include <gtest/gtest.h>

namespace eitool {
namespace {

using testing::RecordingSurface;

TEST(ViewSurface, RecordsWhatTheWindowShowsAndPassesEverythingOn) {
    const TextLines entries{"/x/a.tre"};
    MainFormView view(entries);
    RecordingSurface frontEnd;
    ViewSurface surface(view, frontEnd);
    unsigned heard = 0;
    view.SetObserver([&](unsigned changes) { heard |= changes; });

    surface.SetCurrentMessage("Preparing a.tre...");
    surface.SetExtracted("Extracted: 1 of 2");
    surface.SetProgressPosition(99);
    surface.StepProgress();
    surface.StepProgress(); // the bar stops at its maximum
    surface.SetTotalMax(50);
    surface.SetTotalPosition(7);
    surface.EnableStop(true);
    surface.EnableSaveLog(true);
    EXPECT_EQ(heard, vcStatus | vcControls);

    EXPECT_EQ(view.CurrentMessage, "Preparing a.tre...");
    EXPECT_EQ(view.Extracted, "Extracted: 1 of 2");
    EXPECT_EQ(surface.ProgressPosition(), 100);
    EXPECT_EQ(view.Total, 7);
    EXPECT_EQ(view.TotalMax, 50);
    EXPECT_TRUE(view.enabled.Stop && view.enabled.SaveLog);
    EXPECT_EQ(&view.LogList(), &entries);

    EXPECT_EQ(frontEnd.currentMessage, view.CurrentMessage);
    EXPECT_EQ(frontEnd.extracted, view.Extracted);
    EXPECT_EQ(frontEnd.progress, 100);
    EXPECT_EQ(frontEnd.total, 7);
    EXPECT_EQ(frontEnd.totalMax, 50);
    EXPECT_TRUE(frontEnd.stopEnabled && frontEnd.saveLogEnabled);

    heard = 0;
    surface.AddResultLine("/x/a.tre has no names list!");
    surface.FocusResults();
    surface.ProcessMessages();
    EXPECT_EQ(surface.ResultLines(), frontEnd.results);
    EXPECT_EQ(surface.ResultLineCount(), 1u);
    surface.ClearResults();
    EXPECT_TRUE(frontEnd.results.empty());
    EXPECT_EQ(frontEnd.focusCount, 1);
    EXPECT_EQ(frontEnd.dispatches, 1);
    EXPECT_EQ(heard, 0u); // the results pane is the front end's own
}

} // namespace
} // namespace eitool
