#pragma once

#include "support/TempDir.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace eitool::testing {

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

} // namespace eitool::testing
