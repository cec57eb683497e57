#include "images/ExtendedImage.h"

#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Refusal.h"
#include "common/RunError.h"
#include "images/Bitmap.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace eitool {
namespace {

using samples::BuildExtendedImage;
using samples::MakeSampleTexture;
using samples::SampleTexture;
using testing::RecordingSurface;
using testing::TempDir;

constexpr Rgb kAdded{1, 2, 3}; // in no sample palette

std::vector<std::uint8_t> PaletteOf(int entries, Rgb colour) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < entries; ++i) {
        bytes.insert(bytes.end(), {colour.r, colour.g, colour.b, static_cast<std::uint8_t>(i)});
    }
    return bytes;
}

TEST(ExtendedImagePalette, SecondAndThirdRunsOfEightAreExchanged) {
    std::vector<std::uint8_t> palette(1024, 0);
    for (int i = 8; i < 16; ++i) {
        palette[4 * i] = 255; // red
    }
    for (int i = 16; i < 24; ++i) {
        palette[4 * i + 1] = 255; // green
    }
    palette[4 * 40] = 7; // entry 40 (group 5) moves to 48
    ReorderClut(palette, 256, 4);
    const std::vector<Rgb> colours = MakePalette(256, palette);
    for (int i = 8; i < 16; ++i) {
        EXPECT_EQ(colours[i], (Rgb{0, 255, 0})) << i;
    }
    for (int i = 16; i < 24; ++i) {
        EXPECT_EQ(colours[i], (Rgb{255, 0, 0})) << i;
    }
    EXPECT_EQ(colours[48].r, 7);
    EXPECT_EQ(colours[40].r, 0);
}

