// eitool-gui.exe: the window of the Extract\Insert Tool on Windows.
//
//   eitool-gui [FILE...]    starts with the files in the input list, as if chosen in the open
//                           dialog (all existing, all of one type)
#include "win32/MainWindow.h"

#include <cstdlib>
#include <objbase.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    // The folder picker is a COM object of this thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int status = 0;
    {
        eitool::win32::MainWindow window;
        window.QuitOnDestroy();
        window.Show(show);
        eitool::TextLines files;
        for (int i = 1; i < __argc; ++i) {
            files.emplace_back(__argv[i]);
        }
        window.AddStartFiles(files);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (!window.TranslateAccelerators(msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        status = static_cast<int>(msg.wParam);
    }
    CoUninitialize();
    return status;
}
