#include "images/Ps2util.h"

#include "common/FileStream.h"
#include "common/RunError.h"
#include "images/Bitmap.h"
#include "images/ps2/Fast.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace eitool {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Routine = ps2detail::ImageRoutine;

const std::vector<std::int32_t> kSizes = {32, 64, 128, 256, 512, 1024, 2048, 4096};

// The routines of one depth: as exported, and the reference.
struct Depth {
    int bits;
    Routine unswizzle;
    Routine swizzle;
    Routine unswizzleReference;
    Routine swizzleReference;
};
const Depth kFour = {4, UnswizzleImage4, SwizzleImage4, UnswizzleImage4Reference,
                     SwizzleImage4Reference};
const Depth kEight = {8, UnswizzleImage8, SwizzleImage8, UnswizzleImage8Reference,
                      SwizzleImage8Reference};

Bytes RandomBytes(std::size_t size, std::mt19937& random) {
    Bytes bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

std::size_t ImageBytes(std::int32_t width, std::int32_t height, int bits) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * bits / 8;
}

Bytes Apply(Routine routine, std::int32_t width, std::int32_t height, int bits, const Bytes& in,
            std::uint8_t fill = 0) {
    Bytes out(ImageBytes(width, height, bits), fill);
    routine(width, height, in.data(), out.data());
    return out;
}

// Nibble p of a buffer: byte p / 2, the low nibble for even p.
int NibbleAt(const Bytes& bytes, std::size_t p) {
    return (bytes[p / 2] >> (4 * (p % 2))) & 0x0F;
}

void SetNibble(Bytes& bytes, std::size_t p, int value) {
    const int shift = 4 * static_cast<int>(p % 2);
    bytes[p / 2] = static_cast<std::uint8_t>((bytes[p / 2] & ~(0x0F << shift)) | (value << shift));
}

bool IsPermutation(const std::uint8_t* begin, std::size_t count) {
    std::vector<std::uint8_t> identity(count);
    std::iota(identity.begin(), identity.end(), 0);
    return std::is_permutation(begin, begin + count, identity.begin());
}

TEST(Ps2utilTables, ColumnTablesStartWithTheDefinedEntries) {
    const int even4[] = {0, 68, 8, 76, 16, 84, 24, 92, 1, 69, 9, 77, 17, 85, 25, 93};
    const int odd4[] = {4, 64, 12, 72, 20, 80, 28, 88, 5, 65, 13, 73, 21, 81, 29, 89};
    const int even8[] = {0, 36, 8, 44, 1, 37, 9, 45, 2, 38, 10, 46, 3, 39, 11, 47};
    const int odd8[] = {4, 32, 12, 40, 5, 33, 13, 41, 6, 34, 14, 42, 7, 35, 15, 43};
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(ColumnTable4[i], even4[i]) << i;
        EXPECT_EQ(ColumnTable4[128 + i], odd4[i]) << i;
        EXPECT_EQ(ColumnTable8[i], even8[i]) << i;
        EXPECT_EQ(ColumnTable8[64 + i], odd8[i]) << i;
    }
}

TEST(Ps2utilTables, OddColumnsAreEvenColumnsXor4AndEveryTableIsAPermutation) {
    for (std::size_t i = 0; i < 128; ++i) {
        EXPECT_EQ(ColumnTable4[128 + i], ColumnTable4[i] ^ 4) << i;
    }
    for (std::size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(ColumnTable8[64 + i], ColumnTable8[i] ^ 4) << i;
    }
    EXPECT_TRUE(IsPermutation(ColumnTable4.data(), 128));
    EXPECT_TRUE(IsPermutation(ColumnTable4.data() + 128, 128));
    EXPECT_TRUE(IsPermutation(ColumnTable8.data(), 64));
    EXPECT_TRUE(IsPermutation(ColumnTable8.data() + 64, 64));
    EXPECT_TRUE(IsPermutation(BlockTable4.data(), 32));
    EXPECT_TRUE(IsPermutation(BlockTable32.data(), 32));
}

TEST(Ps2utilTables, BlockNumbersInterleaveTheGridBits) {
    auto bit = [](std::size_t value, int index) { return (value >> index) & 1; };
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t column = 0; column < 8; ++column) {
            EXPECT_EQ(BlockTable32[row * 8 + column], bit(column, 0) | bit(row, 0) << 1 |
                                                          bit(column, 1) << 2 | bit(row, 1) << 3 |
                                                          bit(column, 2) << 4);
            // The 4-bit page is the stored page with the grid transposed.
            EXPECT_EQ(BlockTable4[column * 4 + row], BlockTable32[row * 8 + column]);
        }
    }
}

