#include "images/Ps2util.h"

#include "common/FileStream.h"
#include "common/RunError.h"
#include "images/Bitmap.h"
#include "images/Ps2utilFast.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace eitool {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Routine = void (*)(std::int32_t, std::int32_t, const std::uint8_t*, std::uint8_t*);

const std::vector<std::int32_t> kSizes = {32, 64, 128, 256, 512, 1024, 2048, 4096};

Bytes RandomBytes(std::size_t size, std::mt19937& random) {
    Bytes bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

std::size_t ImageBytes(std::int32_t width, std::int32_t height, int depth) {
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return depth == 4 ? pixels / 2 : pixels;
}

Bytes Apply(Routine routine, std::int32_t width, std::int32_t height, int depth, const Bytes& in) {
    Bytes out(ImageBytes(width, height, depth), 0);
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

struct Implementation {
    std::string name;
    ps2detail::ImageRoutines routines;
};

// The fast implementations this processor can run, and the routines as exported.
std::vector<Implementation> FastImplementations() {
    std::vector<Implementation> list = {
        {"public", {UnswizzleImage4, SwizzleImage4, UnswizzleImage8, SwizzleImage8, "public"}},
        {"portable", ps2detail::PortableRoutines()}};
    if (ps2detail::Sse41Available()) {
        list.push_back({"sse4.1", ps2detail::Sse41Routines()});
    }
    if (ps2detail::Avx2Available()) {
        list.push_back({"avx2", ps2detail::Avx2Routines()});
    }
    if (ps2detail::Avx512Available()) {
        list.push_back({"avx512", ps2detail::Avx512Routines()});
    }
    return list;
}

// ---------------------------------------------------------------------------------------------

TEST(Ps2utilTables, ColumnTablesStartWithTheDefinedEntries) {
    const std::vector<int> even4 = {0, 68, 8, 76, 16, 84, 24, 92, 1, 69, 9, 77, 17, 85, 25, 93};
    const std::vector<int> odd4 = {4, 64, 12, 72, 20, 80, 28, 88, 5, 65, 13, 73, 21, 81, 29, 89};
    const std::vector<int> even8 = {0, 36, 8, 44, 1, 37, 9, 45, 2, 38, 10, 46, 3, 39, 11, 47};
    const std::vector<int> odd8 = {4, 32, 12, 40, 5, 33, 13, 41, 6, 34, 14, 42, 7, 35, 15, 43};
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(ColumnTable4[i], even4[i]) << i;
        EXPECT_EQ(ColumnTable4[128 + i], odd4[i]) << i;
        EXPECT_EQ(ColumnTable8[i], even8[i]) << i;
        EXPECT_EQ(ColumnTable8[64 + i], odd8[i]) << i;
    }
}

TEST(Ps2utilTables, OddColumnEntriesAreEvenEntriesXor4) {
    for (std::size_t i = 0; i < 128; ++i) {
        EXPECT_EQ(ColumnTable4[128 + i], ColumnTable4[i] ^ 4) << i;
    }
    for (std::size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(ColumnTable8[64 + i], ColumnTable8[i] ^ 4) << i;
    }
}

TEST(Ps2utilTables, EveryTableIsAPermutation) {
    auto isPermutation = [](const std::uint8_t* begin, std::size_t count) {
        std::vector<std::uint8_t> sorted(begin, begin + count);
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t i = 0; i < count; ++i) {
            if (sorted[i] != i) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(isPermutation(ColumnTable4.data(), 128));
    EXPECT_TRUE(isPermutation(ColumnTable4.data() + 128, 128));
    EXPECT_TRUE(isPermutation(ColumnTable8.data(), 64));
    EXPECT_TRUE(isPermutation(ColumnTable8.data() + 64, 64));
    EXPECT_TRUE(isPermutation(BlockTable4.data(), 32));
    EXPECT_TRUE(isPermutation(BlockTable32.data(), 32));
}

TEST(Ps2utilTables, BlockNumbersInterleaveTheGridBits) {
    auto bit = [](std::size_t value, int index) { return (value >> index) & 1; };
    for (std::size_t by = 0; by < 4; ++by) {
        for (std::size_t bx = 0; bx < 8; ++bx) {
            const std::size_t number =
                bit(bx, 0) | bit(by, 0) << 1 | bit(bx, 1) << 2 | bit(by, 1) << 3 | bit(bx, 2) << 4;
            EXPECT_EQ(BlockTable32[by * 8 + bx], number) << bx << "," << by;
        }
    }
    for (std::size_t by = 0; by < 8; ++by) {
        for (std::size_t bx = 0; bx < 4; ++bx) {
            const std::size_t number =
                bit(by, 0) | bit(bx, 0) << 1 | bit(by, 1) << 2 | bit(bx, 1) << 3 | bit(by, 2) << 4;
            EXPECT_EQ(BlockTable4[by * 4 + bx], number) << bx << "," << by;
        }
    }
}

// ---------------------------------------------------------------------------------------------

TEST(Ps2utilBlocks, BlockConversionsAreInverse) {
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        const Bytes data = RandomBytes(256, random);
        Bytes middle(256);
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

TEST(Ps2utilBlocks, Unswizzle4OverwritesWhateverTheOutputHeld) {
    std::mt19937 random(12);
    const Bytes data = RandomBytes(256, random);
    Bytes clean(256, 0x00);
    Bytes dirty(256, 0xFF);
    UnswizzleBlock4(data.data(), clean.data());
    UnswizzleBlock4(data.data(), dirty.data());
    EXPECT_EQ(dirty, clean);
}

TEST(Ps2utilBlocks, AColumnOnlyExchangesWithTheSameColumn) {
    for (std::size_t at = 0; at < 256; at += 5) {
        Bytes stored(256, 0);
        stored[at] = 0xFF;
        Bytes linear4(256);
        Bytes linear8(256);
        UnswizzleBlock4(stored.data(), linear4.data());
        UnswizzleBlock8(stored.data(), linear8.data());
        const std::size_t column = at / 64;
        for (std::size_t i = 0; i < 256; ++i) {
            if (i / 64 != column) {
                EXPECT_EQ(linear4[i], 0) << at << " -> " << i;
                EXPECT_EQ(linear8[i], 0) << at << " -> " << i;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------

// One linear pixel and the stored place that holds it.
struct Place {
    std::size_t x;
    std::size_t y;
    std::size_t storedByte;
    int storedNibble; // 0 low, 1 high; unused for 8-bit
};

// Checks a place both ways on a single page, marking only that pixel (or stored nibble).
void ExpectPlace4(const char* what, Routine unswizzle, Routine swizzle, const Place& place) {
    Bytes stored(8192, 0);
    SetNibble(stored, 2 * place.storedByte + static_cast<std::size_t>(place.storedNibble), 0xA);
    const Bytes linear = Apply(unswizzle, 128, 128, 4, stored);
    Bytes expected(8192, 0);
    SetNibble(expected, place.y * 128 + place.x, 0xA);
    EXPECT_EQ(linear, expected) << what << ": pixel " << place.x << "," << place.y;
    EXPECT_EQ(Apply(swizzle, 128, 128, 4, expected), stored)
        << what << ": pixel " << place.x << "," << place.y;
}

void ExpectPlace8(const char* what, Routine unswizzle, Routine swizzle, const Place& place) {
    Bytes stored(8192, 0);
    stored[place.storedByte] = 0xA5;
    const Bytes linear = Apply(unswizzle, 128, 64, 8, stored);
    Bytes expected(8192, 0);
    expected[place.y * 128 + place.x] = 0xA5;
    EXPECT_EQ(linear, expected) << what << ": pixel " << place.x << "," << place.y;
    EXPECT_EQ(Apply(swizzle, 128, 64, 8, expected), stored)
        << what << ": pixel " << place.x << "," << place.y;
}

const std::vector<Place> kPlaces4 = {
    {0, 0, 0, 0},  {1, 0, 4, 0},   {8, 0, 1, 0},     {0, 1, 256, 0},
    {0, 2, 16, 1}, {0, 4, 528, 0}, {32, 0, 2048, 0}, {127, 127, 8191, 1},
};

const std::vector<Place> kPlaces8 = {
    {0, 0, 0, 0},  {1, 0, 4, 0},   {8, 0, 2, 0},   {0, 1, 256, 0},
    {0, 2, 17, 0}, {0, 4, 528, 0}, {16, 0, 32, 0}, {127, 63, 8191, 0},
};

TEST(Ps2utilPagePositions, FourBitPixelsLieInTheirStoredNibbles) {
    for (const Place& place : kPlaces4) {
        ExpectPlace4("page", UnswizzlePage4, SwizzlePage4, place);
        ExpectPlace4("reference", UnswizzleImage4Reference, SwizzleImage4Reference, place);
        ExpectPlace4("image", UnswizzleImage4, SwizzleImage4, place);
    }
}

TEST(Ps2utilPagePositions, EightBitPixelsLieInTheirStoredBytes) {
    for (const Place& place : kPlaces8) {
        ExpectPlace8("page", UnswizzlePage8, SwizzlePage8, place);
        ExpectPlace8("reference", UnswizzleImage8Reference, SwizzleImage8Reference, place);
        ExpectPlace8("image", UnswizzleImage8, SwizzleImage8, place);
    }
}

// ---------------------------------------------------------------------------------------------

// The stored image of a W x H texture is made of page rectangles of rectBytes x rectRows in a
// grid of pagesAcross x pagesDown: each holds what swizzling the page's part of the linear image
// as a whole page puts there, whatever the rest of that page held.
void ExpectStoredShape(int depth, std::int32_t width, std::int32_t height, std::size_t pagesAcross,
                       std::size_t pagesDown, std::size_t rectBytes, std::size_t rectRows) {
    SCOPED_TRACE(std::to_string(depth) + "-bit " + std::to_string(width) + " x " +
                 std::to_string(height));
    std::mt19937 random(static_cast<unsigned>(width * 7 + height));
    const std::size_t total = ImageBytes(width, height, depth);
    ASSERT_EQ(pagesAcross * rectBytes * pagesDown * rectRows, total);
    const Bytes linear = RandomBytes(total, random);
    const Routine swizzle = depth == 4 ? SwizzleImage4 : SwizzleImage8;
    const Bytes stored = Apply(swizzle, width, height, depth, linear);
    EXPECT_EQ(Apply(depth == 4 ? SwizzleImage4Reference : SwizzleImage8Reference, width, height,
                    depth, linear),
              stored);

    const std::size_t pageRows = depth == 4 ? 128 : 64;
    const std::size_t pageRowBytes = depth == 4 ? 64 : 128;
    const std::size_t linearRowBytes = depth == 4 ? width / 2 : width;
    const std::size_t partRowBytes = linearRowBytes / pagesAcross;
    const std::size_t partRows = static_cast<std::size_t>(height) / pagesDown;
    const std::size_t storedRowBytes = pagesAcross * rectBytes;
    for (std::size_t i = 0; i < pagesDown; ++i) {
        for (std::size_t j = 0; j < pagesAcross; ++j) {
            Bytes page = RandomBytes(8192, random);
            for (std::size_t row = 0; row < partRows; ++row) {
                std::copy_n(
                    linear.begin() + static_cast<std::ptrdiff_t>(
                                         (i * partRows + row) * linearRowBytes + j * partRowBytes),
                    partRowBytes, page.begin() + static_cast<std::ptrdiff_t>(row * pageRowBytes));
            }
            Bytes storedPage(8192);
            (depth == 4 ? SwizzlePage4 : SwizzlePage8)(128, static_cast<std::int32_t>(pageRows),
                                                       page.data(), storedPage.data());
            for (std::size_t row = 0; row < rectRows; ++row) {
                const auto from =
                    stored.begin() + static_cast<std::ptrdiff_t>(
                                         (i * rectRows + row) * storedRowBytes + j * rectBytes);
                const Bytes got(from, from + static_cast<std::ptrdiff_t>(rectBytes));
                const Bytes want(storedPage.begin() + static_cast<std::ptrdiff_t>(row * 256),
                                 storedPage.begin() +
                                     static_cast<std::ptrdiff_t>(row * 256 + rectBytes));
                ASSERT_EQ(got, want) << "page " << i << "," << j << " stored row " << row;
            }
        }
    }
}

TEST(Ps2utilImageShapes, SinglePageImagesFillAPartOfTheStoredPage) {
    ExpectStoredShape(4, 128, 64, 1, 1, 128, 32);
    ExpectStoredShape(4, 64, 128, 1, 1, 256, 16);
    ExpectStoredShape(4, 32, 32, 1, 1, 64, 8);
    ExpectStoredShape(8, 64, 32, 1, 1, 128, 16);
}

TEST(Ps2utilImageShapes, PagesFollowEachOtherDownAndAcross) {
    // 4-bit 64 x 256: two pages, the second from stored row 16, 8192 bytes in all.
    ExpectStoredShape(4, 64, 256, 1, 2, 256, 16);
    // 8-bit 256 x 32: two pages side by side in stored rows of 512 bytes.
    ExpectStoredShape(8, 256, 32, 2, 1, 256, 16);
    ExpectStoredShape(4, 512, 256, 4, 2, 256, 32);
    ExpectStoredShape(8, 256, 256, 2, 4, 256, 32);
    ExpectStoredShape(4, 256, 32, 2, 1, 64, 32);
    ExpectStoredShape(8, 32, 256, 1, 4, 64, 32);
}

// ---------------------------------------------------------------------------------------------

TEST(Ps2utilSizes, PowersOfTwoFrom32AreSupported) {
    for (const int depth : {4, 8}) {
        for (std::int32_t width = 32; width <= (1 << 20); width *= 2) {
            EXPECT_TRUE(IsSupportedTextureSize(width, 32, depth)) << width;
            EXPECT_TRUE(IsSupportedTextureSize(64, width, depth)) << width;
        }
        for (const std::int32_t bad : {0, -32, 1, 8, 16, 48, 96, 160, 192, 384, 1000}) {
            EXPECT_FALSE(IsSupportedTextureSize(bad, 128, depth)) << bad;
            EXPECT_FALSE(IsSupportedTextureSize(128, bad, depth)) << bad;
        }
    }
    EXPECT_FALSE(IsSupportedTextureSize(128, 128, 16));
    EXPECT_FALSE(IsSupportedTextureSize(128, 128, 2));
}

// For every supported size up to 4096 x 4096, the reference unswizzle sends every stored pixel
// to exactly one linear pixel. Each run marks the pixels with a few bits of their stored index;
// the runs together give the stored index of every linear pixel, which must be a permutation.
TEST(Ps2utilSizes, SupportedSizesMapStoredPixelsOneToOne) {
    for (const int depth : {4, 8}) {
        const int bitsPerRun = depth;
        const Routine unswizzle = depth == 4 ? UnswizzleImage4Reference : UnswizzleImage8Reference;
        for (const std::int32_t width : kSizes) {
            for (const std::int32_t height : kSizes) {
                ASSERT_TRUE(IsSupportedTextureSize(width, height, depth));
                const std::size_t pixels =
                    static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
                std::vector<std::uint32_t> source(pixels, 0);
                Bytes stored(ImageBytes(width, height, depth));
                for (int shift = 0; (std::size_t{1} << shift) < pixels; shift += bitsPerRun) {
                    const std::uint32_t mask = (1u << bitsPerRun) - 1;
                    for (std::size_t p = 0; p < pixels; ++p) {
                        const auto part = static_cast<int>((p >> shift) & mask);
                        if (depth == 4) {
                            SetNibble(stored, p, part);
                        } else {
                            stored[p] = static_cast<std::uint8_t>(part);
                        }
                    }
                    const Bytes linear = Apply(unswizzle, width, height, depth, stored);
                    for (std::size_t p = 0; p < pixels; ++p) {
                        const auto part = static_cast<std::uint32_t>(
                            depth == 4 ? NibbleAt(linear, p) : linear[p]);
                        source[p] |= part << shift;
                    }
                }
                std::vector<bool> seen(pixels, false);
                std::size_t repeats = 0;
                for (const std::uint32_t from : source) {
                    if (from >= pixels || seen[from]) {
                        ++repeats;
                    } else {
                        seen[from] = true;
                    }
                }
                EXPECT_EQ(repeats, 0u) << depth << "-bit " << width << " x " << height;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------

TEST(SwizzleRoundTrip, EverySupportedSizeAndBothOrders) {
    std::mt19937 random(21);
    for (const int depth : {4, 8}) {
        const Routine unswizzle = depth == 4 ? UnswizzleImage4 : UnswizzleImage8;
        const Routine swizzle = depth == 4 ? SwizzleImage4 : SwizzleImage8;
        for (const std::int32_t width : kSizes) {
            for (const std::int32_t height : kSizes) {
                const Bytes data = RandomBytes(ImageBytes(width, height, depth), random);
                EXPECT_TRUE(Apply(swizzle, width, height, depth,
                                  Apply(unswizzle, width, height, depth, data)) == data)
                    << depth << "-bit " << width << " x " << height << " unswizzle first";
                EXPECT_TRUE(Apply(unswizzle, width, height, depth,
                                  Apply(swizzle, width, height, depth, data)) == data)
                    << depth << "-bit " << width << " x " << height << " swizzle first";
            }
        }
    }
}

TEST(SwizzleRoundTrip, ReferenceRoutinesAreInverse) {
    std::mt19937 random(22);
    for (const int depth : {4, 8}) {
        const Routine unswizzle = depth == 4 ? UnswizzleImage4Reference : UnswizzleImage8Reference;
        const Routine swizzle = depth == 4 ? SwizzleImage4Reference : SwizzleImage8Reference;
        for (const std::int32_t width : {32, 64, 128, 256, 1024}) {
            for (const std::int32_t height : {32, 64, 128, 256, 512}) {
                const Bytes data = RandomBytes(ImageBytes(width, height, depth), random);
                EXPECT_TRUE(Apply(swizzle, width, height, depth,
                                  Apply(unswizzle, width, height, depth, data)) == data)
                    << depth << "-bit " << width << " x " << height;
                EXPECT_TRUE(Apply(unswizzle, width, height, depth,
                                  Apply(swizzle, width, height, depth, data)) == data)
                    << depth << "-bit " << width << " x " << height;
            }
        }
    }
}

// Every fast implementation gives the reference's bytes, on every supported size up to
// 4096 x 4096, both directions and depths. Output buffers start dirty so that a missed byte
// shows.
TEST(SwizzleFastPath, MatchesTheReferenceOnEverySize) {
    std::mt19937 random(23);
    const auto implementations = FastImplementations();
    for (const int depth : {4, 8}) {
        for (const std::int32_t width : kSizes) {
            for (const std::int32_t height : kSizes) {
                const std::size_t bytes = ImageBytes(width, height, depth);
                const Bytes data = RandomBytes(bytes, random);
                const Bytes linear =
                    Apply(depth == 4 ? UnswizzleImage4Reference : UnswizzleImage8Reference, width,
                          height, depth, data);
                const Bytes stored =
                    Apply(depth == 4 ? SwizzleImage4Reference : SwizzleImage8Reference, width,
                          height, depth, data);
                for (const auto& implementation : implementations) {
                    const auto& r = implementation.routines;
                    Bytes out(bytes, 0x5A);
                    (depth == 4 ? r.unswizzle4 : r.unswizzle8)(width, height, data.data(),
                                                               out.data());
                    EXPECT_TRUE(out == linear) << implementation.name << " unswizzle " << depth
                                               << "-bit " << width << " x " << height;
                    std::fill(out.begin(), out.end(), 0xA5);
                    (depth == 4 ? r.swizzle4 : r.swizzle8)(width, height, data.data(), out.data());
                    EXPECT_TRUE(out == stored) << implementation.name << " swizzle " << depth
                                               << "-bit " << width << " x " << height;
                }
            }
        }
    }
}

TEST(SwizzleFastPath, StaysInsideTheImage) {
    std::mt19937 random(24);
    for (const auto& implementation : FastImplementations()) {
        for (const int depth : {4, 8}) {
            for (const auto& [width, height] :
                 {std::pair{32, 32}, {128, 32}, {32, 256}, {256, 64}}) {
                const std::size_t bytes = ImageBytes(width, height, depth);
                const Bytes data = RandomBytes(bytes, random);
                const auto& r = implementation.routines;
                for (const Routine routine : depth == 4 ? std::vector{r.unswizzle4, r.swizzle4}
                                                        : std::vector{r.unswizzle8, r.swizzle8}) {
                    Bytes out(bytes + 128, 0xC3);
                    routine(width, height, data.data(), out.data() + 64);
                    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 64,
                                            [](std::uint8_t b) { return b == 0xC3; }));
                    EXPECT_TRUE(std::all_of(out.end() - 64, out.end(),
                                            [](std::uint8_t b) { return b == 0xC3; }))
                        << implementation.name << " " << depth << "-bit " << width << " x "
                        << height;
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------

Bitmap MakeBitmap(PixelFormat format, std::int32_t width, std::int32_t height,
                  std::mt19937& random) {
    Bitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    std::vector<Rgb> palette;
    for (int i = 0; i < (format == pf4bit ? 16 : 256); ++i) {
        palette.push_back({static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(i),
                           static_cast<std::uint8_t>(255 - i)});
    }
    bitmap.SetPalette(palette);
    const std::size_t rowBytes = format == pf4bit ? width / 2 : width;
    for (std::int32_t row = 0; row < height; ++row) {
        const Bytes bytes = RandomBytes(rowBytes, random);
        std::copy(bytes.begin(), bytes.end(), bitmap.ScanLine(row));
    }
    return bitmap;
}

Bytes Rows(const Bitmap& bitmap) {
    const std::size_t rowBytes = bitmap.Format() == pf4bit ? bitmap.Width() / 2 : bitmap.Width();
    Bytes bytes;
    for (std::int32_t row = 0; row < bitmap.Height(); ++row) {
        bytes.insert(bytes.end(), bitmap.ScanLine(row), bitmap.ScanLine(row) + rowBytes);
    }
    return bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    FileStream stream = FileStream::Open(path, omCreate);
    stream.Write(bytes.data(), bytes.size());
}

TEST(Ps2utilTransfer, ToBitmapUnswizzlesFromTheStreamPosition) {
    testing::TempDir tmp;
    std::mt19937 random(31);
    for (const auto& [format, width, height] :
         {std::tuple{pf4bit, 128, 64}, {pf8bit, 64, 256}, {pf4bit, 512, 32}}) {
        const int depth = format == pf4bit ? 4 : 8;
        const std::size_t bytes = ImageBytes(width, height, depth);
        const Bytes stored = RandomBytes(bytes, random);
        Bytes file(7, 0xEE);
        file.insert(file.end(), stored.begin(), stored.end());
        file.push_back(0x11);
        WriteFile(tmp / "texture", file);

        Bitmap bitmap = MakeBitmap(format, width, height, random);
        const auto palette = bitmap.Palette();
        FileStream stream = FileStream::Open(tmp / "texture", omRead);
        stream.Seek(7);
        TransferTexture(ToBitmap, stream, bitmap);
        EXPECT_EQ(stream.Position(), 7 + bytes);
        EXPECT_TRUE(Rows(bitmap) ==
                    Apply(depth == 4 ? UnswizzleImage4Reference : UnswizzleImage8Reference, width,
                          height, depth, stored))
            << depth << "-bit " << width << " x " << height;
        EXPECT_EQ(bitmap.Palette(), palette);
    }
}

TEST(Ps2utilTransfer, FromBitmapSwizzlesIntoTheStreamPosition) {
    testing::TempDir tmp;
    std::mt19937 random(32);
    for (const auto& [format, width, height] :
         {std::tuple{pf4bit, 64, 128}, {pf8bit, 256, 32}, {pf8bit, 32, 32}}) {
        const int depth = format == pf4bit ? 4 : 8;
        const std::size_t bytes = ImageBytes(width, height, depth);
        WriteFile(tmp / "texture", Bytes(bytes + 10, 0x77));

        Bitmap bitmap = MakeBitmap(format, width, height, random);
        const auto palette = bitmap.Palette();
        const Bytes rows = Rows(bitmap);
        FileStream stream = FileStream::Open(tmp / "texture", omReadWrite);
        stream.Seek(4);
        TransferTexture(FromBitmap, stream, bitmap);
        EXPECT_EQ(stream.Position(), 4 + bytes);

        Bytes file(bytes + 10);
        stream.Seek(0);
        stream.ReadExact(file.data(), file.size());
        const Bytes expected = Apply(depth == 4 ? SwizzleImage4Reference : SwizzleImage8Reference,
                                     width, height, depth, rows);
        EXPECT_TRUE(Bytes(file.begin() + 4,
                          file.begin() + 4 + static_cast<std::ptrdiff_t>(bytes)) == expected);
        EXPECT_EQ(file[3], 0x77);
        EXPECT_EQ(file[4 + bytes], 0x77);
        EXPECT_EQ(Rows(bitmap), rows);
        EXPECT_EQ(bitmap.Palette(), palette);
    }
}

// The left pixel of a stored pair stays in the low nibble of the scan line byte, unlike the
// Bitmap's own order: the callers exchange the nibbles.
TEST(Ps2utilTransfer, NibblesAreNotExchanged) {
    testing::TempDir tmp;
    std::mt19937 random(33);
    Bytes stored(8192, 0);
    stored[0] = 0x21; // pixel (0, 0) = 1 in the low nibble; pixel (4, 2) = 2 in the high nibble
    WriteFile(tmp / "texture", stored);
    Bitmap bitmap = MakeBitmap(pf4bit, 128, 128, random);
    FileStream stream = FileStream::Open(tmp / "texture", omReadWrite);
    TransferTexture(ToBitmap, stream, bitmap);
    EXPECT_EQ(bitmap.ScanLine(0)[0], 0x01);
    EXPECT_EQ(bitmap.ScanLine(2)[2], 0x02);

    stream.Seek(0);
    TransferTexture(FromBitmap, stream, bitmap);
    stream.Seek(0);
    Bytes back(8192);
    stream.ReadExact(back.data(), back.size());
    EXPECT_EQ(back, stored);
}

TEST(Ps2utilTransfer, AShortStreamThrowsAndLeavesTheBitmapAlone) {
    testing::TempDir tmp;
    std::mt19937 random(34);
    for (const PixelFormat format : {pf4bit, pf8bit}) {
        const std::size_t bytes = format == pf4bit ? 64 * 64 / 2 : 64 * 64;
        WriteFile(tmp / "short", RandomBytes(bytes + 5, random));
        Bitmap bitmap = MakeBitmap(format, 64, 64, random);
        const Bytes before = Rows(bitmap);
        FileStream stream = FileStream::Open(tmp / "short", omRead);
        stream.Seek(6);
        EXPECT_THROW(TransferTexture(ToBitmap, stream, bitmap), FileReadError);
        EXPECT_EQ(Rows(bitmap), before);
    }
}

} // namespace
} // namespace eitool
