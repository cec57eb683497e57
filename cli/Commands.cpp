#include "cli/Commands.h"

#include "app/AnsweringDialogs.h"
#include "app/RunSummary.h"
#include "app/TMainForm.h"
#include "cli/Console.h"
#include "cli/ConsoleSurface.h"
#include "cli/Interrupt.h"
#include "common/FileSystem.h"
#include "common/RunError.h"
#include "run/PieceChecks.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <new>

namespace eitool::cli {

namespace {

// Test seam. With EITOOL_TEST_KILL_AT_WRITE=n in the environment, the process ends by SIGKILL
// just before the n-th call of the write hook (a write of a data pack or its journal, or the
// rename of a file written beside its target), as if the power went off there. The end-to-end tests
// use it to check that the next run finds the journal and puts the pack back. Nothing else sets
// that variable.
class KillAtWriteHook : public WriteHook {
public:
    explicit KillAtWriteHook(long n) : m_remaining(n) {}

    void BeforeWrite(const std::string&) override {
        if (--m_remaining == 0) {
#ifdef SIGKILL
            std::raise(SIGKILL);
#endif
            std::abort();
        }
    }

private:
    long m_remaining;
};

std::unique_ptr<WriteHook> KillHookFromEnvironment() {
    const char* value = std::getenv("EITOOL_TEST_KILL_AT_WRITE");
    if (value == nullptr || *value == '\0') {
        return nullptr;
    }
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (*end != '\0' || n <= 0) {
        return nullptr;
    }
    return std::make_unique<KillAtWriteHook>(n);
}

// The answers of the command line's dialogs: the directory dialog gets the scanned directory and
// type, the open dialog the files and their type, and the picker the target directory (made
// when missing). The closing message box shows nothing, since the exit status says how the run
// ended.
void AnswerFromArguments(AnsweringDialogs& dialogs, const InputSelection& input,
                         const std::string& target) {
    if (input.scan) {
        dialogs.dirForm = DirFormAnswer{input.scanDir, input.position - 1};
    } else {
        dialogs.open = OpenAnswer{input.files, input.position};
    }
    dialogs.picker = target;
}

// What the button of the selection does: a scan fills the list through the directory dialog,
// files through the open dialog.
void FillInputList(TMainForm& form, const InputSelection& input) {
    if (input.scan) {
        form.ProcessDirClick();
    } else {
        form.BAddLogClick();
    }
}

} // namespace

int RunBatch(const CommandLine& line) {
    const std::string currentDirectory = CurrentDirectory();
    const InputSelection input = SelectInput(line, currentDirectory);
    const std::string target = ResolveTarget(line.target, currentDirectory);

    const bool terminal = StderrIsTerminal();
    ConsoleSurface surface({.echoResults = true, .showProgress = line.progress || terminal});
    AnsweringDialogs dialogs;
    AnswerFromArguments(dialogs, input, target);
    dialogs.yes = line.overwrite; // "Replace edited pieces?"
    TMainForm form(surface, dialogs);
    const std::unique_ptr<WriteHook> killHook = KillHookFromEnvironment();
    if (killHook) {
        form.SetWriteHook(killHook.get());
    }
    surface.SetStopHandler([&form] { form.StopClick(); });
    InstallInterruptHandler();

    const auto start = std::chrono::steady_clock::now();
    std::string failure;
    std::string edited;
    try {
        FillInputList(form, input);
        form.BProcessClick();
    } catch (const EditedPiecesError& error) {
        edited = std::string(error.what()) + "; add --overwrite to replace edited pieces";
    } catch (const RunError& error) {
        failure = error.what();
    } catch (const std::bad_alloc&) {
        failure = "out of memory";
    } catch (const std::exception& error) {
        failure = error.what();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    surface.FinishDisplay(failure.empty() && edited.empty() && !InterruptRequested());
    if (!edited.empty()) {
        surface.PrintError("eitool: " + edited);
        return kExitUsage;
    }
    if (!failure.empty()) {
        surface.PrintError("eitool: " + failure);
        return kExitFailed;
    }
    if (InterruptRequested()) {
        surface.PrintError("eitool: stopped by Ctrl-C after " +
                           std::to_string(form.State().stats.files) + " file(s)");
        return kExitInterrupted;
    }
    if (terminal) {
        WriteStderr(SummaryLine(form.State().stats, seconds) + "\n");
    }
    return surface.ResultLineCount() > 0 ? kExitResults : kExitClean;
}

int RunScan(const CommandLine& line) {
    const InputSelection input = SelectInput(line, CurrentDirectory());
    ConsoleSurface surface({.echoResults = false, .showProgress = false});
    AnsweringDialogs dialogs;
    AnswerFromArguments(dialogs, input, CurrentDirectory());
    TMainForm form(surface, dialogs);
    FillInputList(form, input);
    std::string text;
    for (const std::string& entry : form.State().inputList) {
        text += entry + "\n";
    }
    WriteStdout(text);
    return kExitClean;
}

} // namespace eitool::cli
