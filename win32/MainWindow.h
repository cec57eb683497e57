#pragma once

#include "app/TMainForm.h"
#include "images/Targa.h"
#include "textobject/TextObject.h"
#include "win32/Win32Dialogs.h"
#include "win32/Win32Surface.h"

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>
// The system's headers, windows.h before the others, which need it.
#include <windows.h>
// (after windows.h)
#include <commctrl.h>
#include <shellapi.h>

namespace eitool::win32 {

// The command identifiers of the window: the tool buttons in their order on the tool bar
// (kToolCommand + position), the two buttons of the frame and the list box.
constexpr int kToolCommand = 100;
constexpr int kSaveLogCommand = 200;
constexpr int kStopCommand = 201;
constexpr int kLogListId = 300;
constexpr int kResultsId = 301;

// The main window "Extract\Insert Tool", drawn from the form model it owns: every click goes to
// the form's handler, and whatever the handler changed is drawn again when the form's view tells
// of it. A failure that ends a handler is shown in a message box and the window goes on.
class MainWindow {
public:
    // dialogs answers the form's dialogs; without it the window shows the system's dialogs.
    explicit MainWindow(Dialogs* dialogs = nullptr);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The program's window posts WM_QUIT when it is destroyed, which ends the message loop.
    void QuitOnDestroy() { m_quitOnDestroy = true; }
    void Show(int how);

    // The main window's keyboard shortcuts; true when msg was one of them and has been handled.
    // The message loop and the dispatch during a run call it before dispatching.
    // Tab and Shift+Tab move on between the list, the results pane, Save results and Stop, as
    // they do in a dialog; the results pane never takes a tab character.
    bool TranslateAccelerators(MSG& msg);
    // The enabled control after from in that order (before it, with back), round and round; from
    // itself when no other is enabled.
    HWND NextTabStop(HWND from, bool back) const;

    // Files named on the command line or dropped on the list, added as if chosen in the open
    // dialog; false when they were refused (not all of one known type, or a run goes on).
    bool AddFiles(const TextLines& paths);
    // The files named when the program starts: added as above when all of them exist; why they
    // were not is said in a message box.
    void AddStartFiles(const TextLines& paths);

    TMainForm& Form() { return *m_form; }
    HWND Window() const { return m_window; }
    HWND ToolBar() const { return m_toolBar; }
    HWND LogList() const { return m_logList; }
    HWND Results() const { return m_results; }
    HWND GroupBox() const { return m_groupBox; }
    HWND CurrentMessage() const { return m_currentMessage; }
    HWND Extracted() const { return m_extracted; }
    // What the last run did, in place of the two labels from its end until the next run.
    HWND Summary() const { return m_summary; }
    HWND SaveLog() const { return m_saveLog; }
    HWND Stop() const { return m_stop; }
    HWND Progress() const { return m_progress; }
    HWND Total() const { return m_total; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Build();
    void BuildToolBar();
    void BuildStatusFrame();
    HWND AddChild(const char* className, const char* text, DWORD style, int id, int x, int y,
                  int width, int height, DWORD exStyle = 0);
    void Command(int id);
    void Forward(void (TMainForm::*handler)());
    void Close();
    void DropFiles(HDROP drop);
    void Draw(unsigned changes);
    void DrawControls();
    void DrawList();
    // At most once a frame, unless whenever is set.
    void DrawStatus(bool whenever = false);
    void DrawSummary();
    void DrawItem(const DRAWITEMSTRUCT& item);
    void ListSelectionChanged();
    void Tooltip(NMTTDISPINFOA& info);

    Win32Dialogs m_win32Dialogs;
    Dialogs* m_dialogs = nullptr; // the dialogs the form asks
    HWND m_window = nullptr;
    HFONT m_font = nullptr;
    HWND m_toolBar = nullptr;
    HIMAGELIST m_enabledImages = nullptr;
    HIMAGELIST m_disabledImages = nullptr;
    HACCEL m_accelerators = nullptr;
    HWND m_logList = nullptr;
    HWND m_results = nullptr;
    HWND m_groupBox = nullptr;
    HWND m_currentMessage = nullptr;
    HWND m_extracted = nullptr;
    HWND m_summary = nullptr;
    HWND m_saveLog = nullptr;
    HWND m_stop = nullptr;
    HWND m_progress = nullptr;
    HWND m_total = nullptr;

    std::unique_ptr<Win32Surface> m_surface;
    std::unique_ptr<TMainForm> m_form;
    // The window carries one text object (IniStyle, AsciiZ, ClearBounds, LinuxFormat, TextAlign
    // 1) and one TGA image (256 x 256, 32 bits per pixel) that nothing calls.
    textobject::TTextObject TextObject{nullptr, textobject::kMainFormTextObject};
    TTarga Targa{nullptr, kMainFormTarga};

    // What the controls show now, to draw only what changed.
    std::string m_shownMessage;
    std::string m_shownExtracted;
    std::string m_shownSummary;
    std::string m_shownFrame;
    std::string m_shownStop;
    int m_shownProgress = 0;
    int m_shownTotal = 0;
    int m_shownTotalMax = 100;
    std::size_t m_shownCount = 0;
    std::chrono::steady_clock::time_point m_nextExtractedPaint{};
    bool m_counterTimer = false; // a counter waits for the end of its frame
    std::string m_tooltip;       // the text a tooltip asked for
    bool m_drawingList = false;  // the list is being drawn from the model: no echo back to it
    bool m_closeAfterRun = false;
    bool m_quitOnDestroy = false;
};

} // namespace eitool::win32
