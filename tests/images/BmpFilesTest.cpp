// BMP reading and writing of Bitmap: round trips, the header variants and compressions that image
// editors write, a real image library reading our files and writing files for us, and damaged
// files refused cleanly.

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/RunError.h"
#include "images/Bitmap.h"
#include "support/TempDir.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace eitool {
namespace {

using Bytes = std::vector<std::uint8_t>;

const PixelFormat kAllFormats[] = {pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

// Fields of a hand-made BMP file; everything after the fixed headers (masks after a 40-byte
// header, palette) goes in `extra`, then the pixel bytes.
struct BmpFields {
    std::uint32_t headerSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t bits = 8;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha (headers of 52 bytes and more)
};

Bytes MakeBmp(const BmpFields& f, const Bytes& extra, const Bytes& pixels) {
    const std::uint32_t offset = 14 + f.headerSize + static_cast<std::uint32_t>(extra.size());
    Bytes out;
    out.push_back('B'); // signature
    out.push_back('M');
    AppendU32le(out, offset + static_cast<std::uint32_t>(pixels.size())); // file size
    AppendU32le(out, 0);                                                  // reserved
    AppendU32le(out, offset);                                             // offset of the pixels
    AppendU32le(out, f.headerSize);                                       // information header size
    if (f.headerSize == 12) {
        AppendU16le(out, static_cast<std::uint32_t>(f.width));  // width
        AppendU16le(out, static_cast<std::uint32_t>(f.height)); // height
        AppendU16le(out, 1);                                    // planes
        AppendU16le(out, f.bits);                               // bits per pixel
    } else {
        AppendU32le(out, static_cast<std::uint32_t>(f.width));       // width
        AppendU32le(out, static_cast<std::uint32_t>(f.height));      // height, negative: top-down
        AppendU16le(out, 1);                                         // planes
        AppendU16le(out, f.bits);                                    // bits per pixel
        AppendU32le(out, f.compression);                             // compression
        AppendU32le(out, static_cast<std::uint32_t>(pixels.size())); // size of the pixel data
        AppendU32le(out, 2835);                                      // pixels per metre across
        AppendU32le(out, 2835);                                      // pixels per metre down
        AppendU32le(out, f.coloursUsed);                             // palette entries used
        AppendU32le(out, 0);                                         // important entries
        if (f.headerSize >= 52) {
            AppendU32le(out, f.masks[0]); // red mask
            AppendU32le(out, f.masks[1]); // green mask
            AppendU32le(out, f.masks[2]); // blue mask
        }
        if (f.headerSize >= 56) {
            AppendU32le(out, f.masks[3]); // alpha mask
        }
        if (f.headerSize >= 108) {
            AppendU32le(out, 0x73524742); // colour space "sRGB"
        }
        out.resize(14 + f.headerSize, 0); // end points, gamma, intent, profile: unused
    }
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

// Palette entries blue, green, red and a fourth byte unless `core` (3-byte entries).
Bytes PaletteBytes(const std::vector<Rgb>& colours, bool core = false) {
    Bytes out;
    for (const Rgb& c : colours) {
        out.insert(out.end(), {c.b, c.g, c.r});
        if (!core) {
            out.push_back(0);
        }
    }
    return out;
}

Bytes MaskBytes(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    Bytes out;
    AppendU32le(out, red);
    AppendU32le(out, green);
    AppendU32le(out, blue);
    return out;
}

// Distinct, clearly non-grey colours.
std::vector<Rgb> TestPalette(std::size_t count) {
    std::vector<Rgb> palette;
    for (std::size_t i = 0; i < count; ++i) {
        palette.push_back({static_cast<std::uint8_t>(i * 37 + 11),
                           static_cast<std::uint8_t>(255 - i),
                           static_cast<std::uint8_t>(i * 5 + 100)});
    }
    return palette;
}

std::vector<Rgb> RandomPalette(std::size_t count, std::mt19937& random) {
    std::vector<Rgb> palette(count);
    for (auto& entry : palette) {
        entry = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                 static_cast<std::uint8_t>(random())};
    }
    return palette;
}

std::uint32_t RandomValue(PixelFormat format, std::mt19937& random) {
    switch (format) {
    case pf4bit:
        return random() & 0xF;
    case pf8bit:
        return random() & 0xFF;
    case pf15bit:
        return random() & 0x7FFF;
    case pf16bit:
        return random() & 0xFFFF;
    case pf24bit:
        return random() & 0xFFFFFF;
    case pf32bit:
        return static_cast<std::uint32_t>(random());
    }
    return 0;
}

Bitmap RandomBitmap(PixelFormat format, std::int32_t width, std::int32_t height,
                    std::mt19937& random) {
    Bitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    if (format == pf4bit || format == pf8bit) {
        bitmap.SetPalette(RandomPalette(format == pf4bit ? 16 : 256, random));
    }
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            bitmap.SetPixelValue(x, y, RandomValue(format, random));
        }
    }
    return bitmap;
}

void ExpectSamePicture(const Bitmap& actual, const Bitmap& expected) {
    ASSERT_EQ(actual.Width(), expected.Width());
    ASSERT_EQ(actual.Height(), expected.Height());
    ASSERT_EQ(actual.Format(), expected.Format());
    ASSERT_EQ(actual.Palette(), expected.Palette());
    for (std::int32_t y = 0; y < expected.Height(); ++y) {
        for (std::int32_t x = 0; x < expected.Width(); ++x) {
            ASSERT_EQ(actual.PixelValue(x, y), expected.PixelValue(x, y)) << x << "," << y;
        }
    }
}