TEST(Ps2utilBlocks, BlockConversionsAreInverseAndUnswizzle4ClearsItsOutput) {
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        const Bytes data = RandomBytes(256, random);
        Bytes middle(256, 0xFF); // UnswizzleBlock4 ORs nibbles into what it has cleared
        Bytes back(256);
        UnswizzleBlock4(data.data(), middle.data());
        SwizzleBlock4(middle.data(), back.data());
        EXPECT_EQ(back, data);
        SwizzleBlock4(data.data(), middle.data());
        UnswizzleBlock4(middle.data(), back.data());
        EXPECT_EQ(back, data);
        UnswizzleBlock8(data.data(), middle.data());
        SwizzleBlock8(middle.data(), back.data());
        EXPECT_EQ(back, data);
        SwizzleBlock8(data.data(), middle.data());
        UnswizzleBlock8(middle.data(), back.data());
        EXPECT_EQ(back, data);
    }
}

// A linear pixel of a one-page texture and the stored byte (and nibble) that holds it, checked
// both ways with only that pixel set.
struct Place {
    std::size_t x;
    std::size_t y;
    std::size_t byte;
    int high; // 4-bit: 1 for the high nibble
};

void ExpectPlace(const std::string& what, int bits, Routine unswizzle, Routine swizzle,
                 const Place& place) {
    const std::int32_t height = bits == 4 ? 128 : 64;
    Bytes stored(8192, 0);
    Bytes linear(8192, 0);
    if (bits == 4) {
        SetNibble(stored, 2 * place.byte + static_cast<std::size_t>(place.high), 0xA);
        SetNibble(linear, place.y * 128 + place.x, 0xA);
    } else {
        stored[place.byte] = 0xA5;
        linear[place.y * 128 + place.x] = 0xA5;
    }
    const std::string where =
        what + " pixel " + std::to_string(place.x) + "," + std::to_string(place.y);
    EXPECT_EQ(Apply(unswizzle, 128, height, bits, stored), linear) << where;
    EXPECT_EQ(Apply(swizzle, 128, height, bits, linear), stored) << where;
}

TEST(Ps2utilPagePositions, FourBitPixelsLieInTheirStoredNibbles) {
    for (const Place& place : {Place{0, 0, 0, 0},
                               {1, 0, 4, 0},
                               {8, 0, 1, 0},
                               {0, 1, 256, 0},
                               {0, 2, 16, 1},
                               {0, 4, 528, 0},
                               {32, 0, 2048, 0},
                               {127, 127, 8191, 1}}) {
        ExpectPlace("page", 4, UnswizzlePage4, SwizzlePage4, place);
        ExpectPlace("reference", 4, kFour.unswizzleReference, kFour.swizzleReference, place);
        ExpectPlace("image", 4, kFour.unswizzle, kFour.swizzle, place);
    }
}

TEST(Ps2utilPagePositions, EightBitPixelsLieInTheirStoredBytes) {
    for (const Place& place : {Place{0, 0, 0, 0},
                               {1, 0, 4, 0},
                               {8, 0, 2, 0},
                               {0, 1, 256, 0},
                               {0, 2, 17, 0},
                               {0, 4, 528, 0},
                               {16, 0, 32, 0},
                               {127, 63, 8191, 0}}) {
        ExpectPlace("page", 8, UnswizzlePage8, SwizzlePage8, place);
        ExpectPlace("reference", 8, kEight.unswizzleReference, kEight.swizzleReference, place);
        ExpectPlace("image", 8, kEight.unswizzle, kEight.swizzle, place);
    }
}

