// Writes the seed corpus of the fuzz targets: small packs, textures, fonts and BMP files of the
// variants the readers handle, made with the sample makers. Usage: eitool_fuzz_seeds DIR; the
// seeds go to DIR/<target>/.
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "images/Bitmap.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace eitool;

void WriteSeed(const std::string& directory, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(directory);
    WriteWholeFile(directory + "/" + name, bytes);
}

// A BMP seed must load, so that the fuzzer starts inside the reader.
void WriteBmpSeed(const std::string& directory, const std::string& name, const Bytes& bytes) {
    Bitmap::LoadFromBytes(bytes, name);
    WriteSeed(directory, name, bytes);
}

// fuzz_readers takes its first byte as the reader: 0 data pack, 1 extended image, 2 font.
Bytes ForReader(std::uint8_t reader, const Bytes& file) {
    Bytes out{reader};
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

// A pack whose directory reaches the names list entry: every member empty but a few short
// text members, so that the seed stays small.
Bytes PackWithNamesList() {
    std::vector<samples::PackMember> members(samples::kNamesListIndex + 2);
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].name = "m" + std::to_string(i % 10);
    }
    members[0].name = "text\\menu.txt";
    members[0].data = {'O', 'K', '\r', '\n'};
    members[1].name = "a.bin";
    members[1].data = {1, 2, 3, 4, 5, 6, 7, 8};
    members[3].offset = 0; // a tie with the first member
    members.back().name = "last.dat";
    members.back().data = {9, 9, 9};
    return samples::BuildPack(members);
}

// A font of a few glyphs whose sheet is "a.bmp", the sheet that fuzz_readers puts beside it.
Bytes SmallFont(std::uint32_t glyphCount) {
    samples::FontTables tables;
    tables.textureName = "data\\font\\a.tga";
    for (std::uint32_t i = 0; i < glyphCount; ++i) {
        const float left = static_cast<float>(i % 8) / 8.0f;
        const float top = static_cast<float>(i / 8 % 8) / 8.0f;
        tables.glyphs.push_back({left, top, left + 0.1f, top + 0.12f, 6, 8});
    }
    return samples::BuildFont(tables);
}

Bitmap Picture(PixelFormat format, std::int32_t width, std::int32_t height) {
    Bitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    if (format == pf4bit || format == pf8bit) {
        std::vector<Rgb> palette(format == pf4bit ? 16 : 256);
        for (std::size_t i = 0; i < palette.size(); ++i) {
            palette[i] = {static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(i),
                          static_cast<std::uint8_t>(255 - i)};
        }
        bitmap.SetPalette(palette);
    }
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            bitmap.SetPixelColor(x, y,
                                 {static_cast<std::uint8_t>(x * 40),
                                  static_cast<std::uint8_t>(y * 60),
                                  static_cast<std::uint8_t>((x + y) * 20)});
        }
    }
    return bitmap;
}

// A BMP file with a hand-made header: headerSize 12 (core), 40, 56 or 124; extra (masks,
// palette) and pixels follow the header. An indexed file uses the palette entries it carries.
Bytes HandMadeBmp(std::uint32_t headerSize, std::int32_t width, std::int32_t height,
                  std::uint16_t bits, std::uint32_t compression, const Bytes& extra,
                  const Bytes& pixels, const std::vector<std::uint32_t>& masks = {}) {
    const auto offset = static_cast<std::uint32_t>(14 + headerSize + extra.size());
    Bytes out{'B', 'M'};
    AppendU32le(out, offset + static_cast<std::uint32_t>(pixels.size())); // file size
    AppendU32le(out, 0);                                                  // reserved
    AppendU32le(out, offset);                                             // pixel data offset
    AppendU32le(out, headerSize);
    if (headerSize == 12) {
        AppendU16le(out, static_cast<std::uint16_t>(width));
        AppendU16le(out, static_cast<std::uint16_t>(height));
        AppendU16le(out, 1); // planes
        AppendU16le(out, bits);
    } else {
        AppendU32le(out, static_cast<std::uint32_t>(width));
        AppendU32le(out, static_cast<std::uint32_t>(height)); // negative: top-down
        AppendU16le(out, 1);                                  // planes
        AppendU16le(out, bits);
        AppendU32le(out, compression);
        AppendU32le(out, static_cast<std::uint32_t>(pixels.size()));
        AppendU32le(out, 2835); // pixels per metre
        AppendU32le(out, 2835);
        AppendU32le(out, bits <= 8 ? static_cast<std::uint32_t>(extra.size() / 4) : 0); // used
        AppendU32le(out, 0); // important entries
        for (std::uint32_t mask : masks) {
            AppendU32le(out, mask);
        }
        out.resize(14 + headerSize, 0);
    }
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

Bytes Palette(int entries, int entryBytes) {
    Bytes out;
    for (int i = 0; i < entries; ++i) {
        out.insert(out.end(), {static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i * 3),
                               static_cast<std::uint8_t>(255 - i)});
        if (entryBytes == 4) {
            out.push_back(0);
        }
    }
    return out;
}