// Rows of raw values, top row first.
void ExpectValues(const Bitmap& bitmap, const std::vector<std::vector<std::uint32_t>>& rows) {
    ASSERT_EQ(bitmap.Height(), static_cast<std::int32_t>(rows.size()));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        ASSERT_EQ(bitmap.Width(), static_cast<std::int32_t>(rows[y].size()));
        for (std::size_t x = 0; x < rows[y].size(); ++x) {
            EXPECT_EQ(bitmap.PixelValue(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)),
                      rows[y][x])
                << "pixel " << x << "," << y;
        }
    }
}

Bitmap Load(const Bytes& bytes) {
    return Bitmap::LoadFromBytes(bytes, "test.bmp");
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// ---------------------------------------------------------------------------------------------
// Files that are hand-made here and used by several groups.

// RLE8, 6 x 3, bottom-up. Expected rows, top first:
//   0 0 11 11 0 0
//   0 0  0  0 0 0
//   5 5  5  7 8 9
Bytes Rle8Stream() {
    return {
        0x03, 0x05,                   // three pixels of 5
        0x00, 0x03, 0x07, 0x08, 0x09, // literal run of 3: 7 8 9
        0x00,                         // padding to a 16-bit boundary
        0x00, 0x00,                   // end of row
        0x00, 0x02, 0x02, 0x01,       // move 2 right and 1 row on: row 1 stays 0
        0x02, 0x0B,                   // two pixels of 11
        0x00, 0x01,                   // end of picture; the rest stays 0
    };
}

// RLE4, 7 x 2, bottom-up. Expected rows, top first:
//   2 3 4 5 6 0 0
//   1 F 1 F A B C
Bytes Rle4Stream() {
    return {
        0x04, 0x1F,             // four pixels alternating 1, F
        0x00, 0x03, 0xAB, 0xC0, // literal run of 3: A B C (two bytes, already even)
        0x00, 0x00,             // end of row
        0x00, 0x05, 0x23, 0x45, // literal run of 5: 2 3 4 5 6 ...
        0x60, 0x00,             // ... and the padding byte to a 16-bit boundary
        0x00, 0x01,             // end of picture
    };
}

// ---------------------------------------------------------------------------------------------

TEST(BmpRoundTrip, EveryFormatKeepsSizePalettePixels) {
    std::mt19937 random(1234);
    for (PixelFormat format : kAllFormats) {
        for (const auto& [width, height] : {std::pair{1, 1}, {13, 7}, {32, 3}, {31, 5}, {2, 9}}) {
            SCOPED_TRACE(::testing::Message() << BitsPerPixel(format) << " bits, " << width << " x "
                                              << height << ", format " << format);
            const Bitmap original = RandomBitmap(format, width, height, random);
            ExpectSamePicture(Load(original.SaveToBytes()), original);
        }
    }
}

TEST(BmpRoundTrip, IndexedFilesKeepEveryPaletteEntryAndIndex) {
    std::mt19937 random(77);
    for (PixelFormat format : {pf4bit, pf8bit}) {
        const int entries = format == pf4bit ? 16 : 256;
        Bitmap bitmap = RandomBitmap(format, entries, 2, random);
        for (int x = 0; x < entries; ++x) {
            bitmap.SetPixelValue(x, 0, static_cast<std::uint32_t>(x));
        }
        const Bitmap loaded = Load(bitmap.SaveToBytes());
        ASSERT_EQ(loaded.Palette().size(), static_cast<std::size_t>(entries));
        ExpectSamePicture(loaded, bitmap);
    }
}

TEST(BmpRoundTrip, SavedFileIsBottomUpWithInfoHeaderFullPaletteAndPaddedRows) {
    std::mt19937 random(5);
    const Bitmap bitmap = RandomBitmap(pf4bit, 3, 2, random);
    const Bytes file = bitmap.SaveToBytes();
    ASSERT_EQ(file.size(), 14u + 40u + 16u * 4u + 2u * 4u);
    EXPECT_EQ(LoadU32le(file, 2), file.size());      // file size
    EXPECT_EQ(LoadU32le(file, 10), 14u + 40u + 64u); // pixel offset
    EXPECT_EQ(LoadU32le(file, 14), 40u);             // BITMAPINFOHEADER
    EXPECT_EQ(LoadU32le(file, 22), 2u);              // positive height: bottom-up
    EXPECT_EQ(LoadU16le(file, 28), 4u);              // bits
    EXPECT_EQ(LoadU32le(file, 30), 0u);              // BI_RGB
    EXPECT_EQ(LoadU32le(file, 46), 16u);             // palette entries
    EXPECT_EQ(file[54], bitmap.Palette()[0].b);
    EXPECT_EQ(file[56], bitmap.Palette()[0].r);
    // The first stored row is the bottom one, padded to 4 bytes.
    EXPECT_EQ(file[118], bitmap.ScanLine(1)[0]);
    EXPECT_EQ(file[118 + 4], bitmap.ScanLine(0)[0]);

    const Bytes words = RandomBitmap(pf16bit, 1, 1, random).SaveToBytes();
    EXPECT_EQ(LoadU32le(words, 30), 3u); // BI_BITFIELDS
    EXPECT_EQ(LoadU32le(words, 54), 0xF800u);
    EXPECT_EQ(LoadU32le(words, 58), 0x07E0u);
    EXPECT_EQ(LoadU32le(words, 62), 0x001Fu);
    const Bytes fifteen = RandomBitmap(pf15bit, 1, 1, random).SaveToBytes();
    EXPECT_EQ(LoadU16le(fifteen, 28), 16u);
    EXPECT_EQ(LoadU32le(fifteen, 30), 0u); // 5-5-5 is plain BI_RGB
}

TEST(BmpRoundTrip, SaveToFileReplacesTheFileAndLeavesNoTemporary) {
    testing::TempDir dir;
    std::mt19937 random(9);
    const std::string path = dir / "level.bmp";
    WriteFile(path, Bytes(5000, 0xEE));
    const Bitmap bitmap = RandomBitmap(pf8bit, 20, 10, random);
    bitmap.SaveToFile(path);
    ExpectSamePicture(Bitmap::LoadFromFile(path), bitmap);
    const auto entries = ListDirectory(dir.Path());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "level.bmp");

    // Rows are written in chunks: a bitmap of several MiB gives the same bytes as in memory.
    const Bitmap large = RandomBitmap(pf24bit, 1001, 1500, random);
    large.SaveToFile(path);
    EXPECT_EQ(ReadWholeFile(path), large.SaveToBytes());
}