// The stored image is a grid of pagesAcross x pagesDown rectangles of rectBytes x rectRows; each
// holds what swizzling that page's part of the linear image as a whole page puts there, whatever
// the rest of the page held.
void ExpectStoredShape(const Depth& depth, std::int32_t width, std::int32_t height,
                       std::size_t pagesAcross, std::size_t pagesDown, std::size_t rectBytes,
                       std::size_t rectRows) {
    SCOPED_TRACE(std::to_string(depth.bits) + "-bit " + std::to_string(width) + " x " +
                 std::to_string(height));
    std::mt19937 random(static_cast<unsigned>(width * 7 + height));
    const int bits = depth.bits;
    ASSERT_EQ(pagesAcross * rectBytes * pagesDown * rectRows, ImageBytes(width, height, bits));
    const Bytes linear = RandomBytes(ImageBytes(width, height, bits), random);
    const Bytes stored = Apply(depth.swizzle, width, height, bits, linear);
    EXPECT_EQ(Apply(depth.swizzleReference, width, height, bits, linear), stored);

    const std::size_t pageRowBytes = bits == 4 ? 64 : 128;
    const std::size_t partRowBytes = ImageBytes(width, 1, bits) / pagesAcross;
    const std::size_t partRows = static_cast<std::size_t>(height) / pagesDown;
    for (std::size_t i = 0; i < pagesDown; ++i) {
        for (std::size_t j = 0; j < pagesAcross; ++j) {
            Bytes page = RandomBytes(8192, random);
            for (std::size_t row = 0; row < partRows; ++row) {
                const std::size_t from =
                    (i * partRows + row) * partRowBytes * pagesAcross + j * partRowBytes;
                std::copy_n(&linear[from], partRowBytes, &page[row * pageRowBytes]);
            }
            Bytes storedPage(8192);
            (bits == 4 ? SwizzlePage4 : SwizzlePage8)(128, bits == 4 ? 128 : 64, page.data(),
                                                      storedPage.data());
            for (std::size_t row = 0; row < rectRows; ++row) {
                const std::size_t at =
                    (i * rectRows + row) * pagesAcross * rectBytes + j * rectBytes;
                ASSERT_TRUE(
                    std::equal(&stored[at], &stored[at] + rectBytes, &storedPage[row * 256]))
                    << "page " << i << "," << j << " stored row " << row;
            }
        }
    }
}

TEST(Ps2utilImageShapes, StoredPagesAndTheirRectangles) {
    ExpectStoredShape(kFour, 128, 64, 1, 1, 128, 32);
    ExpectStoredShape(kFour, 64, 128, 1, 1, 256, 16);
    ExpectStoredShape(kFour, 32, 32, 1, 1, 64, 8);
    // Two pages, the second from stored row 16, 8192 bytes in all.
    ExpectStoredShape(kFour, 64, 256, 1, 2, 256, 16);
    // Two pages side by side in stored rows of 512 bytes.
    ExpectStoredShape(kEight, 256, 32, 2, 1, 256, 16);
    ExpectStoredShape(kFour, 512, 256, 4, 2, 256, 32);
    ExpectStoredShape(kFour, 256, 32, 2, 1, 64, 32);
    ExpectStoredShape(kEight, 32, 256, 1, 4, 64, 32);
    ExpectStoredShape(kEight, 256, 256, 2, 4, 256, 32);
}

TEST(Ps2utilSizes, PowersOfTwoFrom32AreSupported) {
    for (const int bits : {4, 8}) {
        for (std::int32_t size = 32; size <= (1 << 20); size *= 2) {
            EXPECT_TRUE(IsSupportedTextureSize(size, 32, bits)) << size;
            EXPECT_TRUE(IsSupportedTextureSize(64, size, bits)) << size;
        }
        for (const std::int32_t bad : {0, -32, 1, 8, 16, 48, 96, 160, 192, 384, 1000}) {
            EXPECT_FALSE(IsSupportedTextureSize(bad, 128, bits)) << bad;
            EXPECT_FALSE(IsSupportedTextureSize(128, bad, bits)) << bad;
        }
    }
    EXPECT_FALSE(IsSupportedTextureSize(128, 128, 16));
}