TEST(ExtendedImagePalette, OneSharedColourBecomesAGreyRampOfAlpha) {
    std::vector<std::uint8_t> black = PaletteOf(256, Rgb{0, 0, 0});
    ReorderClut(black, 256, 4);
    const std::vector<Rgb> grey = MakePalette(256, black);
    EXPECT_EQ(grey[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(grey[5], (Rgb{5, 5, 5}));
    EXPECT_EQ(grey[8], (Rgb{16, 16, 16})); // runs of eight were exchanged first
    EXPECT_EQ(grey[255], (Rgb{255, 255, 255}));

    std::vector<std::uint8_t> mixed = PaletteOf(16, Rgb{10, 20, 30});
    mixed[4 * 9 + 2] = 31;
    const std::vector<std::uint8_t> before = mixed;
    ReorderClut(mixed, 16, 4);
    EXPECT_EQ(mixed, before); // 16 entries keep their order, and the colours stay
}

TEST(ExtendedImagePalette, SwapNibblesExchangesHalves) {
    std::uint8_t row[] = {0x12, 0xAB, 0xF0};
    SwapNibbles(row, 2);
    EXPECT_EQ(row[0], 0x21);
    EXPECT_EQ(row[1], 0xBA);
    EXPECT_EQ(row[2], 0xF0);
}

class ExtendedImageTest : public ::testing::Test {
protected:
    ExtendedImageTest() { state.TargetDirectory = tmp / "out"; }
    void SetUp() override { std::filesystem::create_directories(tmp / "out"); }

    std::string Write(const std::string& name, const SampleTexture& texture) {
        const std::string path = tmp / name;
        WriteWholeFile(path, BuildExtendedImage(texture));
        return path;
    }
    // Extracts path as a run of its own.
    void Extract(const std::string& path) {
        state.ResultLog.clear();
        state.WrittenPieces.clear();
        ExtractExtendedImage(run, path);
    }
    // Replays the extraction's lines for source into outputPath; returns the inserter's result.
    std::int32_t Insert(const std::string& source, const TextLines& lines,
                        const std::string& outputPath) {
        state.ReplayList = LineBuffer(lines);
        state.SourcePath = source;
        state.SourceStream = std::make_unique<FileStream>(FileStream::Open(source, omReadWrite));
        const std::int32_t result = InsertExtendedImage(run, outputPath, 0);
        state.SourceStream.reset();
        return result;
    }

    TempDir tmp;
    RunState state;
    RecordingSurface surface;
    RunContext run{state, surface};
};

TEST_F(ExtendedImageTest, SingleLevelWithoutTableComesFromTheHeader) {
    SampleTexture texture = MakeSampleTexture(8, 64, 64, 1);
    texture.levelTable = false;
    const std::string path = Write("logo.bmpx", texture);
    Extract(path);
    ASSERT_EQ(state.ResultLog, (TextLines{tmp / "out/logo_mip_00.bmp"}));
    EXPECT_EQ(surface.messages.front(), "Processing logo.bmpx...");
    const Bitmap level = Bitmap::LoadFromFile(state.ResultLog[0]);
    ASSERT_EQ(level.Format(), pf8bit);
    ASSERT_EQ(level.Width(), 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(level.PixelValue(x, y), texture.levels[0].linear[y * 64 + x]);
        }
    }
}

TEST_F(ExtendedImageTest, SmallLevelsGiveNullLinesInTheirPlaces) {
    SampleTexture texture = MakeSampleTexture(4, 64, 8, 2); // 64, 32, 16, 8
    texture.levels[1].linear[0] = 0x3C; // two different pixels, where the picture has its frame
    const std::string path = Write("tex.a.tgax", texture);
    Extract(path);
    EXPECT_EQ(state.ResultLog,
              (TextLines{tmp / "out/tex_mip_00.bmp", tmp / "out/tex_mip_01.bmp", "NULL", "NULL"}));
    // The left pixel of a pair is the low nibble in the file and the high nibble in the BMP.
    const Bitmap level = Bitmap::LoadFromFile(state.ResultLog[1]);
    ASSERT_EQ(level.Format(), pf4bit);
    EXPECT_EQ(level.PixelValue(0, 0), texture.levels[1].linear[0] & 0x0Fu);
    EXPECT_EQ(level.PixelValue(1, 0), texture.levels[1].linear[0] >> 4);
    EXPECT_EQ(level.ScanLine(0)[0] >> 4, texture.levels[1].linear[0] & 0x0F);
    EXPECT_EQ(surface.progressHistory.back(), 75);
}

TEST_F(ExtendedImageTest, LevelsAreNamedInHexAndUnconvertibleSizesAreReported) {
    SampleTexture texture = MakeSampleTexture(8, 32, 32, 3);
    for (int i = 0; i < 10; ++i) {
        texture.levels.push_back(texture.levels[0]);
    }
    texture.levels[3] = samples::TextureLevel{48, 48, std::vector<std::uint8_t>(48 * 48, 1)};
    // Levels of width or height 0 are small levels like any of 16 pixels or less: no report.
    texture.levels[4] = samples::TextureLevel{0, 64, {}};
    texture.levels[5] = samples::TextureLevel{64, 0, {}};
    const std::string path = Write("noext", texture);
    Extract(path);
    ASSERT_EQ(state.ResultLog.size(), 11u);
    EXPECT_EQ(state.ResultLog[10], tmp / "out/noext_mip_0A.bmp");
    EXPECT_EQ(state.ResultLog[3], "NULL");
    EXPECT_EQ(state.ResultLog[4], "NULL");
    EXPECT_EQ(state.ResultLog[5], "NULL");
    EXPECT_EQ(surface.results, (std::vector<std::string>{path + " has unsupported size!"}));
}

TEST_F(ExtendedImageTest, WrongImageCountOrPaletteSizeIsAResultsLine) {
    SampleTexture texture = MakeSampleTexture(8, 32, 32, 4);
    std::vector<std::uint8_t> bytes = BuildExtendedImage(texture);
    for (std::uint8_t count : {0, 2}) {
        bytes[30] = count;
        WriteWholeFile(tmp / "count.bmpx", bytes);
        surface.results.clear();
        Extract(tmp / "count.bmpx");
        EXPECT_EQ(surface.results, (std::vector<std::string>{(tmp / "count.bmpx") +
                                                             " contain more than one image!"}));
        EXPECT_TRUE(state.ResultLog.empty());
    }
    bytes[30] = 1;
    bytes[12] = 0;
    bytes[13] = 2; // palette size 512
    WriteWholeFile(tmp / "pal.bmpx", bytes);
    surface.results.clear();
    Extract(tmp / "pal.bmpx");
    EXPECT_EQ(surface.results,
              (std::vector<std::string>{(tmp / "pal.bmpx") + " have unknown pixel format!"}));
}

// A damaged header, level table or palette refuses the file (a results line, and the run goes
// on); level pixels past the end end the run, as a short read of them would.
TEST_F(ExtendedImageTest, MalformedFilesAreRefusedBeforeAnythingIsWritten) {
    const SampleTexture texture = MakeSampleTexture(8, 64, 32, 5);
    const std::vector<std::uint8_t> good = BuildExtendedImage(texture);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool endsRun;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"short header", std::vector<std::uint8_t>(good.begin(), good.begin() + 20), false});
    cases.push_back(
        {"table past end", std::vector<std::uint8_t>(good.begin(), good.begin() + 40), false});
    cases.push_back(
        {"last level cut", std::vector<std::uint8_t>(good.begin(), good.end() - 1), true});
    std::vector<std::uint8_t> farPalette = good;
    farPalette[11] = 0x7F; // palette offset far beyond the end
    cases.push_back({"palette past end", farPalette, false});
    std::vector<std::uint8_t> farLevel = good;
    farLevel[32 + 3] = 0xFF; // level 0 data offset near 4 GiB
    cases.push_back({"level offset past end", farLevel, true});
    std::vector<std::uint8_t> manyMips = good;
    manyMips[31] = 255;
    manyMips.resize(2000); // a table of 256 entries needs 2080 bytes
    cases.push_back({"level table of 256 entries", manyMips, false});

    for (const Case& c : cases) {
        const std::string path = tmp / "bad.bmpx";
        WriteWholeFile(path, c.bytes);
        if (c.endsRun) {
            EXPECT_THROW(Extract(path), CorruptFileError) << c.what;
        } else {
            EXPECT_THROW(Extract(path), Refusal) << c.what;
        }
        EXPECT_FALSE(FileExists(tmp / "out/bad_mip_00.bmp")) << c.what;
    }
}

