#include "images/Targa.h"

#include "common/FileStream.h"
#include "common/RunError.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace eitool {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TempDir;

const Bytes kFooter = {0,   0,   0,   0,   0,   0,   0,   0,   'T', 'R', 'U', 'E', 'V',
                       'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};

struct TgaHeader {
    std::uint8_t type = 2;
    std::uint8_t depth = 24;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t descriptor = 0;
    std::uint8_t idLength = 0;
    std::uint16_t mapLength = 0; // with entries of 24 bits
};

// A TGA file: the header, idLength bytes of ID, the colour map, then payload.
Bytes MakeTga(const TgaHeader& h, const Bytes& payload) {
    Bytes out = {h.idLength,
                 std::uint8_t(h.mapLength != 0 ? 1 : 0), // colour map type
                 h.type,
                 0,
                 0, // first entry
                 std::uint8_t(h.mapLength),
                 std::uint8_t(h.mapLength >> 8),
                 std::uint8_t(h.mapLength != 0 ? 24 : 0), // entry bits
                 0,
                 0,
                 0,
                 0, // x and y origin
                 std::uint8_t(h.width),
                 std::uint8_t(h.width >> 8),
                 std::uint8_t(h.height),
                 std::uint8_t(h.height >> 8),
                 h.depth,
                 h.descriptor};
    out.insert(out.end(), std::size_t{h.idLength} + h.mapLength * 3u, 0x5A);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes RowBytes(TTarga& targa, std::int32_t bitmapRow) {
    const Bitmap& bitmap = *targa.Picture();
    const std::uint8_t* line = bitmap.ScanLine(bitmapRow);
    return Bytes(line, line + std::size_t(bitmap.Width()) * ((targa.GetDepth() + 7) / 8));
}

TEST(TargaState, ConstructionResetAndSaveWriteTheDefaultHeaderAndFooter) {
    TTarga targa;
    EXPECT_EQ(targa.Picture(), nullptr);
    EXPECT_EQ(targa.GetScanLine(0), nullptr);
    EXPECT_FALSE(targa.ResetImage);
    EXPECT_FALSE(targa.RowsFromTop());
    targa.SetWidth(100); // no bitmap: nothing changes
    EXPECT_EQ(targa.Width(), 256);
    EXPECT_EQ(Bytes(targa.Footer().begin(), targa.Footer().end()), kFooter);

    targa.Reset();
    ASSERT_NE(targa.Picture(), nullptr);
    EXPECT_EQ(targa.Picture()->Format(), pf32bit);
    TempDir dir;
    targa.SaveToFile(dir / "a.tga");
    const Bytes file = ReadWholeFile(dir / "a.tga");
    const Bytes header = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0x20, 8};
    ASSERT_EQ(file.size(), 18u + 256 * 256 * 4 + 26);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 18), header);
    EXPECT_EQ(Bytes(file.end() - 26, file.end()), kFooter);
    EXPECT_TRUE(HasTargaFooter(file));
}

TEST(TargaState, SavingWithoutBitmapWritesABlankImageOfTheHeadersSize) {
    TempDir dir;
    TTarga targa;
    targa.SetDepth(24);
    targa.SetWidth(2);
    targa.SetHeight(1);
    TTarga fresh;
    fresh.SaveToFile(dir / "blank.tga");
    EXPECT_EQ(ReadWholeFile(dir / "blank.tga").size(), 18u + 256 * 256 * 4 + 26);

    targa.SaveToFile(dir / "two.tga");
    const Bytes file = ReadWholeFile(dir / "two.tga");
    ASSERT_EQ(file.size(), 50u);
    EXPECT_EQ(Bytes(file.end() - 18, file.end()), Bytes(kFooter.begin() + 8, kFooter.end()));
    targa.SetDepth(8);
    EXPECT_THROW(targa.SaveToFile(dir / "eight.tga"), FileWriteError);
}