// The reference unswizzle sends every stored pixel to exactly one linear pixel, for every
// supported size up to 4096 x 4096. Each run marks the stored pixels with a few bits of their
// index; together the runs give the stored index of every linear pixel.
TEST(Ps2utilSizes, SupportedSizesMapStoredPixelsOneToOne) {
    for (const Depth& depth : {kFour, kEight}) {
        const int bits = depth.bits;
        for (const std::int32_t width : kSizes) {
            for (const std::int32_t height : kSizes) {
                ASSERT_TRUE(IsSupportedTextureSize(width, height, bits));
                const auto pixels = static_cast<std::size_t>(width) * height;
                std::vector<std::uint32_t> source(pixels, 0);
                Bytes stored(ImageBytes(width, height, bits));
                for (int shift = 0; (std::size_t{1} << shift) < pixels; shift += bits) {
                    for (std::size_t p = 0; p < pixels; ++p) {
                        const auto part = static_cast<int>((p >> shift) & ((1u << bits) - 1));
                        if (bits == 4) {
                            SetNibble(stored, p, part);
                        } else {
                            stored[p] = static_cast<std::uint8_t>(part);
                        }
                    }
                    const Bytes linear =
                        Apply(depth.unswizzleReference, width, height, bits, stored);
                    for (std::size_t p = 0; p < pixels; ++p) {
                        source[p] |=
                            static_cast<std::uint32_t>(bits == 4 ? NibbleAt(linear, p) : linear[p])
                            << shift;
                    }
                }
                std::vector<bool> seen(pixels, false);
                std::size_t repeats = 0;
                for (const std::uint32_t from : source) {
                    repeats += from >= pixels || seen[from] ? 1 : 0;
                    seen[from % pixels] = true;
                }
                EXPECT_EQ(repeats, 0u) << bits << "-bit " << width << " x " << height;
            }
        }
    }
}

TEST(SwizzleRoundTrip, EverySupportedSizeAndBothOrders) {
    std::mt19937 random(21);
    for (const Depth& depth : {kFour, kEight}) {
        for (const std::int32_t width : kSizes) {
            for (const std::int32_t height : kSizes) {
                const int bits = depth.bits;
                const Bytes data = RandomBytes(ImageBytes(width, height, bits), random);
                const Bytes linear = Apply(depth.unswizzle, width, height, bits, data);
                const Bytes stored = Apply(depth.swizzle, width, height, bits, data);
                EXPECT_TRUE(Apply(depth.swizzle, width, height, bits, linear) == data &&
                            Apply(depth.unswizzle, width, height, bits, stored) == data)
                    << bits << "-bit " << width << " x " << height;
            }
        }
    }
}

// Every fast implementation this processor runs gives the reference's bytes on every supported
// size up to 4096 x 4096. The output starts dirty so that a byte left out shows, and has guard
// bytes on both sides.
TEST(SwizzleFastPath, EveryImplementationMatchesTheReference) {
    std::vector<ps2detail::ImageRoutines> implementations = ps2detail::VectorRoutines();
    implementations.push_back(ps2detail::PortableRoutines());
    std::mt19937 random(23);
    for (const Depth& depth : {kFour, kEight}) {
        for (const std::int32_t width : kSizes) {
            for (const std::int32_t height : kSizes) {
                const int bits = depth.bits;
                const std::size_t bytes = ImageBytes(width, height, bits);
                const Bytes data = RandomBytes(bytes, random);
                const Bytes linear = Apply(depth.unswizzleReference, width, height, bits, data);
                const Bytes stored = Apply(depth.swizzleReference, width, height, bits, data);
                for (const auto& r : implementations) {
                    for (const auto& [routine, expected] :
                         {std::pair{bits == 4 ? r.unswizzle4 : r.unswizzle8, &linear},
                          {bits == 4 ? r.swizzle4 : r.swizzle8, &stored}}) {
                        Bytes out(bytes + 128, 0x5A);
                        routine(width, height, data.data(), out.data() + 64);
                        EXPECT_TRUE(std::equal(expected->begin(), expected->end(), &out[64]) &&
                                    std::count(out.begin(), out.begin() + 64, 0x5A) == 64 &&
                                    std::count(out.end() - 64, out.end(), 0x5A) == 64)
                            << r.name << (expected == &linear ? " unswizzle " : " swizzle ") << bits
                            << "-bit " << width << " x " << height;
                    }
                }
            }
        }
    }
}

Bitmap MakeBitmap(PixelFormat format, std::int32_t width, std::int32_t height,
                  std::mt19937& random) {
    Bitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    std::vector<Rgb> palette(format == pf4bit ? 16 : 256);
    for (auto& colour : palette) {
        colour = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()), 7};
    }
    bitmap.SetPalette(palette);
    for (std::int32_t row = 0; row < height; ++row) {
        const Bytes bytes = RandomBytes(ImageBytes(width, 1, BitsPerPixel(format)), random);
        std::copy(bytes.begin(), bytes.end(), bitmap.ScanLine(row));
    }
    return bitmap;
}

