#include "run/HandlerSupport.h"

#include "common/FileSystem.h"
#include "common/Paths.h"

#include <limits>
#include <optional>

namespace eitool {

void ShowFileStatus(RunContext& run, std::string_view verb, const std::string& path) {
    run.surface.SetCurrentMessage(std::string(verb) + FileNamePart(path) + "...");
    run.surface.ProcessMessages();
}

std::string_view FirstWord(std::string_view line) {
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    std::size_t start = 0;
    while (start < line.size() && isBlank(line[start])) {
        ++start;
    }
    std::size_t end = start;
    while (end < line.size() && !isBlank(line[end])) {
        ++end;
    }
    return line.substr(start, end - start);
}

bool IsFramingLine(std::string_view line) {
    const std::string_view word = FirstWord(line);
    return word == "#Format:" || word == "#Source:";
}

bool AbortRequested(RunContext& run) {
    if (run.state.StopTag == 1 || run.surface.StopWaiting()) {
        run.surface.ProcessMessages();
    }
    return run.state.StopTag >= 2;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    const std::optional<FileIdentity> first = IdentityOf(a);
    if (!first) {
        return false;
    }
    const std::optional<FileIdentity> second = IdentityOf(b);
    return second && first->SameFileAs(*second);
}

std::string ReplacedInputLine(const std::vector<RoleFile>& outputs,
                              const std::vector<RoleFile>& inputs) {
    std::vector<std::optional<FileIdentity>> read;
    read.reserve(inputs.size());
    for (const RoleFile& input : inputs) {
        read.push_back(IdentityOf(input.path));
    }
    for (const RoleFile& output : outputs) {
        const std::optional<FileIdentity> written = IdentityOf(output.path);
        if (!written) {
            continue;
        }
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            if (read[i] && read[i]->SameFileAs(*written)) {
                return inputs[i].path + " (" + inputs[i].what + ") would be replaced by " +
                       output.what + "; choose another target directory!";
            }
        }
    }
    return {};
}

std::uint64_t OutputLimit(std::uint64_t inputSize) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (inputSize > (kMax - kOutputAllowance) / kOutputFactor) {
        return kMax;
    }
    return inputSize * kOutputFactor + kOutputAllowance;
}

bool WithinOutputLimit(RunContext& run, const std::string& path, std::uint64_t planned,
                       std::uint64_t inputSize) {
    if (planned <= OutputLimit(inputSize)) {
        return true;
    }
    run.surface.AddResultLine(path + kOutputRefused);
    return false;
}

} // namespace eitool