// 256 levels over one 1 MiB block would write 256 MiB of BMP files from a file of 1 MiB: the
// image is refused from its level table before any level is written.
TEST_F(ExtendedImageTest, LevelsSharingOneBlockBeyondTheOutputLimitAreRefused) {
    constexpr std::uint32_t kLevels = 256;
    constexpr std::uint32_t kTable = kLevels * 8;
    constexpr std::uint32_t kSide = 1024;
    std::vector<std::uint8_t> bytes(32 + kTable + 1024 + kSide * kSide, 0);
    StoreU32le(bytes, 8, kTable); // the palette follows the level table
    StoreU32le(bytes, 12, 1024);
    bytes[30] = 1;
    bytes[31] = kLevels - 1;
    for (std::uint32_t i = 0; i < kLevels; ++i) {
        StoreU32le(bytes, 32 + 8 * i, kTable + 1024);
        StoreU16le(bytes, 32 + 8 * i + 4, kSide);
        StoreU16le(bytes, 32 + 8 * i + 6, kSide);
    }
    const std::string path = tmp / "shared.bmpx";
    WriteWholeFile(path, bytes);
    Extract(path);
    EXPECT_EQ(surface.results, std::vector<std::string>{
                                   path + " would write more than 64 times its size; refused!"});
    EXPECT_TRUE(state.ResultLog.empty());
    EXPECT_TRUE(std::filesystem::is_empty(tmp / "out"));
}