// The scan lines, R bytes of each.
Bytes Rows(const Bitmap& bitmap) {
    const std::size_t rowBytes = ImageBytes(bitmap.Width(), 1, BitsPerPixel(bitmap.Format()));
    Bytes bytes;
    for (std::int32_t row = 0; row < bitmap.Height(); ++row) {
        bytes.insert(bytes.end(), bitmap.ScanLine(row), bitmap.ScanLine(row) + rowBytes);
    }
    return bytes;
}

FileStream WriteFile(const std::string& path, const Bytes& bytes) {
    FileStream stream = FileStream::Open(path, omCreate);
    stream.Write(bytes.data(), bytes.size());
    return stream;
}

TEST(Ps2utilTransfer, BothDirectionsAtTheStreamPositionLeavingThePaletteAlone) {
    testing::TempDir tmp;
    std::mt19937 random(31);
    for (const auto& [format, width, height] :
         {std::tuple{pf4bit, 128, 64}, {pf8bit, 64, 256}, {pf4bit, 512, 32}, {pf8bit, 32, 32}}) {
        const Depth& depth = format == pf4bit ? kFour : kEight;
        const std::size_t bytes = ImageBytes(width, height, depth.bits);
        const Bytes stored = RandomBytes(bytes, random);
        Bytes file(7 + bytes + 1, 0xEE);
        std::copy(stored.begin(), stored.end(), file.begin() + 7);
        FileStream stream = WriteFile(tmp / "texture", file);

        Bitmap bitmap = MakeBitmap(format, width, height, random);
        const auto palette = bitmap.Palette();
        stream.Seek(7);
        TransferTexture(ToBitmap, stream, bitmap);
        EXPECT_EQ(stream.Position(), 7 + bytes);
        EXPECT_TRUE(Rows(bitmap) ==
                    Apply(depth.unswizzleReference, width, height, depth.bits, stored));
        EXPECT_EQ(bitmap.Palette(), palette);

        bitmap = MakeBitmap(format, width, height, random);
        stream.Seek(7);
        TransferTexture(FromBitmap, stream, bitmap);
        EXPECT_EQ(stream.Position(), 7 + bytes);
        Bytes back(file.size());
        stream.Seek(0);
        stream.ReadExact(back.data(), back.size());
        EXPECT_TRUE(Bytes(back.begin() + 7, back.end() - 1) ==
                    Apply(depth.swizzleReference, width, height, depth.bits, Rows(bitmap)));
        EXPECT_EQ(back[6], 0xEE);
        EXPECT_EQ(back.back(), 0xEE);
    }
}

// The left pixel of a stored pair stays in the low nibble of the scan line byte, unlike the
// Bitmap's own order: the callers exchange the nibbles.
TEST(Ps2utilTransfer, NibblesAreNotExchanged) {
    testing::TempDir tmp;
    std::mt19937 random(33);
    Bytes stored(8192, 0);
    stored[0] = 0x21; // pixel (0, 0) = 1 in the low nibble; pixel (4, 2) = 2 in the high nibble
    FileStream stream = WriteFile(tmp / "texture", stored);
    Bitmap bitmap = MakeBitmap(pf4bit, 128, 128, random);
    stream.Seek(0);
    TransferTexture(ToBitmap, stream, bitmap);
    EXPECT_EQ(bitmap.ScanLine(0)[0], 0x01);
    EXPECT_EQ(bitmap.ScanLine(2)[2], 0x02);

    stream.Seek(0);
    TransferTexture(FromBitmap, stream, bitmap);
    Bytes back(8192);
    stream.Seek(0);
    stream.ReadExact(back.data(), back.size());
    EXPECT_EQ(back, stored);
}

TEST(Ps2utilTransfer, AShortStreamThrowsAndLeavesTheBitmapAlone) {
    testing::TempDir tmp;
    std::mt19937 random(34);
    for (const PixelFormat format : {pf4bit, pf8bit}) {
        const std::size_t bytes = ImageBytes(64, 64, BitsPerPixel(format));
        FileStream stream = WriteFile(tmp / "short", RandomBytes(bytes + 5, random));
        Bitmap bitmap = MakeBitmap(format, 64, 64, random);
        const Bytes before = Rows(bitmap);
        stream.Seek(6);
        EXPECT_THROW(TransferTexture(ToBitmap, stream, bitmap), FileReadError);
        EXPECT_EQ(Rows(bitmap), before);
    }
}

} // namespace
} // namespace eitool
