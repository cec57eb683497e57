#include "win32/DirDialog.h"

#include "app/TDirForm.h"
#include "win32/ToolImages.h"
#include "win32/Win32Dialogs.h"

#include <cstdint>
#include <string>
#include <vector>

namespace eitool::win32 {

namespace {

// The dialog as designed: its client area and its place on the screen.
constexpr int kWidth = 418;
constexpr int kHeight = 53;
constexpr int kLeft = 298;
constexpr int kTop = 293;
// The closed folder of the tool images.
constexpr int kFolderImage = 5;

struct DialogState {
    TDirForm& form;
    HFONT font;
    HICON folder = nullptr;
    bool refreshing = false; // the controls are being set from the model: no echo back to it
};

std::string TextOf(HWND control) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Refresh(HWND dialog, DialogState& state) {
    state.refreshing = true;
    HWND scanDir = GetDlgItem(dialog, ddScanDir);
    if (TextOf(scanDir) != state.form.ScanDir()) {
        SetWindowTextA(scanDir, state.form.ScanDir().c_str());
    }
    HWND filter = GetDlgItem(dialog, ddFilter);
    const auto& items = state.form.Filter();
    if (SendMessageA(filter, CB_GETCOUNT, 0, 0) != static_cast<LRESULT>(items.size())) {
        SendMessageA(filter, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : items) {
            SendMessageA(filter, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
    }
    SendMessageA(filter, CB_SETCURSEL, static_cast<WPARAM>(state.form.FilterItemIndex()), 0);
    EnableWindow(GetDlgItem(dialog, ddBOk), state.form.BOkEnabled());
    state.refreshing = false;
}

HWND Add(HWND dialog, const char* className, const char* text, DWORD style, int id, int x, int y,
         int width, int height, DWORD exStyle = 0) {
    return CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                           height, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleA(nullptr), nullptr);
}

void Build(HWND dialog, DialogState& state) {
    RECT frame{0, 0, kWidth, kHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, kLeft, kTop, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);

    Add(dialog, "STATIC", "", SS_SUNKEN, -1, 2, 2, kWidth - 4, kHeight - 4);
    Add(dialog, "STATIC", "Directory:", SS_LEFT, -1, 8, 8, 56, 17);
    HWND scanDir = Add(dialog, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, ddScanDir, 66, 5, 201, 21,
                       WS_EX_CLIENTEDGE);
    HWND callDialog = Add(dialog, "BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON | BS_ICON, ddCallDialog,
                          269, 5, 22, 21);
    state.folder = MakeToolIcon(kFolderImage);
    SendMessageA(callDialog, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(state.folder));
    Add(dialog, "STATIC", "File Type:", SS_LEFT, -1, 8, 31, 56, 17);
    Add(dialog, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, ddFilter, 66, 28, 227,
        160);
    Add(dialog, "BUTTON", "Ok", WS_TABSTOP | BS_PUSHBUTTON, ddBOk, 334, 5, 75, 21);
    Add(dialog, "BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, ddBCancel, 334, 28, 75, 21);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
    }
    Refresh(dialog, state);
    SetFocus(scanDir);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        state = reinterpret_cast<DialogState*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        Build(dialog, *state);
        return FALSE; // the focus is set
    case WM_COMMAND:
        if (state == nullptr) {
            break;
        }
        switch (LOWORD(wParam)) {
        case ddScanDir:
            if (HIWORD(wParam) == EN_CHANGE && !state->refreshing) {
                state->form.SetScanDir(TextOf(GetDlgItem(dialog, ddScanDir)));
                Refresh(dialog, *state);
            }
            return TRUE;
        case ddFilter:
            if (HIWORD(wParam) == CBN_SELCHANGE && !state->refreshing) {
                state->form.ChooseFilter(static_cast<int>(
                    SendMessageA(GetDlgItem(dialog, ddFilter), CB_GETCURSEL, 0, 0)));
                Refresh(dialog, *state);
            }
            return TRUE;
        case ddCallDialog:
            Guarded(dialog, [&] { state->form.CallDialogClick(); });
            Refresh(dialog, *state);
            return TRUE;
        case ddBOk:
            if (state->form.BOkEnabled()) {
                EndDialog(dialog, IDOK);
            }
            return TRUE;
        case ddBCancel:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return TRUE; // Enter (IDOK) and Esc (IDCANCEL) do nothing
        }
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        break;
    }
    return FALSE;
}

// An empty dialog template with the caption; the controls are made in pixels once it is up.
std::vector<WORD> Template() {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* head = reinterpret_cast<DLGTEMPLATE*>(words.data());
    head->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    head->dwExtendedStyle = WS_EX_TOOLWINDOW;
    words.push_back(0); // no menu
    words.push_back(0); // the dialog class
    for (const char c : std::string("Directory to add")) {
        words.push_back(static_cast<WORD>(c));
    }
    words.push_back(0);
    return words;
}

} // namespace

bool ShowDirDialog(HWND owner, TDirForm& form) {
    HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    DialogState state{form, font};
    // A vector's storage is aligned for its WORDs and more, as the template needs.
    const std::vector<WORD> dialogTemplate = Template();
    const INT_PTR result = DialogBoxIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()),
        owner, DialogProc, reinterpret_cast<LPARAM>(&state));
    if (state.folder != nullptr) {
        DestroyIcon(state.folder);
    }
    DeleteObject(font);
    return result == IDOK;
}

} // namespace eitool::win32