TEST(BmpRoundTrip, SaveIntoAMissingDirectoryFailsNamingTheFile) {
    testing::TempDir dir;
    const std::string path = dir / "missing/level.bmp";
    Bitmap bitmap;
    bitmap.SetSize(2, 2);
    try {
        bitmap.SaveToFile(path);
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_EQ(error.Path(), path);
    }
    EXPECT_FALSE(FileExists(dir / "missing"));
}

// ---------------------------------------------------------------------------------------------

TEST(BmpReadVariants, CoreHeaderWithThreeByteEntries) {
    const auto palette = TestPalette(256);
    BmpFields f;
    f.headerSize = 12;
    f.width = 3;
    f.height = 2;
    f.bits = 8;
    const Bytes pixels = {7, 8, 9, 0, /* top row: */ 1, 2, 255, 0};
    const Bitmap bitmap = Load(MakeBmp(f, PaletteBytes(palette, true), pixels));
    EXPECT_EQ(bitmap.Format(), pf8bit);
    EXPECT_EQ(bitmap.Palette(), palette);
    ExpectValues(bitmap, {{1, 2, 255}, {7, 8, 9}});
}

TEST(BmpReadVariants, ShortPaletteLeavesTheOtherEntriesBlack) {
    const auto palette = TestPalette(3);
    BmpFields f;
    f.width = 4;
    f.height = 1;
    f.bits = 4;
    f.coloursUsed = 3;
    const Bitmap bitmap = Load(MakeBmp(f, PaletteBytes(palette), {0x01, 0x2F, 0, 0}));
    ASSERT_EQ(bitmap.Format(), pf4bit);
    ASSERT_EQ(bitmap.Palette().size(), 16u);
    EXPECT_EQ(bitmap.Palette()[2], palette[2]);
    EXPECT_EQ(bitmap.Palette()[3], (Rgb{0, 0, 0}));
    ExpectValues(bitmap, {{0, 1, 2, 15}});
    EXPECT_EQ(bitmap.PixelColor(3, 0), (Rgb{0, 0, 0}));
}

TEST(BmpReadVariants, TopDownRowsWithNegativeHeight) {
    BmpFields f;
    f.width = 2;
    f.height = -2;
    f.bits = 24;
    const Bytes pixels = {
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0, 0, // top row: blue, green, red per pixel
        0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0, 0, // bottom row
    };
    const Bitmap bitmap = Load(MakeBmp(f, {}, pixels));
    EXPECT_EQ(bitmap.Height(), 2);
    ExpectValues(bitmap, {{0x030201, 0x060504}, {0x090807, 0x0C0B0A}});
}

TEST(BmpReadVariants, SixteenBitPlainAndWithMasks) {
    BmpFields f;
    f.width = 2;
    f.height = 1;
    f.bits = 16;
    const Bytes pixels = {0x1F, 0x7C, 0xE0, 0x83, /* padding */};
    Bitmap plain = Load(MakeBmp(f, {}, pixels));
    EXPECT_EQ(plain.Format(), pf15bit);
    ExpectValues(plain, {{0x7C1F, 0x83E0}});
    EXPECT_EQ(plain.PixelColor(0, 0), (Rgb{255, 0, 255}));

    f.compression = 3; // BI_BITFIELDS, masks after the 40-byte header
    Bitmap wide = Load(MakeBmp(f, MaskBytes(0xF800, 0x07E0, 0x001F), pixels));
    EXPECT_EQ(wide.Format(), pf16bit);
    ExpectValues(wide, {{0x7C1F, 0x83E0}});
    EXPECT_EQ(wide.PixelColor(1, 0), (Rgb{0x84, 0x7D, 0x00}));

    Bitmap fifteen = Load(MakeBmp(f, MaskBytes(0x7C00, 0x03E0, 0x001F), pixels));
    EXPECT_EQ(fifteen.Format(), pf15bit);

    // A V4 header carries the masks itself.
    f.headerSize = 108;
    f.masks[0] = 0xF800;
    f.masks[1] = 0x07E0;
    f.masks[2] = 0x001F;
    EXPECT_EQ(Load(MakeBmp(f, {}, pixels)).Format(), pf16bit);
    // Masks in the header count only with BI_BITFIELDS.
    f.compression = 0;
    EXPECT_EQ(Load(MakeBmp(f, {}, pixels)).Format(), pf15bit);
}

