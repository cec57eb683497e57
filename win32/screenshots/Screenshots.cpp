// Takes the README's screenshots of the Windows window: the main window with a few files in the
// list, the window during a run and the directory dialog, as BMP files (scripts/screenshots.sh
// runs it under Wine on a virtual display and turns them into PNG files).
//
//   eitool_win32_screenshots WORK_DIR OUT_DIR
//
// WORK_DIR receives sample packs and the run's target; OUT_DIR receives main-window.bmp,
// running.bmp and directory-dialog.bmp. The picker and the closing box are answered in advance,
// so nothing waits for a user.
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "images/Bitmap.h"
#include "samples/SamplePack.h"
#include "win32/DirDialog.h"
#include "win32/MainWindow.h"

#include <cstdio>
#include <cstring>

namespace {

using namespace eitool;

// The members' file names begin with prefix, so the pieces of two packs do not claim the same
// paths.
void WritePack(const std::string& path, std::uint32_t count, const std::string& prefix) {
    std::vector<samples::PackMember> members = samples::MakeRealisticMembers(count, 11, 64);
    samples::PrefixNames(members, prefix);
    WriteWholeFile(path, samples::BuildPack(members));
}

// The window as the screen shows it, frame and caption included, painted first. Wine hands what
// was painted to the display when the thread looks at its queue, so it looks a few times before
// the picture is taken; nothing is dispatched meanwhile.
bool Save(HWND window, const std::string& path) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    for (int look = 0; look < 10; ++look) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(20);
    }
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP shot = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * height);
    GetDIBits(memory, shot, 0, static_cast<UINT>(height), rows.data(), &info, DIB_RGB_COLORS);
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    Bitmap bitmap;
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::memcpy(bitmap.ScanLine(y), rows.data() + static_cast<std::size_t>(y) * stride,
                    static_cast<std::size_t>(width) * 3);
    }
    try {
        bitmap.SaveToFile(path);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "eitool_win32_screenshots: %s\n", failure.what());
        return false;
    }
    return true;
}

// What the timer of the shots acts on.
struct Shots {
    win32::MainWindow* window = nullptr;
    std::string out;
    std::string scanDir;
    bool running = false;
    bool dialog = false;
    bool saved = true;
};
// The timer's state rides on the main window as a property.
constexpr const char* kShotsProperty = "EitoolShots";
// Apart from the window's own timers.
constexpr UINT_PTR kShotsTimer = 0x5E07;

// During the third file, with half of it done and the first two counted on the whole bar; the
// directory dialog once it is up.
void CALLBACK Tick(HWND window, UINT, UINT_PTR, DWORD) {
    auto* state = static_cast<Shots*>(GetPropA(window, kShotsProperty));
    if (state == nullptr) {
        return;
    }
    Shots& shots = *state;
    if (!shots.running) {
        const MainFormView& view = shots.window->Form().View();
        if (view.CurrentMessage == "Processing events.tre..." && view.Progress >= 50) {
            shots.running = true;
            shots.saved =
                Save(shots.window->Window(), JoinPath(shots.out, "running.bmp")) && shots.saved;
        }
        return;
    }
    HWND dialog = FindWindowA("#32770", "Directory to add");
    if (!shots.dialog && dialog != nullptr && IsWindowVisible(dialog)) {
        shots.dialog = true;
        SetWindowTextA(GetDlgItem(dialog, win32::ddScanDir), shots.scanDir.c_str());
        shots.saved = Save(dialog, JoinPath(shots.out, "directory-dialog.bmp")) && shots.saved;
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(win32::ddBCancel, BN_CLICKED), 0);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("usage: eitool_win32_screenshots WORK_DIR OUT_DIR\n", stderr);
        return 2;
    }
    const std::string work = AbsolutePath(argv[1]);
    // Absolute, since a run makes its target the current directory.
    const std::string out = AbsolutePath(argv[2]);
    CreateDirectories(JoinPath(work, "game\\menus"));
    const TextLines packs = {JoinPath(work, "game\\system.tre"),
                             JoinPath(work, "game\\menus\\title.tre"),
                             JoinPath(work, "game\\events.tre")};
    WritePack(packs[0], 6000, "");
    WritePack(packs[1], 40, ""); // too few members for a names list: a results line
    WritePack(packs[2], 6000, "ev_");

    win32::UnattendedDialogs dialogs;
    dialogs.target = JoinPath(work, "out");
    win32::MainWindow window(&dialogs);
    dialogs.SetOwner(window.Window());
    window.Show(SW_SHOWNORMAL);
    window.AddFiles(packs);
    window.Form().SelectEntries({1});
    window.Form().SetCurrentEntry(1);
    Shots shots{&window, out, JoinPath(work, "game")};
    SetPropA(window.Window(), kShotsProperty, &shots);
    bool saved = Save(window.Window(), JoinPath(out, "main-window.bmp"));

    SetTimer(window.Window(), kShotsTimer, 10, &Tick);
    SendMessageA(window.Window(), WM_COMMAND, win32::kToolCommand + 5, 0); // Process
    SendMessageA(window.Window(), WM_COMMAND, win32::kToolCommand + 1, 0); // Process Directory
    KillTimer(window.Window(), kShotsTimer);
    RemovePropA(window.Window(), kShotsProperty);
    return saved && shots.saved && shots.running && shots.dialog ? 0 : 1;
}