TEST_F(ExtendedImageTest, UnchangedLevelsGiveAByteIdenticalCopy) {
    for (int depth : {4, 8}) {
        const SampleTexture texture = MakeSampleTexture(depth, 256, 8, 10 + depth);
        const std::string path = Write("same" + std::to_string(depth) + ".bmpx", texture);
        Extract(path);
        const std::string output = tmp / "copy.bmpx";
        const std::int32_t result = Insert(path, state.ResultLog, output);
        EXPECT_EQ(result, static_cast<std::int32_t>(texture.levels.size()));
        EXPECT_EQ(ReadWholeFile(output), ReadWholeFile(path)) << depth;
        EXPECT_FALSE(FileExists(output + ".eitool-new"));
    }
}

TEST_F(ExtendedImageTest, EditedPixelsGoInAndTheEditedPaletteDoesNot) {
    const SampleTexture texture = MakeSampleTexture(8, 64, 32, 20);
    const std::string path = Write("edit.bmpx", texture);
    Extract(path);
    Bitmap level = Bitmap::LoadFromFile(state.ResultLog[1]);
    level.SetPixelValue(3, 4, (level.PixelValue(3, 4) + 1) & 0xFF);
    std::vector<Rgb> palette = level.Palette();
    palette[0] = Rgb{1, 2, 3};
    level.SetPalette(palette);
    level.SaveToFile(state.ResultLog[1]);

    const std::string output = tmp / "out/edit.bmpx";
    Insert(path, state.ResultLog, output);
    const std::vector<std::uint8_t> before = ReadWholeFile(path);
    const std::vector<std::uint8_t> after = ReadWholeFile(output);
    ASSERT_EQ(before.size(), after.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        differing += before[i] != after[i];
    }
    EXPECT_EQ(differing, 1u);
    // Extracting the patched copy, over the edited level, shows the edit at the same place.
    run.confirmReplace = [] { return true; };
    Extract(output);
    EXPECT_EQ(Bitmap::LoadFromFile(state.ResultLog[1]).PixelValue(3, 4), level.PixelValue(3, 4));
}

TEST_F(ExtendedImageTest, WrongDepthOrSizeLeavesTheLevelAndIsReported) {
    const SampleTexture texture = MakeSampleTexture(8, 64, 32, 30);
    const std::string path = Write("chk.bmpx", texture);
    Extract(path);
    // Pictures in a colour of neither palette.
    Bitmap four;
    four.SetPixelFormat(pf4bit);
    four.SetPalette({kAdded});
    four.SetSize(64, 64);
    four.SaveToFile(state.ResultLog[0]);
    Bitmap wide;
    wide.SetPixelFormat(pf8bit);
    wide.SetSize(33, 32);
    wide.SaveToFile(state.ResultLog[1]);
    const std::string output = tmp / "out/chk.bmpx";
    EXPECT_EQ(Insert(path, state.ResultLog, output), 2);
    EXPECT_EQ(surface.results,
              (std::vector<std::string>{state.ResultLog[0] + " not 8 bit!",
                                        state.ResultLog[1] + " has invalid size!"}));
    EXPECT_EQ(ReadWholeFile(output), ReadWholeFile(path));

    const SampleTexture small = MakeSampleTexture(4, 32, 32, 31);
    const std::string smallPath = Write("four.bmpx", small);
    Bitmap eight;
    eight.SetPixelFormat(pf8bit);
    eight.SetPalette({kAdded});
    eight.SetSize(32, 32);
    eight.SaveToFile(tmp / "eight.bmp");
    surface.results.clear();
    Insert(smallPath, {tmp / "eight.bmp"}, tmp / "out/four.bmpx");
    EXPECT_EQ(surface.results, (std::vector<std::string>{(tmp / "eight.bmp") + " not 4 bit!"}));
}