TEST(BmpReadVariants, ThirtyTwoBitMasksInAnyByteOrder) {
    BmpFields f;
    f.headerSize = 124; // V5
    f.width = 1;
    f.height = 1;
    f.bits = 32;
    f.compression = 3;
    const Bytes pixel = {0x11, 0x22, 0x33, 0x44};

    f.masks[0] = 0x00FF0000; // the usual blue, green, red, alpha bytes
    f.masks[1] = 0x0000FF00;
    f.masks[2] = 0x000000FF;
    f.masks[3] = 0xFF000000;
    Bitmap usual = Load(MakeBmp(f, {}, pixel));
    EXPECT_EQ(usual.Format(), pf32bit);
    EXPECT_EQ(usual.PixelValue(0, 0), 0x44332211u);

    f.masks[0] = 0x000000FF; // red, green, blue, alpha bytes
    f.masks[1] = 0x0000FF00;
    f.masks[2] = 0x00FF0000;
    Bitmap rgba = Load(MakeBmp(f, {}, pixel));
    EXPECT_EQ(rgba.PixelColor(0, 0), (Rgb{0x11, 0x22, 0x33}));
    EXPECT_EQ(rgba.PixelValue(0, 0) >> 24, 0x44u);

    f.headerSize = 40; // BI_BITFIELDS after a plain header
    Bitmap plain = Load(MakeBmp(f, MaskBytes(0x0000FF00, 0x00FF0000, 0xFF000000), pixel));
    EXPECT_EQ(plain.PixelColor(0, 0), (Rgb{0x22, 0x33, 0x44}));
    EXPECT_EQ(plain.PixelValue(0, 0) >> 24, 0x11u);
}

TEST(BmpReadVariants, Rle8CodesRunsLiteralsMovesAndEnds) {
    BmpFields f;
    f.width = 6;
    f.height = 3;
    f.bits = 8;
    f.compression = 1;
    f.coloursUsed = 12;
    const Bitmap bitmap = Load(MakeBmp(f, PaletteBytes(TestPalette(12)), Rle8Stream()));
    EXPECT_EQ(bitmap.Format(), pf8bit);
    ExpectValues(bitmap, {{0, 0, 11, 11, 0, 0}, {0, 0, 0, 0, 0, 0}, {5, 5, 5, 7, 8, 9}});
}

TEST(BmpReadVariants, Rle4NibbleRunsAndPaddedLiterals) {
    BmpFields f;
    f.width = 7;
    f.height = 2;
    f.bits = 4;
    f.compression = 2;
    const Bitmap bitmap = Load(MakeBmp(f, PaletteBytes(TestPalette(16)), Rle4Stream()));
    EXPECT_EQ(bitmap.Format(), pf4bit);
    ExpectValues(bitmap, {{2, 3, 4, 5, 6, 0, 0}, {1, 15, 1, 15, 10, 11, 12}});
}

TEST(BmpReadVariants, RleStreamThatEndsEveryRowNeedsNoEndCode) {
    BmpFields f;
    f.width = 2;
    f.height = 2;
    f.bits = 8;
    f.compression = 1;
    const Bytes stream = {
        0x02, 0x04, 0x00, 0x00, // bottom row: 4 4, end of row
        0x01, 0x06, 0x00, 0x00, // top row: 6, end of row; the stream stops here
    };
    ExpectValues(Load(MakeBmp(f, PaletteBytes(TestPalette(256)), stream)), {{6, 0}, {4, 4}});
}

TEST(BmpReadVariants, OddFourBitRowsKeepNoPaddingNibble) {
    BmpFields f;
    f.width = 3;
    f.height = 1;
    f.bits = 4;
    const Bitmap bitmap = Load(MakeBmp(f, PaletteBytes(TestPalette(16)), {0x12, 0x3F, 0, 0}));
    Bitmap wider = bitmap;
    wider.SetWidth(4);
    ExpectValues(wider, {{1, 2, 3, 0}});
}

// ---------------------------------------------------------------------------------------------

struct Malformed {
    std::string what;
    Bytes bytes;
    std::string reason; // a piece of the message
};

