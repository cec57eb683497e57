#pragma once

#include "app/AnsweringDialogs.h"
#include "common/FileStream.h"
#include "samples/SamplePack.h"
#include "win32/Win32Dialogs.h"

#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace eitool::testing {

// Acts on this thread's windows from inside the message loops that the window under test runs:
// its own dispatch during a run, and the modal loops of its dialogs.
class Actor {
public:
    Actor() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &Proc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "EitoolTestActor";
        RegisterClassA(&windowClass); // a second registration fails harmlessly
        m_window = CreateWindowExA(0, "EitoolTestActor", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
        SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Actor() {
        EXPECT_TRUE(m_answers.empty())
            << "a dialog that was to be answered was never shown: " << m_answers.front().caption;
        DestroyWindow(m_window);
    }
    Actor(const Actor&) = delete;
    Actor& operator=(const Actor&) = delete;

    // Runs act at the next dispatch of messages (the first of the run that the next click
    // starts).
    void AtNextDispatch(std::function<void()> act) {
        m_posted.push_back(std::move(act));
        PostMessageA(m_window, WM_APP, 0, 0);
    }

    // Runs act on the next dialog (class #32770) with this caption once it is up; act should
    // close it. Answers are given in the order they were asked for; the wait for one gives up
    // after some seconds, so that a test cannot hang.
    void WhenModal(std::string caption, std::function<void(HWND)> act) {
        m_answers.push_back(Answer{std::move(caption), std::move(act), 0});
        SetTimer(m_window, 1, 10, nullptr);
    }

private:
    struct Answer {
        std::string caption;
        std::function<void(HWND)> act;
        int ticks;
    };

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Actor*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr && message == WM_APP && !self->m_posted.empty()) {
            auto act = std::move(self->m_posted.front());
            self->m_posted.pop_front();
            act();
            return 0;
        }
        if (self != nullptr && message == WM_TIMER) {
            self->Tick();
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    void Tick() {
        if (m_answers.empty()) {
            KillTimer(m_window, 1);
            return;
        }
        Answer& answer = m_answers.front();
        HWND dialog = FindDialog(answer.caption);
        if (dialog == nullptr && ++answer.ticks < 1000) {
            return;
        }
        Answer taken = std::move(answer);
        m_answers.pop_front();
        if (dialog == nullptr) {
            ADD_FAILURE() << "no dialog \"" << taken.caption << "\" was shown";
            return;
        }
        taken.act(dialog);
    }

    struct Search {
        const std::string& caption;
        HWND found;
    };
    static BOOL CALLBACK Visit(HWND window, LPARAM data) {
        auto& search = *reinterpret_cast<Search*>(data);
        char className[16] = {};
        char text[256] = {};
        GetClassNameA(window, className, sizeof(className));
        GetWindowTextA(window, text, sizeof(text));
        if (IsWindowVisible(window) && std::string(className) == "#32770" &&
            search.caption == text) {
            search.found = window;
            return FALSE;
        }
        return TRUE;
    }
    static HWND FindDialog(const std::string& caption) {
        Search search{caption, nullptr};
        EnumThreadWindows(GetCurrentThreadId(), &Visit, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    HWND m_window = nullptr;
    std::deque<std::function<void()>> m_posted;
    std::deque<Answer> m_answers;
};

// The text of a control or window.
inline std::string TextOf(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

// The text of a message box.
inline std::string MessageText(HWND box) {
    return TextOf(GetDlgItem(box, 0xFFFF));
}

// Presses a dialog's button.
inline void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

inline BOOL CALLBACK VisitEdit(HWND child, LPARAM data) {
    char className[16] = {};
    GetClassNameA(child, className, sizeof(className));
    if (IsWindowVisible(child) && lstrcmpiA(className, "Edit") == 0) {
        *reinterpret_cast<HWND*>(data) = child;
        return FALSE;
    }
    return TRUE;
}

// The first visible edit box among a dialog's controls.
inline HWND FirstEdit(HWND dialog) {
    HWND found = nullptr;
    EnumChildWindows(dialog, &VisitEdit, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Types a path into a file dialog's name box and presses its OK button.
inline void ChooseFile(HWND dialog, const std::string& path) {
    constexpr int kNameEdit = 0x480;  // edt1
    constexpr int kNameCombo = 0x47C; // cmb13
    HWND name = GetDlgItem(dialog, kNameEdit);
    if (name == nullptr || !IsWindowVisible(name)) {
        name = GetDlgItem(dialog, kNameCombo);
    }
    if (name == nullptr || !IsWindowVisible(name)) {
        name = FirstEdit(dialog);
    }
    SetWindowTextA(name, path.c_str());
    Press(dialog, IDOK);
}

// The system's dialogs, but the picker answered with a target given in advance (made when
// missing): a run needs no folder picker to be driven.
class TargetDialogs : public win32::Win32Dialogs {
public:
    std::string target;
    bool SelectDirectory(const std::string& title, std::string& directory) override {
        AnsweringDialogs answering;
        answering.picker = target;
        return answering.SelectDirectory(title, directory);
    }
};

// A data pack of count small realistic members at path.
inline void WriteSamplePack(const std::string& path, std::uint32_t count) {
    WriteWholeFile(path, samples::BuildPack(samples::MakeRealisticMembers(count, 7, 32)));
}

} // namespace eitool::testing
