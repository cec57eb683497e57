#pragma once

#include "support/TempDir.h"

#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include "common/WindowsApi.h"

#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace eitool::testing {

#ifdef _WIN32
// Windows has no signals to end a process with: the kill seam (EITOOL_TEST_KILL_AT_WRITE) ends
// it with this status instead, which RunEitool reports as kKilledSignal.
inline constexpr int kKilledStatus = 128 + 9;
inline constexpr int kKilledSignal = 9;
#else
inline constexpr int kKilledSignal = SIGKILL;
#endif

// How a run of the real eitool binary ended and what it printed.
struct ProcessResult {
    int exitCode = -1; // -1 when it ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

struct RunOptions {
    std::string cwd; // the child's current directory; the parent's when empty
    std::vector<std::pair<std::string, std::string>> env; // added to the parent's environment
    // Called with the read end of the child's standard output (a pipe) while it runs; whatever
    // it reads is part of ProcessResult::out. Without it, standard output goes to a file.
    std::function<void(int fd, pid_t pid, std::string& out)> whileRunning;
};

inline RunOptions InDirectory(std::string cwd) {
    RunOptions options;
    options.cwd = std::move(cwd);
    return options;
}

inline RunOptions WithEnvironment(std::string name, std::string value) {
    RunOptions options;
    options.env.emplace_back(std::move(name), std::move(value));
    return options;
}

inline RunOptions WhileRunning(std::function<void(int fd, pid_t pid, std::string& out)> watch) {
    RunOptions options;
    options.whileRunning = std::move(watch);
    return options;
}

inline std::string SlurpFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

#ifndef _WIN32
inline std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

#endif

#ifdef _WIN32
// The command line of CreateProcess: each argument quoted the way the C runtime splits it again.
inline std::string QuotedArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        return arg;
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

// eitool.exe lies beside the test program (the Windows build puts both in bin/).
inline std::string EitoolBinary() {
    char own[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
    std::string path(own, length);
    return path.substr(0, path.find_last_of("\\/") + 1) + "eitool.exe";
}

inline HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs eitool.exe with args, standard input from NUL. Watching the output while the program runs
// (RunOptions::whileRunning) is not available here: the tests that need it say so and skip.
inline ProcessResult RunEitool(const std::vector<std::string>& args,
                               const RunOptions& options = {}) {
    ProcessResult result;
    if (options.whileRunning) {
        result.err = "RunEitool: whileRunning is not available on Windows";
        return result;
    }
    TempDir streams;
    const std::string outPath = streams / "stdout";
    const std::string errPath = streams / "stderr";

    std::string commandLine = QuotedArgument(EitoolBinary());
    for (const std::string& arg : args) {
        commandLine += ' ' + QuotedArgument(arg);
    }
    // The parent's environment with the added variables, each "name=value" ending with a NUL.
    std::string environment;
    char* block = GetEnvironmentStringsA();
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        environment.append(entry, std::strlen(entry) + 1);
    }
    FreeEnvironmentStringsA(block);
    for (const auto& [name, value] : options.env) {
        environment += name + "=" + value;
        environment += '\0';
    }
    environment += '\0';

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = InheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, environment.data(),
                       options.cwd.empty() ? nullptr : options.cwd.c_str(), &startup, &process);
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (!started) {
        result.err = "RunEitool: CreateProcess failed with error " + std::to_string(GetLastError());
        return result;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.exitCode = static_cast<int>(status);
    if (result.exitCode == kKilledStatus) {
        result.exitCode = -1;
        result.signal = kKilledSignal;
    }
    result.out = SlurpFile(outPath);
    result.err = SlurpFile(errPath);
    return result;
}
#else
// Runs EITOOL_BINARY with args, standard input from /dev/null.
inline ProcessResult RunEitool(const std::vector<std::string>& args,
                               const RunOptions& options = {}) {
    TempDir streams;
    const std::string outPath = streams / "stdout";
    const std::string errPath = streams / "stderr";
    int pipeFds[2] = {-1, -1};
    if (options.whileRunning && pipe(pipeFds) != 0) {
        return {};
    }

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    for (const auto& [name, value] : options.env) {
        environment.push_back(name + "=" + value);
    }
    std::vector<std::string> argvText = {EITOOL_BINARY};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvText) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) {
            _exit(127);
        }
        const int in = open("/dev/null", O_RDONLY);
        const int out =
            options.whileRunning ? pipeFds[1] : open(outPath.c_str(), O_WRONLY | O_CREAT, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (options.whileRunning) {
            close(pipeFds[0]);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }

    ProcessResult result;
    if (options.whileRunning) {
        close(pipeFds[1]);
        options.whileRunning(pipeFds[0], pid, result.out);
        result.out += ReadAll(pipeFds[0]);
        close(pipeFds[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    if (!options.whileRunning) {
        result.out = SlurpFile(outPath);
    }
    result.err = SlurpFile(errPath);
    return result;
}
#endif

} // namespace eitool::testing
