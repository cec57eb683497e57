#include "cli/Interrupt.h"

#include <csignal>

namespace eitool::cli {

namespace {

// The one piece of state a signal handler may touch. It is only read between steps of the run,
// when the status surface dispatches pending messages.
volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int signal) {
    g_interrupted = 1;
    // The next Ctrl-C takes the default action: a user who insists gets the process ended.
    std::signal(signal, SIG_DFL);
}

} // namespace

void InstallInterruptHandler() {
    std::signal(SIGINT, OnInterrupt);
}

bool InterruptRequested() {
    return g_interrupted != 0;
}

} // namespace eitool::cli