std::vector<Malformed> MalformedFiles() {
    std::vector<Malformed> set;
    const Bytes palette16 = PaletteBytes(TestPalette(16));
    const Bytes palette256 = PaletteBytes(TestPalette(256));
    const auto file = [](BmpFields f, const Bytes& extra, const Bytes& pixels) {
        return MakeBmp(f, extra, pixels);
    };
    BmpFields eight;
    eight.width = 4;
    eight.height = 4;
    const Bytes good = file(eight, palette256, Bytes(16, 1));

    set.push_back({"empty file", {}, "too short"});
    set.push_back({"file header only", Bytes(good.begin(), good.begin() + 14), "too short"});
    Bytes signature = good;
    signature[1] = 'X';
    set.push_back({"wrong signature", signature, "not a BMP file"});
    set.push_back({"header cut short", Bytes(good.begin(), good.begin() + 30), "header runs past"});

    BmpFields f = eight;
    f.headerSize = 64;
    set.push_back({"OS/2 header", file(f, palette256, Bytes(16, 1)), "header of 64 bytes"});
    f = eight;
    f.bits = 2;
    set.push_back({"2-bit", file(f, PaletteBytes(TestPalette(4)), Bytes(16, 0)), "2-bit BMP"});
    f.bits = 48;
    set.push_back({"48-bit", file(f, {}, Bytes(200, 0)), "48-bit BMP"});
    f = eight;
    f.compression = 4;
    set.push_back({"JPEG", file(f, palette256, Bytes(16, 1)), "JPEG-compressed"});
    f.compression = 5;
    set.push_back({"PNG", file(f, palette256, Bytes(16, 1)), "PNG-compressed"});
    f.compression = 7;
    set.push_back({"unknown compression", file(f, palette256, Bytes(16, 1)), "compression 7"});
    f.compression = 2;
    set.push_back({"RLE4 with 8 bits", file(f, palette256, {0, 1}), "RLE4 compression with 8"});

    BmpFields words = eight;
    words.bits = 16;
    words.compression = 3;
    set.push_back({"16-bit 4-4-4 masks", file(words, MaskBytes(0xF00, 0xF0, 0xF), Bytes(32, 0)),
                   "colour masks 0xF00/0xF0/0xF"});
    const Bytes withMasks = file(words, MaskBytes(0xF800, 0x07E0, 0x1F), Bytes(32, 0));
    set.push_back(
        {"masks missing", Bytes(withMasks.begin(), withMasks.begin() + 58), "masks run past"});
    BmpFields quads = eight;
    quads.bits = 32;
    quads.compression = 3;
    set.push_back({"32-bit 10-10-10 masks",
                   file(quads, MaskBytes(0x3FF00000, 0xFFC00, 0x3FF), Bytes(64, 0)),
                   "32-bit BMP files with colour masks"});
    BmpFields triplets = eight;
    triplets.bits = 24;
    triplets.compression = 3;
    set.push_back({"24-bit masks", file(triplets, MaskBytes(0xFF0000, 0xFF00, 0xFF), Bytes(48, 0)),
                   "masks with 24 bits"});
    f = eight;
    f.headerSize = 12;
    f.bits = 16;
    set.push_back({"16-bit core header", file(f, {}, Bytes(32, 0)), "core header"});

    set.push_back({"palette past the end", Bytes(good.begin(), good.begin() + 54 + 40),
                   "palette of 256 entries runs past"});
    set.push_back({"pixel data short", Bytes(good.begin(), good.end() - 5), "pixel data"});
    Bytes offset = good;
    offset[10] = 0xFF;
    offset[11] = 0xFF;
    set.push_back({"pixel offset past the end", offset, "starts past the end"});
    f = eight;
    f.width = 0x7FFFFFFF;
    f.height = 0x7FFFFFFF;
    set.push_back({"huge width and height", file(f, palette256, Bytes(16, 1)), "larger than"});
    f.width = 30000;
    f.height = 30000;
    f.bits = 32;
    set.push_back({"too many pixels", file(f, {}, Bytes(16, 1)), "larger than"});
    f.width = 10000;
    f.height = 10000;
    f.bits = 24;
    set.push_back({"large picture, tiny file", file(f, {}, Bytes(16, 1)), "needs 300000000 bytes"});
    f = eight;
    f.width = -4;
    set.push_back({"negative width", file(f, palette256, Bytes(16, 1)), "negative"});
    f = eight;
    f.height = INT32_MIN;
    set.push_back({"height of -2^31", file(f, palette256, Bytes(16, 1)), "not valid"});

    BmpFields rle8 = eight;
    rle8.compression = 1;
    BmpFields rle4 = eight;
    rle4.bits = 4;
    rle4.compression = 2;
    BmpFields huge = rle8;
    huge.width = 16000;
    huge.height = 16000;
    set.push_back({"RLE picture far beyond its data", file(huge, palette256, {0, 1}),
                   "cannot come from 2 bytes"});
    set.push_back(
        {"RLE8 run past the row", file(rle8, palette256, {5, 1, 0, 1}), "past the end of row 0"});
    set.push_back({"RLE8 run after a run", file(rle8, palette256, {3, 1, 2, 1, 0, 1}),
                   "past the end of row 0"});
    set.push_back({"RLE8 literal past the row",
                   file(rle8, palette256, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}), "past the end of row"});
    set.push_back({"RLE8 past the last row",
                   file(rle8, palette256, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1}),
                   "past the last row"});
    set.push_back(
        {"RLE8 move past the row", file(rle8, palette256, {0, 2, 5, 0, 0, 1}), "move runs past"});
    set.push_back({"RLE8 move then run below the picture",
                   file(rle8, palette256, {0, 2, 0, 9, 1, 1, 0, 1}), "past the last row"});
    set.push_back({"RLE8 move cut short", file(rle8, palette256, {0, 2, 1}), "inside a move"});
    set.push_back(
        {"RLE8 literal past the file", file(rle8, palette256, {0, 4, 1, 2}), "literal run of 4"});
    set.push_back({"RLE8 without its end", file(rle8, palette256, {4, 1, 0, 0}),
                   "before its end-of-picture"});
    set.push_back({"RLE8 odd byte at the end", file(rle8, palette256, {4, 1, 0}),
                   "before its end-of-picture"});
    set.push_back(
        {"RLE4 run past the row", file(rle4, palette16, {6, 0x12, 0, 1}), "past the end of row 0"});
    set.push_back({"RLE4 literal past the row",
                   file(rle4, palette16, {0, 5, 0x12, 0x34, 0x50, 0, 0, 1}),
                   "past the end of row 0"});
    return set;
}

