#pragma once

#include "common/FileStream.h"
#include "samples/SamplePack.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

namespace eitool::testing {

// Runs act on the next modal window (a dialog or message box shown with exec) as soon as it is
// up; act should close it. The wait gives up after a few seconds, so a test cannot hang.
inline void WhenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr && ++*ticks < 500) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (modal != nullptr) {
            act(modal);
        }
    });
    timer->start(10);
}

// A data pack of count small realistic members at path. Only a pack of more than
// samples::kNamesListIndex members has a names list; the others are extracted as nothing.
inline void WriteSamplePack(const std::string& path, std::uint32_t count) {
    WriteWholeFile(path, samples::BuildPack(samples::MakeRealisticMembers(count, 7, 32)));
}

} // namespace eitool::testing
