#include "win32/MainWindow.h"

#include "app/ToolButtons.h"
#include "common/FileSystem.h"
#include "win32/ToolImages.h"

#include <cctype>
#include <cstring>
#include <richedit.h>

namespace eitool::win32 {

namespace {

// The window's client area and the heights of its bands, top to bottom.
constexpr int kWidth = 688;
constexpr int kHeight = 464;
constexpr int kToolBarHeight = 26;
constexpr int kLogListHeight = 189;
constexpr int kGroupBoxHeight = 66;
constexpr int kGroupBoxTop = kHeight - kGroupBoxHeight;
constexpr int kResultsTop = kToolBarHeight + kLogListHeight;
// Tool buttons stand 23 pixels apart.
constexpr int kToolButtonWidth = 23;
constexpr int kToolButtonHeight = 22;
constexpr int kListItemHeight = 13;

// The shortest time between two immediate repaints of the counter.
constexpr std::chrono::milliseconds kFrame(16);
constexpr UINT_PTR kCounterTimer = 1;

constexpr const char* kClassName = "EitoolMainWindow";
constexpr const char* kCaption = "Extract\\Insert Tool";

// The form's handlers of the tool buttons, in the order of kToolButtons.
constexpr void (TMainForm::*kToolHandlers[kToolImageCount])() = {
    &TMainForm::BAddLogClick, &TMainForm::ProcessDirClick, &TMainForm::BSaveListClick,
    &TMainForm::BRemLogClick, &TMainForm::BClearAllClick,  &TMainForm::BProcessClick,
    &TMainForm::BExitClick,
};

std::array<bool, kToolImageCount> ToolStates(const ControlStates& shown) {
    return {shown.BAddLog,   shown.ProcessDir, shown.BSaveList, shown.BRemLog,
            shown.BClearAll, shown.BProcess,   shown.BExit};
}

// The common controls, the rich edit class and the window class, once for the process.
void RegisterOnce() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                            ICC_STANDARD_CLASSES |
                                                            ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        LoadLibraryA("riched20.dll");
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hIcon = LoadIconA(windowClass.hInstance, MAKEINTRESOURCEA(1));
        windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExA(&windowClass) != 0;
    }();
    (void)registered;
}

// The accelerators of the tool buttons' shortcuts ("Ctrl+O", "F5"; Del belongs to the list box,
// where it removes entries without taking the key from the results pane) and Esc for Stop.
HACCEL MakeAccelerators() {
    std::vector<ACCEL> table;
    for (int i = 0; i < kToolImageCount; ++i) {
        const std::string shortcut = kToolButtons[i].shortcut;
        const auto command = static_cast<WORD>(kToolCommand + i);
        if (shortcut.rfind("Ctrl+", 0) == 0 && shortcut.size() == 6) {
            table.push_back(
                ACCEL{FVIRTKEY | FCONTROL,
                      static_cast<WORD>(std::toupper(static_cast<unsigned char>(shortcut.back()))),
                      command});
        } else if (shortcut.size() >= 2 && shortcut[0] == 'F' &&
                   std::isdigit(static_cast<unsigned char>(shortcut[1]))) {
            table.push_back(ACCEL{
                FVIRTKEY, static_cast<WORD>(VK_F1 - 1 + std::stoi(shortcut.substr(1))), command});
        }
    }
    table.push_back(ACCEL{FVIRTKEY, VK_ESCAPE, static_cast<WORD>(kStopCommand)});
    return CreateAcceleratorTableA(table.data(), static_cast<int>(table.size()));
}

std::string TextOf(HWND control) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void SetText(HWND control, const std::string& text) {
    if (TextOf(control) != text) {
        SetWindowTextA(control, text.c_str());
    }
}

} // namespace