TEST(BmpMalformed, EveryDamagedFileIsRefusedNamingFileAndReason) {
    for (const auto& bad : MalformedFiles()) {
        SCOPED_TRACE(bad.what);
        try {
            Bitmap::LoadFromBytes(bad.bytes, "bad.bmp");
            ADD_FAILURE() << "loaded";
        } catch (const CorruptFileError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("bad.bmp: ", 0), 0u) << message;
            EXPECT_NE(message.find(bad.reason), std::string::npos) << message;
        }
    }
}

// A file cut anywhere is refused cleanly; only a cut inside the padding of the last row may
// still load.
TEST(BmpMalformed, EveryTruncationOfValidFilesIsRefusedOrLoads) {
    std::mt19937 random(11);
    std::vector<Bytes> files;
    for (PixelFormat format : kAllFormats) {
        files.push_back(RandomBitmap(format, 5, 3, random).SaveToBytes());
    }
    BmpFields rle;
    rle.width = 6;
    rle.height = 3;
    rle.compression = 1;
    files.push_back(MakeBmp(rle, PaletteBytes(TestPalette(256)), Rle8Stream()));
    for (const Bytes& whole : files) {
        for (std::size_t size = 0; size < whole.size(); ++size) {
            const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
            try {
                const Bitmap loaded = Bitmap::LoadFromBytes(cut, "cut.bmp");
                EXPECT_GE(size + 3, whole.size()) << "a cut at " << size << " loaded";
            } catch (const CorruptFileError&) {
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// A real image library (Pillow, Debian package python3-pil) reads our files and writes files for
// us. The helper script is driven through files in a temporary directory.

const char* const kPillowScript = R"(import sys
from PIL import Image
if sys.argv[1] == "write":
    mode, width, height = sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    image = Image.frombytes(mode, (width, height), open(sys.argv[5], "rb").read())
    if mode == "P":
        image.putpalette(open(sys.argv[6], "rb").read())
    image.save(sys.argv[7], "BMP")
else:
    image = Image.open(sys.argv[2])
    image.load()
    prefix = sys.argv[3]
    with open(prefix + ".info", "w") as info:
        info.write("%s %d %d\n" % (image.mode, image.width, image.height))
    if image.mode == "P":
        open(prefix + ".pal", "wb").write(bytes(image.getpalette()))
    open(prefix + ".raw", "wb").write(image.tobytes())
    open(prefix + ".rgb", "wb").write(image.convert("RGB").tobytes())
)";

class BmpPillow : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* candidate : {"/usr/bin/python3", "python3"}) {
            const std::string probe =
                std::string(candidate) + " -c \"import PIL.BmpImagePlugin\" >/dev/null 2>&1";
            if (std::system(probe.c_str()) == 0) {
                m_python = candidate;
                break;
            }
        }
        if (m_python.empty()) {
            GTEST_SKIP() << "Pillow is not installed (Debian package python3-pil; "
                            "scripts/setup-deps.sh installs it)";
        }
        m_script = m_dir / "pillow_bmp.py";
        std::ofstream(m_script) << kPillowScript;
    }

    void RunScript(const std::string& arguments) const {
        const std::string command =
            m_python + " " + m_script + " " + arguments + " 2>" + (m_dir / "stderr.txt");
        ASSERT_EQ(std::system(command.c_str()), 0)
            << command << "\n"
            << std::string(
                   std::istreambuf_iterator<char>(std::ifstream(m_dir / "stderr.txt").rdbuf()), {});
    }

    struct Decoded {
        std::string mode;
        int width = 0;
        int height = 0;
        Bytes palette; // red, green, blue per entry (mode P)
        Bytes raw;     // indices in mode P and L
        Bytes rgb;     // red, green, blue per pixel
    };

    Decoded PillowRead(const std::string& path) const {
        const std::string prefix = m_dir / "decoded";
        RunScript("read " + path + " " + prefix);
        Decoded decoded;
        std::ifstream(prefix + ".info") >> decoded.mode >> decoded.width >> decoded.height;
        if (decoded.mode == "P") {
            decoded.palette = ReadFile(prefix + ".pal");
        }
        decoded.raw = ReadFile(prefix + ".raw");
        decoded.rgb = ReadFile(prefix + ".rgb");
        return decoded;
    }

    // Pillow writes an image of the given mode from raw bytes (and an RGB palette for mode P).
    std::string PillowWrite(const std::string& mode, int width, int height, const Bytes& raw,
                            const Bytes& palette = {}) const {
        const std::string rawPath = m_dir / "in.raw";
        const std::string palettePath = m_dir / "in.pal";
        const std::string bmpPath = m_dir / ("pillow_" + mode + ".bmp");
        WriteFile(rawPath, raw);
        WriteFile(palettePath, palette);
        RunScript("write " + mode + " " + std::to_string(width) + " " + std::to_string(height) +
                  " " + rawPath + " " + palettePath + " " + bmpPath);
        return bmpPath;
    }

    static void ExpectSameColours(const Bitmap& bitmap, const Bytes& rgb, int tolerance) {
        ASSERT_EQ(rgb.size(), static_cast<std::size_t>(bitmap.Width()) * bitmap.Height() * 3);
        std::size_t at = 0;
        for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
            for (std::int32_t x = 0; x < bitmap.Width(); ++x, at += 3) {
                const Rgb c = bitmap.PixelColor(x, y);
                ASSERT_NEAR(c.r, rgb[at], tolerance) << x << "," << y;
                ASSERT_NEAR(c.g, rgb[at + 1], tolerance) << x << "," << y;
                ASSERT_NEAR(c.b, rgb[at + 2], tolerance) << x << "," << y;
            }
        }
    }

    testing::TempDir m_dir;
    std::string m_python;
    std::string m_script;
};