// Pictures as editors save them: the level's own colours in another palette order or at another
// depth go in by their colours; colours outside the palette go in by their indices at the level's
// depth and are refused at any other.
namespace colours {

// The picture with its palette in reverse order and its indices following their colours.
Bitmap Reordered(const Bitmap& level) {
    const std::vector<Rgb> palette = level.Palette();
    const auto last = static_cast<std::uint32_t>(palette.size() - 1);
    Bitmap out = level;
    out.SetPalette(std::vector<Rgb>(palette.rbegin(), palette.rend()));
    for (std::int32_t y = 0; y < level.Height(); ++y) {
        for (std::int32_t x = 0; x < level.Width(); ++x) {
            out.SetPixelValue(x, y, last - level.PixelValue(x, y));
        }
    }
    return out;
}

// The picture at another depth: indexed formats keep palette and indices, others the colours.
Bitmap AtFormat(const Bitmap& level, PixelFormat format, std::int32_t width = 0) {
    Bitmap out;
    out.SetPixelFormat(format);
    out.SetPalette(level.Palette());
    out.SetSize(width == 0 ? level.Width() : width, level.Height());
    for (std::int32_t y = 0; y < level.Height(); ++y) {
        for (std::int32_t x = 0; x < level.Width(); ++x) {
            if (format == pf4bit || format == pf8bit) {
                out.SetPixelValue(x, y, level.PixelValue(x, y));
            } else {
                out.SetPixelColor(x, y, level.PixelColor(x, y));
            }
        }
    }
    return out;
}

// The picture with the palette entry of pixel 0, 0 changed to a colour of no level palette.
Bitmap WithNewColourFor(const Bitmap& level) {
    std::vector<Rgb> palette = level.Palette();
    palette[level.PixelValue(0, 0)] = kAdded;
    Bitmap out = level;
    out.SetPalette(palette);
    return out;
}

} // namespace colours