MainWindow::MainWindow(Dialogs* dialogs) {
    RegisterOnce();
    // No WS_CLIPCHILDREN: the frame's group box leaves its inside to the window's background.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_TOOLWINDOW | WS_EX_APPWINDOW;
    RECT frame{0, 0, kWidth, kHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT desktop{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &desktop, 0);
    m_window = CreateWindowExA(exStyle, kClassName, kCaption, style,
                               desktop.left + (desktop.right - desktop.left - width) / 2,
                               desktop.top + (desktop.bottom - desktop.top - height) / 2, width,
                               height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));

    m_font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    Build();

    m_surface = std::make_unique<Win32Surface>(
        m_results, [this](MSG& msg) { return TranslateAccelerators(msg); });
    m_win32Dialogs.SetOwner(m_window);
    m_dialogs = dialogs != nullptr ? dialogs : &m_win32Dialogs;
    m_form = std::make_unique<TMainForm>(*m_surface, *m_dialogs);
    // A pack whose pieces grew is rebuilt only when the user says so.
    m_form->State().Grow = GrowMode::Ask;
    m_form->SetViewObserver([this](unsigned changes) { Draw(changes); });
    m_accelerators = MakeAccelerators();
    Draw(vcControls | vcList | vcStatus);
}

MainWindow::~MainWindow() {
    m_form->SetViewObserver(nullptr);
    if (IsWindow(m_window)) {
        m_quitOnDestroy = false;
        DestroyWindow(m_window);
    }
    DestroyAcceleratorTable(m_accelerators);
    ImageList_Destroy(m_enabledImages);
    ImageList_Destroy(m_disabledImages);
    DeleteObject(m_font);
}

void MainWindow::Show(int how) {
    ShowWindow(m_window, how);
    UpdateWindow(m_window);
}