TEST_F(BmpPillow, OpensOurFilesWithTheRightSizeModePaletteAndPixels) {
    std::mt19937 random(2024);
    for (PixelFormat format : kAllFormats) {
        SCOPED_TRACE(::testing::Message() << BitsPerPixel(format) << " bits, format " << format);
        const Bitmap bitmap = RandomBitmap(format, 37, 11, random);
        const std::string path = m_dir / "ours.bmp";
        bitmap.SaveToFile(path);
        const Decoded decoded = PillowRead(path);
        EXPECT_EQ(decoded.width, 37);
        EXPECT_EQ(decoded.height, 11);
        if (format == pf4bit || format == pf8bit) {
            ASSERT_EQ(decoded.mode, "P");
            const std::size_t entries = format == pf4bit ? 16 : 256;
            ASSERT_EQ(decoded.palette.size(), entries * 3);
            for (std::size_t i = 0; i < entries; ++i) {
                const Rgb entry = bitmap.Palette()[i];
                EXPECT_EQ((Rgb{decoded.palette[3 * i], decoded.palette[3 * i + 1],
                               decoded.palette[3 * i + 2]}),
                          entry)
                    << "entry " << i;
            }
            ASSERT_EQ(decoded.raw.size(), 37u * 11u);
            for (std::int32_t y = 0; y < 11; ++y) {
                for (std::int32_t x = 0; x < 37; ++x) {
                    ASSERT_EQ(decoded.raw[static_cast<std::size_t>(y * 37 + x)],
                              bitmap.PixelValue(x, y));
                }
            }
        } else {
            EXPECT_EQ(decoded.mode, "RGB");
        }
        // Pillow widens 5- and 6-bit channels by v * 255 / 31 (rounded down), one below ours at
        // most.
        const bool words = format == pf15bit || format == pf16bit;
        ExpectSameColours(bitmap, decoded.rgb, words ? 1 : 0);
    }
}

TEST_F(BmpPillow, ItsIndexedFilesLoadAsEightBitWithTheirPalettes) {
    std::mt19937 random(31);
    for (std::size_t colours : {16u, 256u}) {
        SCOPED_TRACE(colours);
        Bytes indices(23 * 9);
        for (auto& index : indices) {
            index = static_cast<std::uint8_t>(random() % colours);
        }
        Bytes palette;
        for (const Rgb& c : RandomPalette(colours, random)) {
            palette.insert(palette.end(), {c.r, c.g, c.b});
        }
        const Bitmap bitmap = Bitmap::LoadFromFile(PillowWrite("P", 23, 9, indices, palette));
        ASSERT_EQ(bitmap.Format(), pf8bit);
        ASSERT_EQ(bitmap.Width(), 23);
        ASSERT_EQ(bitmap.Height(), 9);
        for (std::size_t i = 0; i < colours; ++i) {
            EXPECT_EQ(bitmap.Palette()[i],
                      (Rgb{palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]}));
        }
        for (std::int32_t y = 0; y < 9; ++y) {
            for (std::int32_t x = 0; x < 23; ++x) {
                ASSERT_EQ(bitmap.PixelValue(x, y), indices[static_cast<std::size_t>(y * 23 + x)]);
            }
        }
    }
}

TEST_F(BmpPillow, ItsGreyRgbAndRgbaFilesLoad) {
    std::mt19937 random(8);
    const auto randomBytes = [&](std::size_t count) {
        Bytes bytes(count);
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        return bytes;
    };
    const Bytes grey = randomBytes(15 * 4);
    const Bitmap l = Bitmap::LoadFromFile(PillowWrite("L", 15, 4, grey));
    EXPECT_EQ(l.Format(), pf8bit);
    EXPECT_EQ(l.PixelColor(3, 2), (Rgb{grey[2 * 15 + 3], grey[2 * 15 + 3], grey[2 * 15 + 3]}));

    const Bytes rgb = randomBytes(15 * 4 * 3);
    const Bitmap colour = Bitmap::LoadFromFile(PillowWrite("RGB", 15, 4, rgb));
    EXPECT_EQ(colour.Format(), pf24bit);
    ExpectSameColours(colour, rgb, 0);

    const Bytes rgba = randomBytes(15 * 4 * 4);
    const Bitmap alpha = Bitmap::LoadFromFile(PillowWrite("RGBA", 15, 4, rgba));
    EXPECT_EQ(alpha.Format(), pf32bit);
    EXPECT_EQ(alpha.PixelValue(14, 3) >> 24, rgba[(3 * 15 + 14) * 4 + 3]);
    EXPECT_EQ(alpha.PixelColor(14, 3), (Rgb{rgba[(3 * 15 + 14) * 4], rgba[(3 * 15 + 14) * 4 + 1],
                                            rgba[(3 * 15 + 14) * 4 + 2]}));
}

