// The window's costs, measured in one run of this program:
//   - a batch run over a pack of 10,000 realistic members through the window (its Qt status
//     surface, on the offscreen platform unless QT_QPA_PLATFORM says otherwise) against the same
//     run through the command line's console surface (progress display on, drawn to /dev/null);
//     target: window / console <= 1.15;
//   - a list of 100,000 entries added, all selected and removed in the window; target < 1 s.
//
//   gui_surface_bench [ROUNDS] [WORK_DIR]     (default 5 rounds; removed after)
//
// The rounds alternate between the two surfaces, each run starting after a sync into a target of
// its own (trees are removed only at the end: a removal just before a run slows the file system
// down for it); the medians are compared. The work directory is in memory (/dev/shm) unless one is
// given, because what is compared is the surfaces' cost, which a disk's writeback would hide.
#include "app/AnsweringDialogs.h"
#include "app/TMainForm.h"
#include "cli/ConsoleSurface.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "gui/MainWindow.h"
#include "samples/SamplePack.h"

#include <QAction>
#include <QApplication>
#include <QListView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
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

// Standard error goes to /dev/null while it lives (the console surface's progress display).
class QuietStderr {
public:
    QuietStderr() : m_saved(dup(2)) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;
    ~QuietStderr() {
        dup2(m_saved, 2);
        close(m_saved);
    }

private:
    int m_saved;
};

double ToSeconds(timeval time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// The process's user and system CPU seconds so far.
std::pair<double, double> CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {ToSeconds(usage.ru_utime), ToSeconds(usage.ru_stime)};
}

// What the runs cost: wall-clock seconds, and the process's user and system CPU seconds, which
// the machine's other work blurs less.
struct Cost {
    std::vector<double> wall;
    std::vector<double> user;
    std::vector<double> system;
};

// One extraction of pack into a fresh target through form.
void TimedRun(TMainForm& form, AnsweringDialogs& dialogs, const std::string& pack,
              const std::string& target, Cost& cost) {
    dialogs.picker = target;
    form.BClearAllClick();
    form.AddFiles({pack});
    sync(); // the last run's writes do not fall into this run
    const auto [user, system] = CpuSeconds();
    const Clock::time_point start = Clock::now();
    form.BProcessClick();
    cost.wall.push_back(Seconds(start));
    const auto [userAfter, systemAfter] = CpuSeconds();
    cost.user.push_back(userAfter - user);
    cost.system.push_back(systemAfter - system);
}

} // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string work =
        std::filesystem::absolute(argc > 2 ? std::string(argv[2])
                                  : std::filesystem::is_directory("/dev/shm")
                                      ? "/dev/shm/eitool-gui-bench-" + std::to_string(getpid())
                                      : std::string("gui-bench-work"));
    std::filesystem::remove_all(work);
    CreateDirectories(work);
    const std::string pack = JoinPath(work, "sample.tre");
    WriteWholeFile(pack, samples::BuildPack(samples::MakeRealisticMembers(10000, 1)));

    AnsweringDialogs dialogs;
    gui::MainWindow window(&dialogs);
    window.show();
    cli::ConsoleSurface console({.echoResults = true, .showProgress = true});
    TMainForm consoleForm(console, dialogs);

    Cost qt;
    Cost text;
    Cost warmUp;
    TimedRun(window.Form(), dialogs, pack, JoinPath(work, "warm-up"), warmUp); // first paint
    // Either surface goes first in every other round.
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn + round) % 2 == 0) {
                TimedRun(window.Form(), dialogs, pack,
                         JoinPath(work, "qt-" + std::to_string(round)), qt);
            } else {
                const QuietStderr quiet;
                TimedRun(consoleForm, dialogs, pack,
                         JoinPath(work, "console-" + std::to_string(round)), text);
            }
        }
    }
    const double ratio = Median(qt.wall) / Median(text.wall);
    std::printf("batch run over 10,000 members, medians of %d rounds:\n"
                "  wall  window %.3f s  console %.3f s  ratio %.3f (target <= 1.15)\n"
                "  user  window %.3f s  console %.3f s\n"
                "  sys   window %.3f s  console %.3f s\n",
                rounds, Median(qt.wall), Median(text.wall), ratio, Median(qt.user),
                Median(text.user), Median(qt.system), Median(text.system));

    // 100,000 entries added, selected and removed, each step drawn.
    QStringList paths;
    paths.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        paths << QStringLiteral("/games/disc/data/%1.tre").arg(i, 6, 10, QLatin1Char('0'));
    }
    window.Form().BClearAllClick();
    const Clock::time_point start = Clock::now();
    window.AddFiles(paths);
    QApplication::processEvents();
    window.LogList()->selectAll();
    QApplication::processEvents();
    window.Tool(gui::tbRemLog)->trigger();
    QApplication::processEvents();
    const double list = Seconds(start);
    const bool emptied = window.Form().State().inputList.empty();
    std::printf("list of 100,000 entries added, selected and removed: %.3f s (target < 1 s)%s\n",
                list, emptied ? "" : " -- the list was not emptied!");

    std::filesystem::remove_all(work);
    return ratio <= 1.15 && list < 1.0 && emptied ? 0 : 1;
}
