// The memory a log's piece index takes when it is read, against the size of its file.
//
//   index_memory DIR [ENTRIES]     (default 1,000,000 entries)
//
// Writes DIR/result.log and an index of ENTRIES entries beside it, then reads the index in a
// process of its own (this program again, with "read") and prints the growth of that process's
// peak resident memory during the reading, the file's size and their ratio (target: at most 2).
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "run/PieceIndex.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace eitool;

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int Write(const std::string& dir, long entries) {
    const std::string log = JoinPath(dir, "result.log");
    WriteWholeFile(log, {'#'});
    PieceIndex index;
    // Signatures taken long after their times, so that none is racy.
    for (long i = 0; i < entries; ++i) {
        const std::string piece = JoinPath(dir, "BIN/" + std::to_string(i) + "_piece.bin");
        const FileSignature signature{1, static_cast<std::uint64_t>(i), 1000, 1'000'000'000,
                                      1'000'000'000};
        index.Record(piece, signature, static_cast<std::uint32_t>(i), FileClockNow());
    }
    index.Save(log, *IdentityOf(log), nullptr);
    return 0;
}

int Read(const std::string& dir, long entries) {
    const std::string log = JoinPath(dir, "result.log");
    const long before = PeakKiB();
    const PieceIndex index = PieceIndex::Load(log, *IdentityOf(log));
    const long after = PeakKiB();
    const std::string last = JoinPath(dir, "BIN/" + std::to_string(entries - 1) + "_piece.bin");
    if (!index.Holds(last)) {
        std::fprintf(stderr, "index_memory: the index was not read\n");
        return 1;
    }
    const auto size =
        static_cast<double>(FileStream::Open(PieceIndexPath(log), omRead).SizeAtOpen());
    const double grown = static_cast<double>(after - before) * 1024.0;
    std::printf("index of %ld entries: file %.1f MiB, read in %.1f MiB more peak memory, "
                "ratio %.2f (target <= 2)\n",
                entries, size / 1048576.0, grown / 1048576.0, grown / size);
    return grown <= 2 * size ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: index_memory DIR [ENTRIES]\n", stderr);
        return 2;
    }
    const bool read = std::string(argv[1]) == "read";
    const std::string dir = argv[read ? 2 : 1];
    const int countAt = read ? 3 : 2;
    const long entries = argc > countAt ? std::atol(argv[countAt]) : 1'000'000;
    if (read) {
        return Read(dir, entries);
    }
    CreateDirectories(dir);
    Write(dir, entries);
    // Read in a process of its own, whose peak memory the writing has not raised.
    const pid_t child = fork();
    if (child == 0) {
        execl(argv[0], argv[0], "read", dir.c_str(), std::to_string(entries).c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