HWND MainWindow::AddChild(const char* className, const char* text, DWORD style, int id, int x,
                          int y, int width, int height, DWORD exStyle) {
    HWND child = CreateWindowExA(
        exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, m_window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (id != kResultsId) {
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    }
    return child;
}

void MainWindow::Build() {
    BuildToolBar();
    // The list draws the form's entries where they are, so 100,000 of them cost no copies.
    m_logList = AddChild("LISTBOX", "",
                         WS_VSCROLL | WS_TABSTOP | LBS_EXTENDEDSEL | LBS_NOTIFY |
                             LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_NODATA,
                         kLogListId, 0, kToolBarHeight, kWidth, kLogListHeight,
                         WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES);
    SendMessageA(m_logList, LB_SETITEMHEIGHT, 0, kListItemHeight);
    SetWindowSubclass(m_logList, &ListProc, 1, reinterpret_cast<DWORD_PTR>(this));

    m_results =
        AddChild("RichEdit20A", "",
                 WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN |
                     ES_NOHIDESEL | ES_DISABLENOSCROLL,
                 kResultsId, 0, kResultsTop, kWidth, kGroupBoxTop - kResultsTop, WS_EX_CLIENTEDGE);
    // Plain text can only be chosen while the pane is empty and has nothing to undo, so before
    // its font is set; the default limit is 32,767.
    SendMessageA(m_results, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
    SendMessageA(m_results, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    SendMessageA(m_results, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);

    BuildStatusFrame();
}

void MainWindow::BuildToolBar() {
    m_toolBar =
        AddChild(TOOLBARCLASSNAMEA, "",
                 TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                 0, 0, 0, kWidth, kToolBarHeight, WS_EX_STATICEDGE);
    SendMessageA(m_toolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(m_toolBar, TB_SETBITMAPSIZE, 0, MAKELPARAM(kToolImageSize, kToolImageSize));
    m_enabledImages = MakeToolImageList(true);
    m_disabledImages = MakeToolImageList(false);
    SendMessageA(m_toolBar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_enabledImages));
    SendMessageA(m_toolBar, TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(m_disabledImages));
    std::array<TBBUTTON, kToolImageCount> buttons{};
    for (int i = 0; i < kToolImageCount; ++i) {
        TBBUTTON& button = buttons[static_cast<std::size_t>(i)];
        button.iBitmap = kToolButtons[i].image;
        button.idCommand = kToolCommand + i;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON;
        // The hint is the button's text: the name screen readers give it. No row of text is
        // shown, so the buttons keep their images alone.
        button.iString = reinterpret_cast<INT_PTR>(kToolButtons[i].hint);
    }
    SendMessageA(m_toolBar, TB_SETMAXTEXTROWS, 0, 0);
    SendMessageA(m_toolBar, TB_ADDBUTTONSA, buttons.size(),
                 reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageA(m_toolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(kToolButtonWidth, kToolButtonHeight));
}

void MainWindow::BuildStatusFrame() {
    m_groupBox =
        AddChild("BUTTON", " Process ", BS_GROUPBOX, -1, 0, kGroupBoxTop, kWidth, kGroupBoxHeight);
    const int top = kGroupBoxTop;
    m_currentMessage =
        AddChild("STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, -1, 8, top + 15, 300, 17);
    m_extracted = AddChild("STATIC", "Extracted: 0", SS_LEFTNOWORDWRAP | SS_NOPREFIX, -1, 312,
                           top + 15, 180, 17);
    constexpr int kSaveLogLeft = kWidth - 8 - 71 - 4 - 105;
    m_summary = AddChild("STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, -1, 8, top + 15,
                         kSaveLogLeft - 4 - 8, 17);
    ShowWindow(m_summary, SW_HIDE);
    m_saveLog = AddChild("BUTTON", "Save results", WS_TABSTOP | BS_PUSHBUTTON, kSaveLogCommand,
                         kSaveLogLeft, top + 14, 105, 19);
    m_stop = AddChild("BUTTON", "Stop", WS_TABSTOP | BS_PUSHBUTTON, kStopCommand, kWidth - 8 - 71,
                      top + 14, 71, 19);
    m_shownStop = "Stop";
    m_shownFrame = " Process ";
    m_progress = AddChild(PROGRESS_CLASSA, "", PBS_SMOOTH, -1, 8, top + 36, 671, 13);
    m_total = AddChild(PROGRESS_CLASSA, "", PBS_SMOOTH, -1, 8, top + 50, 671, 13);
    for (HWND bar : {m_progress, m_total}) {
        SendMessageA(bar, PBM_SETRANGE32, 0, 100);
        SendMessageA(bar, PBM_SETSTEP, 1, 0);
    }
}

bool MainWindow::TranslateAccelerators(MSG& msg) {
    if (m_accelerators == nullptr || !IsWindow(m_window) ||
        (msg.hwnd != m_window && !IsChild(m_window, msg.hwnd))) {
        return false;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB &&
        (GetKeyState(VK_CONTROL) & 0x8000) == 0) {
        SetFocus(NextTabStop(msg.hwnd, (GetKeyState(VK_SHIFT) & 0x8000) != 0));
        return true;
    }
    return TranslateAcceleratorA(m_window, m_accelerators, &msg) != 0;
}

HWND MainWindow::NextTabStop(HWND from, bool back) const {
    const std::array<HWND, 4> stops = {m_logList, m_results, m_saveLog, m_stop};
    const auto count = static_cast<int>(stops.size());
    int at = 0;
    while (at < count && stops[static_cast<std::size_t>(at)] != from) {
        ++at;
    }
    if (at == count) {
        at = back ? 0 : count - 1; // from elsewhere: the first (or, going back, the last)
    }
    for (int step = 1; step <= count; ++step) {
        const int next = ((back ? at - step : at + step) % count + count) % count;
        HWND control = stops[static_cast<std::size_t>(next)];
        if (control != from && IsWindowEnabled(control)) {
            return control;
        }
    }
    return from;
}

bool MainWindow::AddFiles(const TextLines& paths) {
    if (!m_form->View().Shown().BAddLog || paths.empty()) {
        return false;
    }
    TextLines absolute;
    absolute.reserve(paths.size());
    for (const std::string& path : paths) {
        absolute.push_back(AbsolutePath(path));
    }
    bool added = false;
    Guarded(m_window, [&] { added = m_form->AddFiles(absolute); });
    return added;
}

void MainWindow::AddStartFiles(const TextLines& paths) {
    std::string missing;
    for (const std::string& path : paths) {
        if (EntryTypeOf(path, true) != EntryType::RegularFile) {
            missing += (missing.empty() ? "" : ", ") + path;
        }
    }
    if (!missing.empty()) {
        m_dialogs->ShowMessage("No such file: " + missing + "; none of the files was added.",
                               "Operation status", miWarning);
    } else if (!paths.empty()) {
        AddFiles(paths); // a refusal says why in its own message box
    }
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr || self->m_form == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return self->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == kLogListId) {
            if (HIWORD(wParam) == LBN_SELCHANGE) {
                ListSelectionChanged();
            }
        } else {
            Command(LOWORD(wParam));
        }
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == TTN_GETDISPINFOA) {
            Tooltip(*reinterpret_cast<NMTTDISPINFOA*>(lParam));
        } else if (header->code == TTN_GETDISPINFOW) {
            // A tooltip that asks in UTF-16 gets the hint, which is ASCII, widened.
            auto& info = *reinterpret_cast<NMTTDISPINFOW*>(lParam);
            const auto id = static_cast<int>(info.hdr.idFrom) - kToolCommand;
            info.szText[0] = L'\0';
            if (id >= 0 && id < kToolImageCount) {
                MultiByteToWideChar(CP_ACP, 0, kToolButtons[id].hint, -1, info.szText,
                                    static_cast<int>(std::size(info.szText)));
            }
        }
        return 0;
    }
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = kListItemHeight;
        return TRUE;
    case WM_DRAWITEM:
        if (wParam == kLogListId) {
            DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        break;
    case WM_TIMER:
        if (wParam == kCounterTimer) {
            KillTimer(m_window, kCounterTimer);
            m_counterTimer = false;
            DrawStatus(true);
            return 0;
        }
        break;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_DESTROY:
        if (m_quitOnDestroy) {
            PostQuitMessage(0);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcA(m_window, message, wParam, lParam);
}

// The list box: Delete removes the selected entries; files dropped on it are added.
LRESULT CALLBACK MainWindow::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR self) {
    auto& window = *reinterpret_cast<MainWindow*>(self);
    if (message == WM_KEYDOWN && wParam == VK_DELETE) {
        window.Command(kToolCommand + 3);
        return 0;
    }
    if (message == WM_DROPFILES) {
        window.DropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

void MainWindow::DropFiles(HDROP drop) {
    TextLines paths;
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::string path(DragQueryFileA(drop, i, nullptr, 0) + 1, '\0');
        path.resize(DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(std::move(path));
    }
    DragFinish(drop);
    AddFiles(paths);
}

// A click, a shortcut or a key: only what the window shows enabled is pressed.
void MainWindow::Command(int id) {
    const ControlStates shown = m_form->View().Shown();
    const auto tools = ToolStates(shown);
    if (id >= kToolCommand && id < kToolCommand + kToolImageCount) {
        const auto at = static_cast<std::size_t>(id - kToolCommand);
        if (tools[at]) {
            Forward(kToolHandlers[at]);
        }
    } else if (id == kSaveLogCommand && shown.SaveLog) {
        Forward(&TMainForm::SaveLogClick);
    } else if (id == kStopCommand && shown.Stop) {
        Forward(&TMainForm::StopClick);
    }
}

// A handler runs inside the click; a close asked for during a run happens after it.
void MainWindow::Forward(void (TMainForm::*handler)()) {
    m_surface->DispatchAtNextCall();
    Guarded(m_window, [&] { ((*m_form).*handler)(); });
    if (m_closeAfterRun && !m_form->View().running && IsWindow(m_window)) {
        m_closeAfterRun = false;
        DestroyWindow(m_window);
    }
}

// NOTE: closing the window during a run presses Stop and closes it once the run has ended; the
// run's own message boxes are still shown.
void MainWindow::Close() {
    if (m_form->View().running) {
        m_closeAfterRun = true;
        if (m_form->View().Shown().Stop) {
            Guarded(m_window, [&] { m_form->StopClick(); });
        }
        return;
    }
    DestroyWindow(m_window);
}

void MainWindow::Tooltip(NMTTDISPINFOA& info) {
    const auto id = static_cast<int>(info.hdr.idFrom) - kToolCommand;
    m_tooltip = id >= 0 && id < kToolImageCount ? kToolButtons[id].hint : "";
    info.lpszText = m_tooltip.data();
    info.hinst = nullptr;
}

void MainWindow::Draw(unsigned changes) {
    if (!IsWindow(m_window)) {
        return;
    }
    if ((changes & vcControls) != 0) {
        DrawControls();
    }
    if ((changes & vcList) != 0 && !m_drawingList) {
        DrawList();
    }
    if ((changes & (vcStatus | vcControls)) != 0) {
        // A change of the controls (the end of a run) shows the latest counter too.
        DrawStatus((changes & vcControls) != 0);
    }
    if ((changes & vcClose) != 0 && m_form->View().closeRequested) {
        SendMessageA(m_window, WM_CLOSE, 0, 0);
    }
}

void MainWindow::DrawControls() {
    const MainFormView& view = m_form->View();
    const ControlStates shown = view.Shown();
    const auto tools = ToolStates(shown);
    for (int i = 0; i < kToolImageCount; ++i) {
        SendMessageA(m_toolBar, TB_ENABLEBUTTON, static_cast<WPARAM>(kToolCommand + i),
                     MAKELPARAM(tools[static_cast<std::size_t>(i)] ? TRUE : FALSE, 0));
    }
    EnableWindow(m_logList, view.running ? FALSE : TRUE);
    EnableWindow(m_stop, shown.Stop ? TRUE : FALSE);
    EnableWindow(m_saveLog, shown.SaveLog ? TRUE : FALSE);
    if (view.StopCaption != m_shownStop) {
        m_shownStop = view.StopCaption;
        SetWindowTextA(m_stop, m_shownStop.c_str());
    }
}

// Shows the entries, the selection and the current entry of the model. The selection is given
// to the list as runs of adjacent entries, so a large selection is a few messages.
void MainWindow::DrawList() {
    m_drawingList = true;
    const MainFormView& view = m_form->View();
    const std::size_t count = view.LogList().size();
    SendMessageA(m_logList, WM_SETREDRAW, FALSE, 0);
    if (count != m_shownCount ||
        static_cast<std::size_t>(SendMessageA(m_logList, LB_GETCOUNT, 0, 0)) != count) {
        SendMessageA(m_logList, LB_SETCOUNT, count, 0);
        m_shownCount = count;
    }
    SendMessageA(m_logList, LB_SETSEL, FALSE, -1);
    const std::vector<std::size_t>& selected = view.selected;
    for (std::size_t first = 0; first < selected.size();) {
        std::size_t last = first;
        while (last + 1 < selected.size() && selected[last + 1] == selected[last] + 1) {
            ++last;
        }
        if (last == first) {
            SendMessageA(m_logList, LB_SETSEL, TRUE, static_cast<LPARAM>(selected[first]));
        } else {
            SendMessageA(m_logList, LB_SELITEMRANGEEX, selected[first],
                         static_cast<LPARAM>(selected[last]));
        }
        first = last + 1;
    }
    if (view.current >= 0) {
        SendMessageA(m_logList, LB_SETCARETINDEX, static_cast<WPARAM>(view.current), FALSE);
    }
    SendMessageA(m_logList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_logList, nullptr, TRUE);
    m_drawingList = false;
}

void MainWindow::DrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) {
        if ((item.itemState & ODS_FOCUS) != 0) {
            DrawFocusRect(item.hDC, &item.rcItem);
        }
        return;
    }
    const TextLines& entries = m_form->View().LogList();
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (item.itemID < entries.size()) {
        const std::string& text = entries[item.itemID];
        SetBkMode(item.hDC, TRANSPARENT);
        SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT area = item.rcItem;
        area.left += 2;
        DrawTextA(item.hDC, text.c_str(), static_cast<int>(text.size()), &area,
                  DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER | DT_END_ELLIPSIS);
    }
    if ((item.itemState & ODS_FOCUS) != 0) {
        DrawFocusRect(item.hDC, &item.rcItem);
    }
}

// A run counts thousands of pieces a second. The counter is repainted at once, as the run expects
// of it, but at most once a frame; a counter changed alone within a frame is set with the next
// change of the other labels or the bars, or when its frame is over (a timer sees to the last
// one). The bars are drawn at the next dispatch.
void MainWindow::DrawStatus(bool whenever) {
    const MainFormView& view = m_form->View();
    const bool others = view.CurrentMessage != m_shownMessage || view.Progress != m_shownProgress ||
                        view.Total != m_shownTotal || view.TotalMax != m_shownTotalMax;
    if (view.CurrentMessage != m_shownMessage) {
        m_shownMessage = view.CurrentMessage;
        SetWindowTextA(m_currentMessage, m_shownMessage.c_str());
        UpdateWindow(m_currentMessage);
    }
    if (view.Extracted != m_shownExtracted) {
        const auto now = std::chrono::steady_clock::now();
        const bool frameOver = now >= m_nextExtractedPaint;
        if (whenever || others || frameOver) {
            m_shownExtracted = view.Extracted;
            SetWindowTextA(m_extracted, m_shownExtracted.c_str());
        }
        if (frameOver) {
            m_nextExtractedPaint = now + kFrame;
            UpdateWindow(m_extracted);
        }
        if (view.Extracted != m_shownExtracted && !m_counterTimer) {
            m_counterTimer = SetTimer(m_window, kCounterTimer, kFrame.count(), nullptr) != 0;
        }
    }
    if (view.Summary != m_shownSummary) {
        DrawSummary();
    }
    if (const std::string frame = view.FrameCaption(); frame != m_shownFrame) {
        m_shownFrame = frame;
        SetWindowTextA(m_groupBox, m_shownFrame.c_str());
    }
    if (view.TotalMax != m_shownTotalMax) {
        m_shownTotalMax = view.TotalMax;
        SendMessageA(m_total, PBM_SETRANGE32, 0, m_shownTotalMax);
    }
    if (view.Progress != m_shownProgress) {
        m_shownProgress = view.Progress;
        SendMessageA(m_progress, PBM_SETPOS, static_cast<WPARAM>(m_shownProgress), 0);
    }
    if (view.Total != m_shownTotal) {
        m_shownTotal = view.Total;
        SendMessageA(m_total, PBM_SETPOS, static_cast<WPARAM>(m_shownTotal), 0);
    }
}

// The summary takes the place of the two labels, which are empty once a run has ended; a text
// longer than the frame has room for ends in an ellipsis.
void MainWindow::DrawSummary() {
    m_shownSummary = m_form->View().Summary;
    SetText(m_summary, m_shownSummary);
    const bool shown = !m_shownSummary.empty();
    ShowWindow(m_summary, shown ? SW_SHOWNA : SW_HIDE);
    ShowWindow(m_currentMessage, shown ? SW_HIDE : SW_SHOWNA);
    ShowWindow(m_extracted, shown ? SW_HIDE : SW_SHOWNA);
}

void MainWindow::ListSelectionChanged() {
    if (m_drawingList) {
        return;
    }
    const auto count = SendMessageA(m_logList, LB_GETSELCOUNT, 0, 0);
    std::vector<int> items(static_cast<std::size_t>(std::max<LRESULT>(count, 0)));
    if (!items.empty()) {
        SendMessageA(m_logList, LB_GETSELITEMS, items.size(),
                     reinterpret_cast<LPARAM>(items.data()));
    }
    std::vector<std::size_t> rows(items.begin(), items.end());
    m_drawingList = true;
    m_form->SelectEntries(std::move(rows));
    const auto caret = SendMessageA(m_logList, LB_GETCARETINDEX, 0, 0);
    m_form->SetCurrentEntry(m_shownCount == 0 ? -1 : static_cast<int>(caret));
    m_drawingList = false;
}

} // namespace eitool::win32
