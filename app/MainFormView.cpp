#include "app/MainFormView.h"

namespace eitool {

namespace {

// The per-file bar's range is 0 to 100.
constexpr int kProgressMax = 100;

} // namespace

std::string MainFormView::FrameCaption() const {
    return StopNotice.empty() ? " Process " : " Process: " + StopNotice + " ";
}

ControlStates MainFormView::Shown() const {
    ControlStates shown = enabled;
    if (running) {
        shown.BAddLog = false;
        shown.ProcessDir = false;
        shown.BRemLog = false;
        shown.BClearAll = false;
        shown.BProcess = false;
    }
    return shown;
}

void ViewSurface::SetCurrentMessage(const std::string& text) {
    m_view.CurrentMessage = text;
    m_view.Changed(vcStatus);
    m_frontEnd.SetCurrentMessage(text);
}

void ViewSurface::SetExtracted(const std::string& text) {
    m_view.Extracted = text;
    m_view.Changed(vcStatus);
    m_frontEnd.SetExtracted(text);
}

void ViewSurface::SetProgressPosition(int position) {
    m_view.Progress = position;
    m_view.Changed(vcStatus);
    m_frontEnd.SetProgressPosition(position);
    FollowProgress();
}

void ViewSurface::StepProgress() {
    if (m_view.Progress < kProgressMax) {
        ++m_view.Progress;
    }
    m_view.Changed(vcStatus);
    m_frontEnd.StepProgress();
    FollowProgress();
}

void ViewSurface::SetTotalMax(int maximum) {
    m_view.TotalMax = maximum;
    m_view.Changed(vcStatus);
    m_frontEnd.SetTotalMax(maximum);
}

void ViewSurface::SetTotalPosition(int position) {
    if (m_totalFollowsProgress) {
        position = static_cast<int>(static_cast<long long>(m_view.Progress) * m_view.TotalMax /
                                    kProgressMax);
    }
    m_view.Total = position;
    m_view.Changed(vcStatus);
    m_frontEnd.SetTotalPosition(position);
}

void ViewSurface::SetTotalFollowsProgress(bool follows) {
    m_totalFollowsProgress = follows;
    FollowProgress();
}

void ViewSurface::FollowProgress() {
    if (m_totalFollowsProgress) {
        SetTotalPosition(0); // the position follows the per-file bar
    }
}

void ViewSurface::EnableStop(bool enabled) {
    m_view.enabled.Stop = enabled;
    m_view.Changed(vcControls);
    m_frontEnd.EnableStop(enabled);
}

void ViewSurface::EnableSaveLog(bool enabled) {
    m_view.enabled.SaveLog = enabled;
    m_view.Changed(vcControls);
    m_frontEnd.EnableSaveLog(enabled);
}

} // namespace eitool
