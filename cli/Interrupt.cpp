#include "cli/Interrupt.h"

#include <csignal>
#include <cstring>

#ifdef _WIN32
#include "common/WindowsApi.h"

#include <io.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace eitool::cli {

namespace {

// The state a signal handler may touch. The count is only read between steps of the run, when
// the status surface dispatches pending messages.
volatile std::sig_atomic_t g_interrupts = 0;
// The signal that aborted the run when it was not Ctrl-C; 0 otherwise.
volatile std::sig_atomic_t g_terminatedBy = 0;
// The notice, composed before the handler is installed, so that the handler only writes it.
char g_notice[128] = {};
std::size_t g_noticeLength = 0;

void WriteNotice() {
#ifdef _WIN32
    (void)_write(2, g_notice, static_cast<unsigned>(g_noticeLength));
#else
    (void)!::write(STDERR_FILENO, g_notice, g_noticeLength);
#endif
}

extern "C" void OnInterrupt(int signal) {
    if (g_interrupts == 0) {
        g_interrupts = 1;
        WriteNotice();
#ifdef _WIN32
        std::signal(signal, OnInterrupt); // Windows resets the handler before calling it
#endif
        return;
    }
    g_interrupts = 2;
    // The next Ctrl-C takes the default action: a user who insists gets the process ended.
    std::signal(signal, SIG_DFL);
}

#ifndef _WIN32
// SIGTERM and SIGHUP (kill, a closed terminal, a shutdown) abort the run as a second Ctrl-C
// does: between two pieces, every file complete. The same signal again ends the process.
extern "C" void OnTerminate(int signal) {
    g_terminatedBy = signal;
    g_interrupts = 2;
    std::signal(signal, SIG_DFL);
}
#endif

#ifdef _WIN32
// Ctrl-C and Ctrl-Break arrive on a thread of their own. The first two presses are counted as
// on Linux; the third is left to the system, which ends the process.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    if (g_interrupts >= 2) {
        return FALSE;
    }
    if (g_interrupts == 0) {
        WriteNotice();
    }
    g_interrupts = g_interrupts + 1;
    return TRUE;
}
#endif

} // namespace

void InstallInterruptHandler(bool eraseProgressLine) {
    const char* erase = eraseProgressLine ? "\r\033[K" : "";
    g_noticeLength = std::strlen(erase) + std::strlen(kStopNotice) + 1;
    std::strcpy(g_notice, erase);
    std::strcat(g_notice, kStopNotice);
    std::strcat(g_notice, "\n");
    std::signal(SIGINT, OnInterrupt);
#ifndef _WIN32
    for (const int signal : {SIGTERM, SIGHUP}) {
        // A signal ignored by whoever started the process (nohup) stays ignored.
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            std::signal(signal, OnTerminate);
        }
    }
#else
    // The console's Ctrl-C goes to the control handler; raise(SIGINT) still reaches OnInterrupt.
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#endif
}

int InterruptCount() {
    return static_cast<int>(g_interrupts);
}

std::string StopCause() {
#ifndef _WIN32
    if (g_terminatedBy == SIGTERM) {
        return "SIGTERM";
    }
    if (g_terminatedBy == SIGHUP) {
        return "SIGHUP";
    }
#endif
    return "Ctrl-C";
}

} // namespace eitool::cli
