#include "common/ByteReader.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace eitool {
namespace {

TEST(ByteReader, ReadsLittleEndianAndRefusesToRunPastTheEnd) {
    const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x80, 0x3F, 0xFF};
    ByteReader reader(bytes);
    EXPECT_EQ(reader.U32le(), 0x04030201u);
    EXPECT_EQ(reader.F32le(), 1.0f);
    EXPECT_EQ(reader.U8(), 0xFF);
    EXPECT_THROW(reader.U8(), OutOfBounds);
    reader.Seek(0);
    EXPECT_EQ(reader.U64le(), 0x3F80000004030201u);
    EXPECT_THROW(reader.U64le(), OutOfBounds);
    reader.Seek(8);
    EXPECT_THROW(reader.U16le(), OutOfBounds);
    EXPECT_EQ(reader.Position(), 8u); // a failed read leaves the position
    reader.Seek(7);
    EXPECT_EQ(reader.U16le(), 0xFF3Fu);
    EXPECT_THROW(reader.Seek(10), OutOfBounds);
    EXPECT_THROW(reader.Sub(4, 6), OutOfBounds);
    EXPECT_THROW(reader.Sub(0xFFFFFFFFFFFFFFFFull, 2), OutOfBounds);
    ByteReader sub = reader.Sub(2, 3);
    EXPECT_EQ(sub.Size(), 3u);
    EXPECT_EQ(sub.U16le(), 0x0403u);
    EXPECT_THROW(sub.Bytes(2), OutOfBounds);
}

TEST(ByteReader, NulTerminatedTextStopsAtTheFirstNulWithinTheLimit) {
    const std::string text("ab\0cd\0efg", 9);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    struct Case {
        std::size_t at;
        std::uint64_t limit;
        const char* expected; // nullptr: refused
        std::size_t after;
    };
    const Case cases[] = {
        {0, 100, "ab", 3},                          // the NUL is consumed
        {0, 3, "ab", 3},                            // the NUL is the last byte the limit allows
        {0, 2, nullptr, 0},                         // the NUL lies past the limit
        {2, 1, "", 3},                              // empty text
        {3, 100, "cd", 6},    {6, 100, nullptr, 6}, // no NUL before the end
        {9, 100, nullptr, 9},                       // nothing left
        {0, 0, nullptr, 0},
    };
    for (const Case& c : cases) {
        ByteReader reader(bytes);
        reader.Seek(c.at);
        if (c.expected == nullptr) {
            EXPECT_THROW(reader.NulTerminated(c.limit), OutOfBounds) << c.at << " " << c.limit;
        } else {
            EXPECT_EQ(reader.NulTerminated(c.limit), c.expected) << c.at << " " << c.limit;
        }
        EXPECT_EQ(reader.Position(), c.after) << c.at << " " << c.limit;
    }
    EXPECT_EQ(TextBeforeNul(bytes.subspan(6)), "efg");
}

TEST(ByteReader, RangeFitsWithoutOverflowAtTheEdges) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        std::uint64_t offset;
        std::uint64_t length;
        std::uint64_t size;
        bool fits;
    };
    const Case cases[] = {
        {0, 0, 0, true},           {0, 10, 10, true},      {10, 0, 10, true},
        {11, 0, 10, false},        {4, 7, 10, false},      {kMax, 2, 10, false},
        {2, kMax, 10, false},      {kMax, 1, kMax, false}, {kMax - 1, 1, kMax, true},
        {1, kMax - 1, kMax, true}, {1, kMax, kMax, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RangeFits(c.offset, c.length, c.size), c.fits)
            << c.offset << " + " << c.length << " <= " << c.size;
    }
}

} // namespace
} // namespace eitool
