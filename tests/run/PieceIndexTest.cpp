#include "run/PieceIndex.h"

#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace eitool {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kCrc = 0x1234ABCD;
constexpr std::int64_t kSecond = 1'000'000'000;

struct Workbench {
    TempDir dir;
    std::string piece = dir / "piece.bin";
    std::string log = dir / "result.log";
    FileSignature recorded;

    Workbench() {
        WriteWholeFile(piece, {1, 2, 3, 4, 5, 6});
        WriteWholeFile(log, {'x'});
        recorded = *SignatureOfPath(piece);
    }

    // Until the file system's clock has passed the piece's times, a change may keep them.
    void WaitForTheClockToPassThePiece() const {
        const std::string probe = dir / "probe";
        do {
            WriteWholeFile(probe, {});
        } while (SignatureOfPath(probe)->modified <= recorded.changed);
    }

    void SaveIndex(std::int64_t takenAfterTimes) const {
        PieceIndex index;
        index.Record(piece, recorded, kCrc,
                     std::max(recorded.modified, recorded.changed) + takenAfterTimes);
        index.Save(log, *IdentityOf(log), nullptr);
    }

    bool Trusted() const {
        const PieceIndex index = PieceIndex::Load(log, *IdentityOf(log));
        const std::optional<FileSignature> now = SignatureOfPath(piece);
        return now && index.Lookup(piece, *now) == kCrc;
    }

    void Rewrite(const std::string& path, const std::function<void(Bytes&)>& change) const {
        Bytes bytes = ReadWholeFile(path);
        change(bytes);
        WriteWholeFile(path, bytes);
    }
};

struct SignatureCase {
    const char* name;
    std::int64_t takenAfterTimes; // how long after the piece's times its signature was taken
    std::function<void(Workbench&)> change;
    bool trusted;
};

TEST(PieceIndex, TrustsAPieceOnlyWhileEverySignatureFieldHoldsAndItWasNotRacy) {
    const std::int64_t old = PieceIndex::kRacyMargin + kSecond;
    const std::vector<SignatureCase> cases = {
        {"the same file", old, [](Workbench&) {}, true},
        {"size changed", old,
         [](Workbench& w) { w.Rewrite(w.piece, [](Bytes& b) { b.push_back(7); }); }, false},
        {"same size, modification time set back", old,
         [](Workbench& w) {
             const auto time = fs::last_write_time(w.piece);
             w.Rewrite(w.piece, [](Bytes& b) { b[0] = 9; });
             fs::last_write_time(w.piece, time);
         },
         false},
        {"replaced by a rename, time and bytes the same", old,
         [](Workbench& w) {
             const std::string copy = w.dir / "copy.bin";
             WriteWholeFile(copy, ReadWholeFile(w.piece));
             fs::last_write_time(copy, fs::last_write_time(w.piece));
             fs::rename(copy, w.piece);
         },
         false},
        {"racy: taken within the margin of its times", PieceIndex::kRacyMargin / 2,
         [](Workbench&) {}, false},
        {"the log replaced by a copy", old,
         [](Workbench& w) {
             WriteWholeFile(w.dir / "log.new", ReadWholeFile(w.log));
             fs::rename(w.dir / "log.new", w.log);
         },
         false},
        {"copied beside another log", old,
         [](Workbench& w) {
             const std::string other = w.dir / "other.log";
             WriteWholeFile(other, {'x'});
             fs::copy_file(PieceIndexPath(w.log), PieceIndexPath(other));
             w.log = other;
         },
         false},
        {"truncated by one byte", old,
         [](Workbench& w) { w.Rewrite(PieceIndexPath(w.log), [](Bytes& b) { b.pop_back(); }); },
         false},
        {"cut after its header", old,
         [](Workbench& w) { w.Rewrite(PieceIndexPath(w.log), [](Bytes& b) { b.resize(60); }); },
         false},
        {"a byte of an entry damaged", old,
         [](Workbench& w) {
             w.Rewrite(PieceIndexPath(w.log), [](Bytes& b) { b[b.size() - 20] ^= 1; });
         },
         false},
        {"the checksum damaged", old,
         [](Workbench& w) { w.Rewrite(PieceIndexPath(w.log), [](Bytes& b) { b.back() ^= 0x80; }); },
         false},
        {"no index", old, [](Workbench& w) { fs::remove(PieceIndexPath(w.log)); }, false},
    };
    for (const SignatureCase& c : cases) {
        Workbench w;
        w.SaveIndex(c.takenAfterTimes);
        w.WaitForTheClockToPassThePiece();
        c.change(w);
        EXPECT_EQ(w.Trusted(), c.trusted) << c.name;
    }
}

TEST(PieceIndex, ALaterRecordingReplacesTheEntryAndARacyOneRemovesIt) {
    Workbench w;
    w.SaveIndex(PieceIndex::kRacyMargin + kSecond);
    PieceIndex index = PieceIndex::Load(w.log, *IdentityOf(w.log));
    ASSERT_EQ(index.Lookup(w.piece, w.recorded), kCrc);
    index.Record(w.piece, w.recorded, kCrc + 1, w.recorded.changed);
    index.Save(w.log, *IdentityOf(w.log), nullptr);
    EXPECT_FALSE(w.Trusted());
}

} // namespace
} // namespace eitool
