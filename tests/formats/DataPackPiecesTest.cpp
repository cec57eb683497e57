#include "formats/DataPackPieces.h"

#include "common/RunError.h"
#include "formats/Crc32.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace eitool::datapack {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Piece k holds k % 50 + 1 bytes of the value k; every third member's CRC-32 is its piece's, so
// that the others differ and keep their bytes when looked at for sums.
struct Pieces {
    explicit Pieces(std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            paths.push_back(tmp / ("p" + std::to_string(k)));
            contents.emplace_back(k % 50 + 1, static_cast<std::uint8_t>(k));
            WriteWholeFile(paths.back(), contents.back());
        }
    }
    std::uint32_t Crc(std::size_t k) const { return Crc32Update(0, contents[k]); }
    std::vector<PieceToLook> ToLook() const {
        std::vector<PieceToLook> looks;
        for (std::size_t k = 0; k < paths.size(); ++k) {
            looks.push_back({paths[k], contents[k].size(), k % 3 == 0 ? Crc(k) : 0u});
        }
        return looks;
    }

    testing::TempDir tmp;
    std::vector<std::string> paths;
    std::vector<Bytes> contents;
};

// Pieces are handed over in order whatever the window and the workers; fewer pieces than workers,
// none at all, and a caller that stops taking (Stop pressed) all end with every worker joined.
TEST(PieceLooks, HandsOverEveryPieceInOrderAndEndsWhereverTheCallerStops) {
    using Mode = PieceLooks::Mode;
    const struct {
        Mode mode;
        std::size_t count;
        std::size_t taken;
    } cases[] = {
        {Mode::Sums, 700, 700}, {Mode::Bytes, 150, 150}, {Mode::Sums, 3, 3},    {Mode::Bytes, 3, 3},
        {Mode::Sums, 0, 0},     {Mode::Sums, 700, 40},   {Mode::Bytes, 150, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " pieces, " + std::to_string(c.taken) + " taken, " +
                     (c.mode == Mode::Sums ? "sums" : "bytes"));
        const Pieces pieces(c.count);
        PieceLooks looks(c.mode, pieces.ToLook(), 1 << 20);
        for (std::size_t k = 0; k < c.taken; ++k) {
            PieceLook& look = looks.Take(k);
            const Bytes& content = pieces.contents[k];
            ASSERT_TRUE(look.present) << k;
            EXPECT_EQ(look.length, content.size()) << k;
            EXPECT_EQ(look.read, content.size()) << k;
            const bool kept = c.mode == Mode::Bytes || k % 3 != 0;
            ASSERT_EQ(look.bytes != nullptr, kept) << k;
            if (kept) {
                EXPECT_TRUE(std::equal(content.begin(), content.end(), look.bytes.get())) << k;
            }
            if (c.mode == Mode::Sums) {
                EXPECT_EQ(look.crc, pieces.Crc(k)) << k;
            }
        }
    }
}

// A piece that cannot be read fails where it is taken, and only there.
TEST(PieceLooks, AFailingPieceThrowsWhereItIsTaken) {
    using Mode = PieceLooks::Mode;
    const struct {
        Mode mode;
        const char* damage;
        bool opening; // FileOpenError, otherwise FileReadError
    } cases[] = {
        {Mode::Sums, "directory", true},
        {Mode::Bytes, "missing", true},
        {Mode::Bytes, "shorter", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        const Pieces pieces(40);
        const std::string& damaged = pieces.paths[20];
        std::filesystem::remove(damaged);
        if (std::string(c.damage) == "directory") {
            std::filesystem::create_directory(damaged);
        } else if (std::string(c.damage) == "shorter") {
            WriteWholeFile(damaged, {1});
        }
        PieceLooks looks(c.mode, pieces.ToLook(), 1 << 20);
        for (std::size_t k = 0; k < 40; ++k) {
            if (k != 20) {
                EXPECT_TRUE(looks.Take(k).present) << k;
            } else if (c.opening) {
                EXPECT_THROW(looks.Take(k), FileOpenError);
            } else {
                EXPECT_THROW(looks.Take(k), FileReadError);
            }
        }
    }
}

} // namespace
} // namespace eitool::datapack