TEST_F(ExtendedImageTest, EditorsPalettesAndDepthsGoInByTheirColours) {
    // The 16-colour texture has the colour of entry 5 at entry 9 as well; pixels 0 and 1 of its
    // level use entries 9 and 5.
    SampleTexture four = MakeSampleTexture(4, 64, 64, 60);
    SampleTexture eight = MakeSampleTexture(8, 64, 64, 61);
    four.levelTable = eight.levelTable = false; // one level is described by the header
    std::copy_n(four.palette.begin() + 4 * 5, 3, four.palette.begin() + 4 * 9);
    four.levels[0].linear[0] = 0x59;
    const std::string fourPath = Write("four.bmpx", four);
    const std::string eightPath = Write("eight.bmpx", eight);
    Extract(fourPath);
    const Bitmap fourLevel = Bitmap::LoadFromFile(state.ResultLog[0]);
    Extract(eightPath);
    const Bitmap eightLevel = Bitmap::LoadFromFile(state.ResultLog[0]);
    ASSERT_EQ(fourLevel.PixelValue(0, 0), 9u);

    using namespace colours;
    struct Case {
        const char* what;
        int depth;
        std::function<Bitmap(const Bitmap&)> edit;
        std::string result; // the results line after the BMP's path, if any
        bool notice;        // indices taken as they are, with a notice
    };
    const std::vector<Case> cases = {
        {"unchanged, doubled colour", 4, [](const Bitmap& b) { return b; }, "", false},
        {"reordered 256 colours", 8, Reordered, "", false},
        {"reordered 16 colours", 4, Reordered, "", false},
        {"8-bit file for 16 colours", 4, [](const Bitmap& b) { return AtFormat(b, pf8bit); }, "",
         false},
        {"24-bit file", 8, [](const Bitmap& b) { return AtFormat(b, pf24bit); }, "", false},
        {"32-bit file for 16 colours", 4, [](const Bitmap& b) { return AtFormat(b, pf32bit); }, "",
         false},
        {"16-bit file", 8, [](const Bitmap& b) { return AtFormat(b, pf16bit); }, "", false},
        {"15-bit file for 16 colours", 4, [](const Bitmap& b) { return AtFormat(b, pf15bit); }, "",
         false},
        {"added colour, same depth", 8, WithNewColourFor, "", true},
        {"added colour, 8-bit file for 16 colours", 4,
         [](const Bitmap& b) { return WithNewColourFor(AtFormat(b, pf8bit)); }, " not 4 bit!",
         false},
        {"added colour, 24-bit file, wrong size", 8,
         [](const Bitmap& b) {
             Bitmap out = AtFormat(b, pf24bit, b.Width() + 1);
             out.SetPixelColor(0, 0, kAdded);
             return out;
         },
         " not 8 bit!", false},
        {"palette colours, wrong size", 8,
         [](const Bitmap& b) { return AtFormat(b, pf24bit, b.Width() + 1); }, " has invalid size!",
         false},
    };
    for (const Case& c : cases) {
        const Bitmap& level = c.depth == 4 ? fourLevel : eightLevel;
        const std::string& source = c.depth == 4 ? fourPath : eightPath;
        const std::string edited = tmp / "edited.bmp";
        c.edit(level).SaveToFile(edited);
        surface.results.clear();
        surface.notices.clear();
        const std::string output = tmp / "out/patched.bmpx";
        Insert(source, {edited}, output);
        EXPECT_EQ(surface.results, c.result.empty() ? std::vector<std::string>{}
                                                    : std::vector<std::string>{edited + c.result})
            << c.what;
        EXPECT_EQ(surface.notices.size(), c.notice ? 1u : 0u) << c.what;
        if (c.notice && !surface.notices.empty()) {
            EXPECT_EQ(surface.notices[0], edited + ": colours outside the texture's palette were "
                                                   "found; the indices were used as they are");
        }
        EXPECT_EQ(ReadWholeFile(output), ReadWholeFile(source)) << c.what;
    }
}

TEST_F(ExtendedImageTest, ReturnValuesFollowTheBlock) {
    const SampleTexture texture = MakeSampleTexture(8, 128, 32, 40); // 128, 64, 32
    const std::string path = Write("r.bmpx", texture);
    Extract(path);
    const TextLines extracted = state.ResultLog;
    const std::string output = tmp / "out/r.bmpx";

    // All NULL, then the next block: nothing found, the line before the "#Format:" line.
    EXPECT_EQ(Insert(path, {"NULL", "NULL", "NULL", "#Format: BTE", "#Source: x"}, output), 2);
    EXPECT_FALSE(FileExists(output));
    // Nothing after the "#Source:" line at all.
    EXPECT_EQ(Insert(path, {}, output), -1);
    EXPECT_FALSE(FileExists(output));
    // Three levels with the second line NULL: L + 3.
    EXPECT_EQ(Insert(path, {extracted[0], "NULL", extracted[2], "#Format: BTE"}, output), 3);
    EXPECT_EQ(ReadWholeFile(output), ReadWholeFile(path));
    // A block cut short leaves the remaining levels alone.
    EXPECT_EQ(Insert(path, {extracted[0]}, output), 1);
}

TEST_F(ExtendedImageTest, TheSourceItselfIsNeverTheOutput) {
    const SampleTexture texture = MakeSampleTexture(8, 32, 32, 50);
    const std::string path = Write("own.bmpx", texture);
    Extract(path);
    const std::vector<std::uint8_t> original = ReadWholeFile(path);
    Insert(path, state.ResultLog, path);
    EXPECT_EQ(ReadWholeFile(path), original);
    ASSERT_EQ(surface.results.size(), 1u);
    EXPECT_NE(surface.results[0].find("is the source itself"), std::string::npos);
}

} // namespace
} // namespace eitool
