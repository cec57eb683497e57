#pragma once

#include "common/FileStream.h"
#include "samples/SamplePack.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

namespace eitool::testing {

// An answer to the next modal window, given while the object lives (see WhenModal).
class [[nodiscard]] ModalAnswer {
public:
    explicit ModalAnswer(std::unique_ptr<QTimer> timer) : m_timer(std::move(timer)) {}

private:
    std::unique_ptr<QTimer> m_timer;
};

// Runs act on the next modal window (a dialog or message box shown with exec) as soon as it is
// up; act should close it. The wait gives up after a few seconds, so a test cannot hang, and
// ends with the returned object, so an answer that found no window cannot act in a later test.
inline ModalAnswer WhenModal(std::function<void(QWidget*)> act) {
    auto timer = std::make_unique<QTimer>();
    QTimer* polling = timer.get();
    auto ticks = std::make_shared<int>(0);
    QObject::connect(polling, &QTimer::timeout, [polling, ticks, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr && ++*ticks < 500) {
            return;
        }
        polling->stop();
        if (modal != nullptr) {
            act(modal);
        }
    });
    polling->start(10);
    return ModalAnswer(std::move(timer));
}

// A data pack of count small realistic members at path. Only a pack of more than
// samples::kNamesListIndex members has a names list; the others are extracted as nothing.
inline void WriteSamplePack(const std::string& path, std::uint32_t count) {
    WriteWholeFile(path, samples::BuildPack(samples::MakeRealisticMembers(count, 7, 32)));
}

} // namespace eitool::testing