// Two-colour pictures, which editors save as 1-bit files, load as 4-bit bitmaps of two entries.
TEST_F(BmpPillow, ItsOneBitFilesLoadAsFourBit) {
    const std::string path = PillowWrite("1", 9, 2, Bytes{0xA5, 0x80, 0x5A, 0x00});
    int fileBits = 0;
    const Bitmap bitmap = Bitmap::LoadFromFile(path, &fileBits);
    EXPECT_EQ(fileBits, 1);
    ASSERT_EQ(bitmap.Format(), pf4bit);
    ASSERT_EQ(bitmap.Width(), 9);
    EXPECT_EQ(bitmap.Palette()[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(bitmap.Palette()[1], (Rgb{255, 255, 255}));
    EXPECT_EQ(bitmap.Palette()[2], (Rgb{0, 0, 0}));
    const std::uint32_t rows[2] = {0xA580, 0x5A00};
    for (std::int32_t y = 0; y < 2; ++y) {
        for (std::int32_t x = 0; x < 9; ++x) {
            EXPECT_EQ(bitmap.PixelValue(x, y), (rows[y] >> (15 - x)) & 1) << x << "," << y;
        }
    }
}

TEST_F(BmpPillow, DecodesOurHandMadeVariantsLikeWeDo) {
    // Pillow's own RLE reader mishandles moves and odd RLE4 literal runs, so these streams have
    // neither.
    std::vector<std::pair<std::string, Bytes>> files;
    BmpFields f;
    f.width = 6;
    f.height = 3;
    f.compression = 1;
    files.push_back({"RLE8", MakeBmp(f, PaletteBytes(TestPalette(256)),
                                     {
                                         0x03, 0x05,                   // three pixels of 5
                                         0x00, 0x03, 0x07, 0x08, 0x09, // literal run 7 8 9
                                         0x00,                         // padding
                                         0x00, 0x00,                   // end of row
                                         0x06, 0x02, 0x00, 0x00,       // six of 2, end of row
                                         0x02, 0x0B,                   // two of 11
                                         0x00, 0x00,                   // end of row
                                         0x00, 0x01,                   // end of picture
                                     })});
    f.bits = 4;
    f.compression = 2;
    files.push_back({"RLE4", MakeBmp(f, PaletteBytes(TestPalette(16)),
                                     {
                                         0x05, 0x1F,             // 1 F 1 F 1
                                         0x00, 0x00,             // end of row
                                         0x00, 0x04, 0xAB, 0xCD, // literal run A B C D
                                         0x02, 0x77,             // 7 7
                                         0x00, 0x00,             // end of row
                                         0x03, 0x99,             // 9 9 9
                                         0x00, 0x00,             // end of row
                                         0x00, 0x01,             // end of picture
                                     })});
    BmpFields core;
    core.headerSize = 12;
    core.width = 3;
    core.height = 2;
    core.bits = 8;
    files.push_back(
        {"core", MakeBmp(core, PaletteBytes(TestPalette(256), true), {7, 8, 9, 0, 1, 2, 255, 0})});
    BmpFields top;
    top.width = 5;
    top.height = -2;
    top.bits = 4;
    files.push_back({"top-down 4-bit", MakeBmp(top, PaletteBytes(TestPalette(16)),
                                               {0x12, 0x34, 0x50, 0, 0xFE, 0xDC, 0xB0, 0})});
    BmpFields v4;
    v4.headerSize = 108;
    v4.width = 3;
    v4.height = 1;
    v4.bits = 16;
    v4.compression = 3;
    v4.masks[0] = 0xF800;
    v4.masks[1] = 0x07E0;
    v4.masks[2] = 0x001F;
    files.push_back({"V4 5-6-5", MakeBmp(v4, {}, {0x1F, 0xF8, 0xE0, 0x07, 0x55, 0xAA, 0, 0})});
    BmpFields v5;
    v5.headerSize = 124;
    v5.width = 2;
    v5.height = 2;
    v5.bits = 32;
    v5.compression = 3;
    v5.masks[0] = 0x00FF0000;
    v5.masks[1] = 0x0000FF00;
    v5.masks[2] = 0x000000FF;
    files.push_back(
        {"V5 32-bit", MakeBmp(v5, {}, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0})});

    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const std::string path = m_dir / "hand.bmp";
        WriteFile(path, bytes);
        const Bitmap ours = Bitmap::LoadFromFile(path);
        const Decoded theirs = PillowRead(path);
        ASSERT_EQ(theirs.width, ours.Width());
        ASSERT_EQ(theirs.height, ours.Height());
        ExpectSameColours(ours, theirs.rgb, name == "V4 5-6-5" ? 1 : 0);
    }
}

} // namespace
} // namespace eitool
