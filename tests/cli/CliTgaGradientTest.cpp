// End-to-end tests of `eitool tga` and `eitool gradient`: the real binary in a temporary
// directory.
#include "cli/RunEitool.h"
#include "images/Bitmap.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace eitool::testing {
namespace {

// A 2 x 1 picture at 24 bits: the header (image type, depth and descriptor as given), the pixels
// blue, green, red, then optionally the TGA 2.0 footer.
std::string Tga(char type, char descriptor, const std::string& pixels, bool footer) {
    std::string file = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, descriptor};
    file += pixels;
    if (footer) {
        file += std::string(8, '\0') + "TRUEVISION-XFILE." + std::string(1, '\0');
    }
    return file;
}

TEST(CliTga, InfoDescribesTheFileAndSwapRbWritesItFixed) {
    TempDir dir;
    // Run-length encoded, top-left: one run of two pixels blue 1, green 2, red 3.
    WriteText(dir / "in.tga", Tga(10, 0x20, std::string("\x81\x01\x02\x03", 4), false));
    const ProcessResult info = RunEitool({"tga", "info", "in.tga"}, InDirectory(dir.Path()));
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.out, "width: 2\nheight: 1\ndepth: 24\n"
                        "image type: 10 (true colour, run-length encoded)\n"
                        "descriptor: 0x20\norigin: top-left\nfooter: no\n");

    const ProcessResult swap =
        RunEitool({"tga", "swap-rb", "in.tga", "out.tga"}, InDirectory(dir.Path()));
    EXPECT_EQ(swap.exitCode, 0) << swap.err;
    EXPECT_EQ(swap.out, "wrote out.tga: 2 x 1, 24 bits, red and blue exchanged\n");
    EXPECT_EQ(ReadText(dir / "out.tga"), Tga(2, 8, "\x03\x02\x01\x03\x02\x01", true));
    const ProcessResult again = RunEitool({"tga", "info", "out.tga"}, InDirectory(dir.Path()));
    EXPECT_EQ(again.out, "width: 2\nheight: 1\ndepth: 24\nimage type: 2 (true colour)\n"
                         "descriptor: 0x08\norigin: bottom-left\nfooter: yes\n");
}

TEST(CliTga, MisuseAndBadFilesHaveTheirExitStatus) {
    TempDir dir;
    WriteText(dir / "mapped.tga", Tga(1, 0, "\x01\x02", false));
    WriteText(dir / "short.tga", Tga(2, 0, "\x01\x02\x03", false));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err; // a part of standard error
    };
    const Case cases[] = {
        {{"tga"}, 2, "A subcommand is required"},
        {{"tga", "info"}, 2, "FILE is required"},
        {{"tga", "swap-rb", "short.tga"}, 2, "OUT is required"},
        {{"tga", "info", "missing.tga"}, 3, "missing.tga"},
        {{"tga", "info", "mapped.tga"}, 3, "mapped.tga: colour-mapped TGA files are not supported"},
        {{"tga", "swap-rb", "short.tga", "out.tga"}, 3, "short.tga: the TGA file ends inside"},
        {{"tga", "swap-rb", "mapped.tga", "none/out.tga"}, 3, "mapped.tga"},
    };
    for (const Case& c : cases) {
        const ProcessResult result = RunEitool(c.args, InDirectory(dir.Path()));
        EXPECT_EQ(result.exitCode, c.status) << c.args.back() << result.err;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.tga"));
}

TEST(CliGradient, WritesTheComputedGradientAsA32BitBmp) {
    TempDir dir;
    const ProcessResult result = RunEitool({"gradient", "g.bmp", "--size", "100x2", "--lt",
                                            "FF8000", "--rt", "FFFFFF", "--lb", "000000"},
                                           InDirectory(dir.Path()));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "wrote g.bmp: 100 x 2, 32 bits\n");
    const Bitmap bitmap = Bitmap::LoadFromFile(dir / "g.bmp");
    EXPECT_EQ(bitmap.Format(), pf32bit);
    EXPECT_EQ(bitmap.Width(), 100);
    EXPECT_EQ(bitmap.PixelColor(0, 0), (Rgb{255, 128, 0}));
    // Blue rises by 2.55 a column, truncated; the bottom right corner is black by default.
    EXPECT_EQ(bitmap.PixelColor(20, 0).b, 50);
    EXPECT_EQ(bitmap.PixelColor(99, 0), (Rgb{255, 253, 252}));
    EXPECT_EQ(bitmap.PixelColor(0, 1), (Rgb{127, 64, 0}));

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err; // a part of standard error
    };
    const Case cases[] = {
        {{"g.bmp"}, 2, "--size is required"},
        {{"g.bmp", "--size", "10"}, 2, "is not WIDTHxHEIGHT"},
        {{"g.bmp", "--size", "0x5"}, 2, "too large or empty"},
        {{"g.bmp", "--size", "40000x40000"}, 2, "too large or empty"},
        {{"g.bmp", "--size", "2x2", "--rb", "GG0000"}, 2, "--rb: \"GG0000\" is not a colour"},
        {{"none/g.bmp", "--size", "2x2"}, 3, "none/g.bmp"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"gradient"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult failed = RunEitool(args, InDirectory(dir.Path()));
        EXPECT_EQ(failed.exitCode, c.status) << c.args.back() << failed.err;
        EXPECT_NE(failed.err.find(c.err), std::string::npos) << failed.err;
    }
}

} // namespace
} // namespace eitool::testing