TEST(TargaState, PropertiesAreStoredAndLoadedLikeAForm) {
    TTarga targa(nullptr, kMainFormTarga);
    EXPECT_EQ(WriteProperties(targa), kMainFormTarga);
    ASSERT_NE(targa.Picture(), nullptr);
    EXPECT_EQ(targa.Picture()->Width(), 256);
    EXPECT_EQ(targa.Picture()->Format(), pf32bit);
    EXPECT_EQ(TTarga(nullptr, "").Picture(), nullptr);
    // NOTE: the sizes come before ColorDepth, while there is no bitmap, so they are lost.
    TTarga sized(nullptr, "ResetImage = True\nWidth = 100\nHeight = 50\nColorDepth = 24\n");
    EXPECT_TRUE(sized.ResetImage);
    EXPECT_EQ(sized.Picture()->Width(), 256);
    EXPECT_EQ(sized.Picture()->Format(), pf24bit);
}

TEST(TargaPixels, ReverseColorsExchangesRedAndBlueAtEveryDepth) {
    struct Case {
        std::uint16_t depth;
        Bytes before;
        Bytes after;
    };
    const Case cases[] = {
        {32, {1, 2, 3, 4}, {3, 2, 1, 4}}, {24, {1, 2, 3}, {3, 2, 1}},
        {16, {0x00, 0xF8}, {0x1F, 0x00}}, // 0xF800 -> 0x001F
        {16, {0xE0, 0x07}, {0xE0, 0x07}}, // green stays
        {15, {0x00, 0x7C}, {0x1F, 0x00}}, // 0x7C00 -> 0x001F
        {15, {0x00, 0x80}, {0x00, 0x80}}, // bit 15 stays
    };
    for (const Case& c : cases) {
        TTarga targa;
        targa.SetDepth(c.depth);
        targa.SetWidth(1);
        targa.SetHeight(1);
        std::copy(c.before.begin(), c.before.end(), targa.GetScanLine(0));
        targa.ReverseColors();
        EXPECT_EQ(RowBytes(targa, 0), c.after) << c.depth;
    }
    TTarga empty;
    empty.LoadFromBytes(MakeTga({2, 24, 0, 2}, {}), "empty.tga");
    empty.ReverseColors(); // a width of 0 changes nothing
    EXPECT_EQ(empty.Picture()->Width(), 0);
    EXPECT_EQ(empty.Picture()->Height(), 2);
}

TEST(TargaPixels, ScanLinesCountFromTheBottomAndDepthChangesKeepThePictureOnRequest) {
    TTarga targa;
    targa.SetDepth(32);
    targa.SetWidth(2);
    targa.SetHeight(3);
    EXPECT_EQ(targa.GetScanLine(0), targa.Picture()->ScanLine(2));
    EXPECT_EQ(targa.GetScanLine(2), targa.Picture()->ScanLine(0));
    EXPECT_EQ(targa.GetScanLine(3), nullptr);
    targa.Picture()->SetPixelColor(1, 2, Rgb{10, 20, 30});

    targa.ResetImage = true;
    targa.SetDepth(24);
    EXPECT_EQ(targa.Picture()->Format(), pf24bit);
    EXPECT_EQ(targa.Picture()->PixelColor(1, 2), (Rgb{10, 20, 30}));
    targa.ResetImage = false;
    targa.SetDepth(16);
    EXPECT_EQ(targa.Picture()->Format(), pf16bit);
    EXPECT_EQ(targa.Picture()->PixelColor(1, 2), Rgb{});
}

// A 2 x 2 picture, rows from the bottom as the bitmap keeps them: (1 2 3)(4 5 6) then
// (7 8 9)(10 11 12).
const Bytes kBottomRow = {1, 2, 3, 4, 5, 6};
const Bytes kTopRow = {7, 8, 9, 10, 11, 12};

