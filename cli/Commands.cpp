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
#include "run/PiecePath.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace eitool::cli {

namespace {

// Test seams. With EITOOL_TEST_KILL_AT_WRITE=n in the environment, the process ends by SIGKILL
// just before the n-th call of the write hook (a write of a data pack or its journal, the rename
// of a file written beside its target or of an extracted piece, the setting aside of an old
// result.log), as if the power went off there. The end-to-end tests use it to check that the
// next run finds the journal and puts the pack back. With EITOOL_TEST_INTERRUPT_AT_WRITE=n or
// n,m, the process sends itself SIGINT just before the n-th (and the m-th) call instead: Ctrl-C
// pressed at known points; EITOOL_TEST_SIGNAL=number sends that signal instead of SIGINT (a
// SIGSTOP holds the run there until it is continued). With EITOOL_TEST_NO_SPACE_AT_WRITE=n, the
// n-th call and every later one fail as a full disk does. EITOOL_TEST_INDEX_MARGIN_MS=ms sets
// the margin of the racy rule of the logs' indexes (PieceIndex), so that a test can have pieces
// taken from the index without waiting for their times to age. Nothing else sets them.
class SignalAtWriteHook : public WriteHook {
public:
    SignalAtWriteHook(int signal, std::vector<long> at, bool ends)
        : m_signal(signal), m_at(std::move(at)), m_ends(ends) {}

    void BeforeWrite(const std::string&) override {
        ++m_calls;
        if (std::find(m_at.begin(), m_at.end(), m_calls) == m_at.end()) {
            return;
        }
#ifndef SIGKILL
        // Windows has no SIGKILL: the process ends at once with the status a shell gives a
        // killed one, nothing flushed and nothing cleaned up.
        if (m_ends) {
            std::_Exit(128 + 9);
        }
#endif
        std::raise(m_signal);
        if (m_ends) {
            std::abort();
        }
    }

private:
    int m_signal;
    std::vector<long> m_at;
    bool m_ends;
    long m_calls = 0;
};

class NoSpaceAtWriteHook : public WriteHook {
public:
    explicit NoSpaceAtWriteHook(long at) : m_at(at) {}

    void BeforeWrite(const std::string& path) override {
        if (++m_calls >= m_at) {
            throw FileWriteError(path, "cannot write the file (No space left on device)");
        }
    }

private:
    long m_at;
    long m_calls = 0;
};

// The counts of a test seam's variable, separated by commas; empty when it is not set or holds
// anything else.
std::vector<long> CountsFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    std::vector<long> counts;
    while (value != nullptr && *value != '\0') {
        char* end = nullptr;
        const long n = std::strtol(value, &end, 10);
        if (end == value || n <= 0 || (*end != '\0' && *end != ',')) {
            return {};
        }
        counts.push_back(n);
        value = *end == ',' ? end + 1 : end;
    }
    return counts;
}

// A dry run writes nothing; should a write reach the hook all the same, it ends the run before
// the file changes.
class RefuseWritesHook : public WriteHook {
public:
    void BeforeWrite(const std::string& path) override {
        throw FileWriteError(path, "a dry run writes nothing, but this file was about to change");
    }
};

std::unique_ptr<WriteHook> TestHookFromEnvironment() {
    std::vector<long> kill = CountsFromEnvironment("EITOOL_TEST_KILL_AT_WRITE");
    if (!kill.empty()) {
#ifdef SIGKILL
        return std::make_unique<SignalAtWriteHook>(SIGKILL, std::move(kill), true);
#else
        return std::make_unique<SignalAtWriteHook>(SIGABRT, std::move(kill), true);
#endif
    }
    std::vector<long> interrupt = CountsFromEnvironment("EITOOL_TEST_INTERRUPT_AT_WRITE");
    if (!interrupt.empty()) {
        const std::vector<long> signal = CountsFromEnvironment("EITOOL_TEST_SIGNAL");
        return std::make_unique<SignalAtWriteHook>(
            signal.size() == 1 ? static_cast<int>(signal.front()) : SIGINT, std::move(interrupt),
            false);
    }
    const std::vector<long> noSpace = CountsFromEnvironment("EITOOL_TEST_NO_SPACE_AT_WRITE");
    if (noSpace.size() == 1) {
        return std::make_unique<NoSpaceAtWriteHook>(noSpace.front());
    }
    return nullptr;
}

