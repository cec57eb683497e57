// The Windows window's cost: a batch run over a pack of realistic members through the
// window (its status surface and dispatch of messages, the window shown) against the same run
// through eitool.exe, the command line beside this program (its output to NUL, its start-up
// included); target: window / command line <= 1.15.
//
//   win32_surface_bench [ROUNDS] [MEMBERS] [WORK_DIR]
//                                     (default 5 rounds of 5,000 members; the work is removed)
//
// The rounds alternate between the two, each run into a target of its own; the medians are
// compared. Run under Wine by bench/windows_gui.sh.
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "samples/SamplePack.h"
#include "win32/MainWindow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace eitool;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double WindowRun(win32::MainWindow& window, win32::UnattendedDialogs& dialogs,
                 const std::string& pack, const std::string& target) {
    dialogs.target = target;
    window.Form().BClearAllClick();
    window.AddFiles({pack});
    const Clock::time_point start = Clock::now();
    SendMessageA(window.Window(), WM_COMMAND, win32::kToolCommand + 5, 0); // Process
    return Seconds(start);
}

std::string Beside(const std::string& name) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

// eitool.exe extract --target TARGET PACK, its output to NUL; the seconds until it has ended,
// or a negative number when it failed.
double CommandLineRun(const std::string& pack, const std::string& target) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE null = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = null;
    startup.hStdError = null;
    std::string command =
        "\"" + Beside("eitool.exe") + "\" extract --target \"" + target + "\" \"" + pack + "\"";
    PROCESS_INFORMATION process{};
    const Clock::time_point start = Clock::now();
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        CloseHandle(null);
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    const double seconds = Seconds(start);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(null);
    return status == 0 ? seconds : -1;
}

} // namespace

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const auto members =
        static_cast<std::uint32_t>(argc > 2 ? std::max(1, std::atoi(argv[2])) : 5000);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string work = AbsolutePath(
        argc > 2 ? std::string(argv[2])
                 : JoinPath(temp, "eitool-win32-bench-" + std::to_string(GetCurrentProcessId())));
    RemoveTree(work);
    CreateDirectories(work);
    const std::string pack = JoinPath(work, "sample.tre");
    WriteWholeFile(pack, samples::BuildPack(samples::MakeRealisticMembers(members, 1)));

    win32::UnattendedDialogs dialogs;
    win32::MainWindow window(&dialogs);
    dialogs.SetOwner(window.Window());
    window.Show(SW_SHOWNORMAL);

    std::vector<double> windowRuns;
    std::vector<double> commandLineRuns;
    WindowRun(window, dialogs, pack, JoinPath(work, "warm-up"));
    bool failed = false;
    // Either goes first in every other round.
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn + round) % 2 == 0) {
                windowRuns.push_back(WindowRun(window, dialogs, pack,
                                               JoinPath(work, "window-" + std::to_string(round))));
            } else {
                const double seconds =
                    CommandLineRun(pack, JoinPath(work, "cli-" + std::to_string(round)));
                failed = failed || seconds < 0;
                commandLineRuns.push_back(seconds);
            }
        }
    }
    SetCurrentDirectoryA(temp); // a run makes its target the current directory
    RemoveTree(work);
    if (failed) {
        std::fputs("win32_surface_bench: eitool.exe failed\n", stderr);
        return 1;
    }
    const double ratio = Median(windowRuns) / Median(commandLineRuns);
    std::printf("batch run over %u members, medians of %d rounds:\n"
                "  wall  window %.3f s  eitool.exe %.3f s  ratio %.3f (target <= 1.15)\n",
                members, rounds, Median(windowRuns), Median(commandLineRuns), ratio);
    return ratio <= 1.15 ? 0 : 1;
}
