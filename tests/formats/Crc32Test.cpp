#include "formats/Crc32.h"

#include "common/FileStream.h"
#include "support/TempDir.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <span>
#include <string_view>
#include <vector>

namespace eitool {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::mt19937& random) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

TEST(Crc32Values, KnownVectors) {
    EXPECT_EQ(Crc32Reference(Bytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(Crc32Update(0, Bytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(Crc32Reference({}), 0u);
    EXPECT_EQ(Crc32Update(0, {}), 0u);
    EXPECT_EQ(Crc32Reference(Bytes("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
    const std::vector<std::uint8_t> zeros(32, 0);
    EXPECT_EQ(Crc32Reference(zeros), 0x190A55ADu);
    EXPECT_EQ(Crc32Update(0, zeros), 0x190A55ADu);
}

TEST(Crc32Values, FastMatchesTableOnManyLengthsAndAlignments) {
    std::mt19937 random(20240501);
    const auto pool = RandomBytes(300000, random);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 300; ++n) {
        lengths.push_back(n);
    }
    for (std::size_t n : {511u, 1023u, 4095u, 4097u, 65535u, 65536u, 65537u, 131071u, 200003u}) {
        lengths.push_back(n);
    }
    for (const std::size_t length : lengths) {
        for (std::size_t start = 0; start < 8; ++start) {
            const std::span<const std::uint8_t> piece(pool.data() + start + length % 13, length);
            ASSERT_EQ(Crc32Update(0, piece), Crc32Reference(piece))
                << "length " << length << ", start " << start;
        }
    }
}

TEST(Crc32Chaining, UpdateOverPartsEqualsCrcOfWhole) {
    std::mt19937 random(99);
    for (int trial = 0; trial < 200; ++trial) {
        const auto bytes = RandomBytes(random() % 100000, random);
        const std::size_t split = bytes.empty() ? 0 : random() % (bytes.size() + 1);
        const std::span<const std::uint8_t> all(bytes);
        const std::uint32_t first = Crc32Update(0, all.first(split));
        ASSERT_EQ(Crc32Update(first, all.subspan(split)), Crc32Reference(all))
            << "size " << bytes.size() << ", split " << split;
        ASSERT_EQ(Crc32Combine(first, Crc32Update(0, all.subspan(split)), bytes.size() - split),
                  Crc32Reference(all))
            << "combined: size " << bytes.size() << ", split " << split;
    }
}

TEST(Crc32Chaining, EmptyPieceKeepsTheCrcSoFar) {
    const std::uint32_t crc = Crc32Update(0, Bytes("1234"));
    EXPECT_EQ(Crc32Update(crc, std::span<const std::uint8_t>{}), crc);
    EXPECT_EQ(Crc32Update(Crc32Update(crc, {}), Bytes("56789")), 0xCBF43926u);
}

class Crc32Stream : public ::testing::Test {
protected:
    FileStream WriteFile(const std::vector<std::uint8_t>& bytes) {
        const std::string path = m_dir / "data.bin";
        {
            FileStream out = FileStream::Open(path, omCreate);
            out.Write(bytes.data(), bytes.size());
        }
        return FileStream::Open(path, omRead);
    }

    testing::TempDir m_dir;
};

TEST_F(Crc32Stream, CoversTheWholeFileAroundBlockBoundaries) {
    std::mt19937 random(3);
    for (const std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 3u * 65536u + 17u}) {
        const auto bytes = RandomBytes(size, random);
        FileStream stream = WriteFile(bytes);
        EXPECT_EQ(Crc32OfStream(stream), Crc32Reference(bytes)) << "size " << size;
    }
}

TEST_F(Crc32Stream, StartsAtOffsetZeroAndRestoresThePosition) {
    std::mt19937 random(4);
    const auto bytes = RandomBytes(65537, random);
    FileStream stream = WriteFile(bytes);
    for (const std::uint64_t position : {0u, 1u, 4096u, 65536u, 65537u, 70000u}) {
        stream.Seek(position);
        EXPECT_EQ(Crc32OfStream(stream), Crc32Reference(bytes)) << "position " << position;
        EXPECT_EQ(stream.Position(), position);
    }
}

TEST_F(Crc32Stream, PositionAtTheEndStaysThereAfterReading) {
    std::mt19937 random(5);
    const auto bytes = RandomBytes(65536, random);
    FileStream stream = WriteFile(bytes);
    stream.Seek(stream.Size());
    Crc32OfStream(stream);
    ASSERT_EQ(stream.Position(), 65536u);
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
}

} // namespace
} // namespace eitool