// What a Ctrl-C during an insertion leaves: which data packs have their edits.
std::string CompletedPacksText(const RunState& state) {
    if (state.CompletedPacks.empty()) {
        return "eitool: no data pack was written completely";
    }
    std::string text = "eitool: data packs written completely:";
    for (const std::string& pack : state.CompletedPacks) {
        text += "\n  " + pack;
    }
    return text;
}

// The message of a run that Ctrl-C stopped (once) or aborted (twice, or SIGTERM or SIGHUP once);
// aborted is the message of the file that was aborted, if one was. An aborted extraction still
// wrote result.log for the files it finished.
std::string InterruptedText(const CommandLine& line, const RunState& state,
                            const std::string& aborted) {
    const std::string files = std::to_string(state.stats.files) + " file(s)";
    const bool extraction = line.command == Command::Extract;
    std::string text;
    if (!aborted.empty()) {
        text = "eitool: " + aborted;
        if (extraction && state.stats.files > 0) {
            text += "; the pieces of the " + files + " before it are complete";
        }
    } else if (state.StopTag >= 2 && extraction) {
        text =
            "eitool: aborted by " + StopCause() + " after " + files + ", whose pieces are complete";
    } else {
        text = "eitool: stopped by " + StopCause() + " after " + files;
    }
    if (extraction && state.StopTag >= 2) {
        text += state.stats.files > 0 ? "; result.log lists the " + files + " finished"
                                      : "; no result.log was written";
    }
    if (line.command == Command::Insert) {
        text += "\n" + CompletedPacksText(state);
    }
    return text;
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
    if (line.dryRun && !FileExists(target)) {
        throw UsageError("the target directory " + target +
                         " does not exist, and a dry run creates nothing");
    }

    const bool terminal = StderrIsTerminal();
    ConsoleSurface surface({.echoResults = true, .showProgress = line.progress || terminal});
    AnsweringDialogs dialogs;
    AnswerFromArguments(dialogs, input, target);
    dialogs.yes = line.overwrite; // "Replace edited pieces?"
    TMainForm form(surface, dialogs);
    const std::unique_ptr<WriteHook> testHook =
        line.dryRun ? std::make_unique<RefuseWritesHook>() : TestHookFromEnvironment();
    if (testHook) {
        form.SetWriteHook(testHook.get());
    }
    form.State().DryRun = line.dryRun;
    form.State().Grow = line.grow ? GrowMode::Rebuild : GrowMode::Refuse;
    form.State().NoIndex = line.noIndex;
    if (const char* margin = std::getenv("EITOOL_TEST_INDEX_MARGIN_MS")) {
        form.State().IndexRacyMargin = std::strtoll(margin, nullptr, 10) * 1'000'000;
    }
    surface.SetStopHandler([&form] { form.StopClick(); });
    InstallInterruptHandler(terminal);

    const auto start = std::chrono::steady_clock::now();
    std::string failure;
    std::string aborted;
    std::string edited;
    try {
        if (line.command == Command::Extract) {
            // Refused before the picker makes the directory.
            RefuseLineBreak(target, "target directory");
        }
        FillInputList(form, input);
        form.BProcessClick();
    } catch (const RunAborted& error) {
        aborted = error.what();
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

    const RunState& state = form.State();
    surface.FinishDisplay(failure.empty() && aborted.empty() && edited.empty() &&
                          !InterruptRequested());
    if (!edited.empty()) {
        surface.PrintError("eitool: " + edited);
        return kExitUsage;
    }
    if (!failure.empty()) {
        surface.PrintError("eitool: " + failure);
        return kExitFailed;
    }
    if (const std::string missing = MissingPiecesLine(state.stats); !missing.empty()) {
        surface.PrintError(missing);
    }
    if (!aborted.empty() || InterruptRequested()) {
        surface.PrintError(InterruptedText(line, state, aborted));
        return kExitInterrupted;
    }
    if (terminal || line.progress) {
        WriteStderr(SummaryLine(state.stats, seconds, PiecesDoneOf(state)) + "\n");
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

int RunReportingFailures(std::string_view command, const std::function<int()>& run) {
    try {
        return run();
    } catch (const UsageError& error) {
        WriteStderr(std::string("eitool: ") + error.what() + "\nRun \"eitool " +
                    std::string(command) + " --help\" for usage.\n");
        return kExitUsage;
    } catch (const std::bad_alloc&) {
        WriteStderr("eitool: out of memory\n");
        return kExitFailed;
    } catch (const std::exception& error) {
        WriteStderr(std::string("eitool: ") + error.what() + "\n");
        return kExitFailed;
    }
}

} // namespace eitool::cli