TEST(TargaLoad, OwnFilesAndEveryOriginRunLengthAndPreambleReadTheSame) {
    TempDir dir;
    const auto cat = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        const char* what;
        TgaHeader header;
        Bytes payload;
    };
    const Case cases[] = {
        {"bottom-left", {2, 24, 2, 2, 0}, cat(kBottomRow, kTopRow)},
        {"top-left", {2, 24, 2, 2, 0x20}, cat(kTopRow, kBottomRow)},
        {"bottom-right", {2, 24, 2, 2, 0x10}, {4, 5, 6, 1, 2, 3, 10, 11, 12, 7, 8, 9}},
        {"ID and colour map", {2, 24, 2, 2, 0, 3, 2}, cat(kBottomRow, kTopRow)},
        // A raw packet of 3 pixels across the rows, then a run of 1.
        {"run-length", {10, 24, 2, 2, 0}, {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x80, 10, 11, 12}},
        {"run-length, top-left", {10, 24, 2, 2, 0x20}, {0x81, 7, 8, 9, 0x81, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        TTarga targa;
        targa.LoadFromBytes(MakeTga(c.header, c.payload), c.what);
        ASSERT_NE(targa.Picture(), nullptr) << c.what;
        EXPECT_EQ(targa.Picture()->Format(), pf24bit);
        const bool run = std::string(c.what) == "run-length, top-left";
        const Bytes bottom = run ? Bytes{1, 2, 3, 1, 2, 3} : kBottomRow;
        const Bytes top = run ? Bytes{7, 8, 9, 7, 8, 9} : kTopRow;
        EXPECT_EQ(RowBytes(targa, 0), bottom) << c.what;
        EXPECT_EQ(RowBytes(targa, 1), top) << c.what;
        // What it holds saves as a plain bottom-left file that loads back the same.
        targa.SaveToFile(dir / "out.tga");
        const Bytes saved = ReadWholeFile(dir / "out.tga");
        EXPECT_EQ(saved, cat(cat(MakeTga({2, 24, 2, 2, 8}, RowBytes(targa, 0)), RowBytes(targa, 1)),
                             kFooter))
            << c.what;
        TTarga again;
        again.LoadFromFile(dir / "out.tga");
        EXPECT_EQ(again.Header(), targa.Header());
        EXPECT_EQ(RowBytes(again, 1), RowBytes(targa, 1));
    }
}

TEST(TargaLoad, RefusesWhatItCannotReadAndKeepsItsPicture) {
    const Bytes rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const Bytes withId = MakeTga({2, 24, 0, 0, 0, 200}, {});
    struct Case {
        const char* what;
        Bytes file;
    };
    const Case cases[] = {
        {"short header", Bytes(17, 0)},
        {"colour-mapped", MakeTga({1, 8, 2, 2, 0, 0, 2}, Bytes(4, 0))},
        {"colour-mapped, run-length", MakeTga({9, 8, 2, 2}, Bytes(4, 0))},
        {"grey", MakeTga({3, 8, 2, 2}, Bytes(4, 0))},
        {"no image", MakeTga({0, 24, 2, 2}, rows)},
        {"depth 8", MakeTga({2, 8, 2, 2}, rows)},
        {"depth 64", MakeTga({2, 64, 2, 2}, rows)},
        {"rows cut short", MakeTga({2, 24, 2, 2}, Bytes(rows.begin(), rows.end() - 1))},
        {"ID past the end", Bytes(withId.begin(), withId.end() - 1)},
        {"run cut short", MakeTga({10, 24, 2, 2}, {0x83, 1, 2})},
        {"packets too few", MakeTga({10, 24, 2, 2}, {0x80, 1, 2, 3})},
        {"huge size", MakeTga({10, 32, 0xFFFF, 0xFFFF}, {0xFF, 1, 2, 3, 4})},
    };
    for (const Case& c : cases) {
        TTarga targa;
        targa.LoadFromBytes(MakeTga({2, 24, 2, 2}, rows), "good.tga");
        const auto header = targa.Header();
        EXPECT_THROW(targa.LoadFromBytes(c.file, "bad.tga"), CorruptFileError) << c.what;
        EXPECT_EQ(targa.Header(), header) << c.what;
        EXPECT_EQ(RowBytes(targa, 1), Bytes(rows.begin() + 6, rows.end())) << c.what;
    }
    TTarga targa;
    EXPECT_THROW(targa.LoadFromFile("/nonexistent/a.tga"), FileOpenError);
}

// TGA files written by real image libraries, Pillow (python3-pil) and ImageMagick (convert), read
// as Pillow reads them. Pillow writes a 5 x 3 picture whose pixel at (x, y from the top) is red
// x * 40, green y * 60, blue 200 - x * 10; ImageMagick converts its PNG copy.
// NOTE: ImageMagick 6 keeps the rows of a bottom-left file in top-down order, so Pillow, like
// us, reads its bottom-left files upside down.
TEST(TargaLoad, ReadsFilesOfPillowAndImageMagickAsPillowDoes) {
    TempDir dir;
    const std::string script = R"(import sys
from PIL import Image
d = sys.argv[2]
if sys.argv[1] == "make":
    im = Image.new("RGB", (5, 3))
    for y in range(3):
        for x in range(5):
            im.putpixel((x, y), (x * 40, y * 60, 200 - x * 10))
    im.save(d + "/src.png")
    im.save(d + "/pil.tga")
    im.save(d + "/pil-rle.tga", compression="tga_rle")
    im.save(d + "/pil-top.tga", orientation=1)
    im.convert("RGBA").save(d + "/pil-rgba.tga")
else:
    for name in sys.argv[3:]:
        open(d + "/" + name + ".rgb", "wb").write(Image.open(d + "/" + name).convert("RGB").tobytes())
)";
    testing::WriteText(dir / "pillow.py", script);
    const std::string python = "/usr/bin/python3 " + (dir / "pillow.py") + " ";
    if (std::system((python + "make " + dir.Path() + " >/dev/null 2>&1").c_str()) != 0) {
        GTEST_SKIP() << "Pillow is not installed (Debian package python3-pil)";
    }
    std::string files = "pil.tga pil-rle.tga pil-top.tga pil-rgba.tga";
    if (std::system(("cd " + dir.Path() +
                     " && convert src.png im.tga && convert src.png "
                     "-compress RLE im-rle.tga && convert src.png -orient TopLeft im-top.tga "
                     "2>/dev/null")
                        .c_str()) == 0) {
        files += " im.tga im-rle.tga im-top.tga";
    } else {
        std::printf("ImageMagick's convert is missing (Debian package imagemagick); only "
                    "Pillow's files are read\n");
    }
    ASSERT_EQ(std::system((python + "decode " + dir.Path() + " " + files).c_str()), 0);
    for (std::size_t at = 0; at < files.size();) {
        const std::size_t end = std::min(files.find(' ', at), files.size());
        const std::string name = files.substr(at, end - at);
        at = end + 1;
        TTarga targa;
        targa.LoadFromFile(dir / name);
        const Bitmap& picture = *targa.Picture();
        const Bytes pillow = ReadWholeFile(dir / (name + ".rgb"));
        ASSERT_EQ(picture.Width(), 5) << name;
        ASSERT_EQ(picture.Height(), 3) << name;
        ASSERT_EQ(pillow.size(), 45u) << name;
        EXPECT_EQ(picture.Format(), name == "pil-rgba.tga" ? pf32bit : pf24bit) << name;
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                const std::uint8_t* rgb = &pillow[std::size_t(y * 5 + x) * 3];
                const Rgb pattern{std::uint8_t(x * 40), std::uint8_t(y * 60),
                                  std::uint8_t(200 - x * 10)};
                EXPECT_EQ(picture.PixelColor(x, 2 - y), (Rgb{rgb[0], rgb[1], rgb[2]}))
                    << name << " " << x << "," << y;
                if (name.starts_with("pil")) {
                    EXPECT_EQ(picture.PixelColor(x, 2 - y), pattern) << name;
                }
            }
        }
    }
}

} // namespace
} // namespace eitool