void ReaderSeeds(const std::string& directory) {
    const std::vector<samples::PackMember> few = samples::MakeRealisticMembers(6, 1, 24);
    WriteSeed(directory, "pack_without_names_list", ForReader(0, samples::BuildPack(few)));
    WriteSeed(directory, "pack_with_names_list", ForReader(0, PackWithNamesList()));

    samples::SampleTexture four = samples::MakeSampleTexture(4, 32, 8, 1);
    WriteSeed(directory, "texture_4bit_levels", ForReader(1, samples::BuildExtendedImage(four)));
    samples::SampleTexture eight = samples::MakeSampleTexture(8, 32, 16, 2);
    WriteSeed(directory, "texture_8bit_levels", ForReader(1, samples::BuildExtendedImage(eight)));
    samples::SampleTexture single = samples::MakeSampleTexture(8, 32, 32, 3);
    single.levelTable = false;
    WriteSeed(directory, "texture_8bit_no_level_table",
              ForReader(1, samples::BuildExtendedImage(single)));

    WriteSeed(directory, "font_4_glyphs", ForReader(2, SmallFont(4)));
    WriteSeed(directory, "font_40_glyphs", ForReader(2, SmallFont(40)));
}

void BmpSeeds(const std::string& directory) {
    struct Saved {
        const char* name;
        PixelFormat format;
        std::int32_t width;
        std::int32_t height;
    };
    for (const Saved& s : {Saved{"saved_4bit_odd", pf4bit, 5, 3},
                           {"saved_8bit", pf8bit, 6, 2},
                           {"saved_15bit", pf15bit, 3, 3},
                           {"saved_16bit", pf16bit, 2, 2},
                           {"saved_24bit", pf24bit, 3, 2},
                           {"saved_32bit", pf32bit, 2, 3}}) {
        WriteBmpSeed(directory, s.name, Picture(s.format, s.width, s.height).SaveToBytes());
    }
    // 2 x 2, 4 bits, a core header with 3-byte palette entries.
    WriteBmpSeed(directory, "core_4bit",
                 HandMadeBmp(12, 2, 2, 4, 0, Palette(16, 3), {0x01, 0, 0, 0, 0x23, 0, 0, 0}));
    // 3 x 2, 24 bits, top-down.
    WriteBmpSeed(directory, "top_down_24bit",
                 HandMadeBmp(40, 3, -2, 24, 0, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,
                                                    9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0}));
    // 2 x 1, 16 bits 5-6-5, masks after a 40-byte header.
    Bytes masks565;
    AppendU32le(masks565, 0xF800);
    AppendU32le(masks565, 0x07E0);
    AppendU32le(masks565, 0x001F);
    WriteBmpSeed(directory, "bitfields_16bit",
                 HandMadeBmp(40, 2, 1, 16, 3, masks565, {0x1F, 0xF8, 0xE0, 0x07}));
    // 1 x 2, 32 bits R, G, B, A in a V5 header.
    WriteBmpSeed(directory, "v5_32bit_alpha",
                 HandMadeBmp(124, 1, 2, 32, 3, {}, {1, 2, 3, 4, 5, 6, 7, 8},
                             {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}));
    // 5 x 2, RLE8: a run, a literal, end of line, a move, a run, end of picture.
    WriteBmpSeed(directory, "rle8",
                 HandMadeBmp(40, 5, 2, 8, 1, Palette(8, 4),
                             {2, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 0, 1, 7, 0, 1}));
    // 5 x 1, RLE4: a nibble run, a literal of three nibbles, end of picture.
    WriteBmpSeed(directory, "rle4",
                 HandMadeBmp(40, 5, 1, 4, 2, Palette(16, 4), {2, 0x12, 0, 3, 0x34, 0x50, 0, 1}));
}

void ExchangeSortSeeds(const std::string& directory) {
    // The first byte picks the mode (0 a handful of values, 1 bytes, 2 bytes around the top bit,
    // 3 four bytes an offset).
    WriteSeed(directory, "ties", {0, 3, 1, 1, 0, 2, 3, 3, 0, 1, 2});
    WriteSeed(directory, "bytes", {1, 9, 200, 3, 3, 77, 0, 255, 128, 4});
    WriteSeed(directory, "top_bit", {2, 0x80, 0x7F, 0x81, 0, 0xFF, 0x80});
    WriteSeed(directory, "words",
              {3, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 0, 0, 0, 0x80});
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    ReaderSeeds(root + "/fuzz_readers");
    BmpSeeds(root + "/fuzz_bmp");
    ExchangeSortSeeds(root + "/fuzz_exchange_sort");
    return 0;
}
