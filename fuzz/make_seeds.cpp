// Writes the seed corpus of the fuzz targets: small packs, textures, fonts, BMP files, journals,
// result logs and lists of the variants the readers handle, made with the sample makers and the
// extractors. Usage: eitool_fuzz_seeds DIR; the seeds go to DIR/<target>/.
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "formats/DataPack.h"
#include "formats/DataPackJournal.h"
#include "images/Bitmap.h"
#include "images/ExtendedImage.h"
#include "images/Targa.h"
#include "run/RunContext.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"
#include "textobject/TextObject.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
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

// fuzz_font takes its first byte as the reader: even a font, odd a glyph strip.
Bytes WithFirstByte(std::uint8_t first, const Bytes& file) {
    Bytes out{first};
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

// The several-file input of fuzz_replay and fuzz_journal (see FuzzSupport.h): the head, then each
// file after its mark.
struct SeedFile {
    std::string name;
    Bytes bytes;
};

Bytes WithFiles(const Bytes& head, const std::vector<SeedFile>& files) {
    Bytes out = head;
    for (const SeedFile& file : files) {
        const std::string mark = "\n#@file " + file.name + "\n";
        out.insert(out.end(), mark.begin(), mark.end());
        out.insert(out.end(), file.bytes.begin(), file.bytes.end());
    }
    return out;
}

Bytes TextOf(const std::vector<std::string>& lines) {
    Bytes out;
    for (const std::string& line : lines) {
        out.insert(out.end(), line.begin(), line.end());
        out.insert(out.end(), {'\r', '\n'});
    }
    return out;
}

class NoSurface : public StatusSurface {
public:
    void SetCurrentMessage(const std::string&) override {}
    void SetExtracted(const std::string&) override {}
    int ProgressPosition() const override { return 0; }
    void SetProgressPosition(int) override {}
    void StepProgress() override {}
    void SetTotalMax(int) override {}
    void SetTotalPosition(int) override {}
    void ClearResults() override {}
    void AddResultLine(const std::string&) override {}
    std::size_t ResultLineCount() const override { return 0; }
    std::vector<std::string> ResultLines() const override { return {}; }
    void FocusResults() override {}
    void EnableStop(bool) override {}
    void EnableSaveLog(bool) override {}
    void ProcessMessages() override {}
};

// A result log as an extraction into "out" below the working directory writes it, with its source
// and every file it names, as one fuzz_replay input; the piece named edited (if any) gets its last
// byte changed, so that the insertion writes. The working directory must be an empty scratch one.
Bytes ExtractedLog(const std::string& tag, const std::string& source, const Bytes& bytes,
                   void (*extract)(RunContext&, const std::string&),
                   const std::string& edited = "") {
    WriteWholeFile(source, bytes);
    RunState state;
    CreateDirectories("out");
    state.TargetDirectory = "out";
    NoSurface surface;
    RunContext run{state, surface};
    extract(run, source);
    std::vector<std::string> lines{"#Format: " + tag, "#Source: " + source};
    std::vector<SeedFile> files{{source, bytes}};
    for (const std::string& line : state.ResultLog) {
        lines.push_back(line);
        if (line != "NULL") {
            files.push_back({line, ReadWholeFile(line)});
            if (!edited.empty() && line.ends_with(edited) && !files.back().bytes.empty()) {
                files.back().bytes.back() ^= 0x20;
            }
        }
    }
    return WithFiles(TextOf(lines), files);
}

// A pack whose directory reaches the names list entry: every member empty but a few short
// text members, so that the seed stays small. Flat names are unique, so that the pieces lie
// beside the pack.
Bytes PackWithNamesList(bool flat = false) {
    std::vector<samples::PackMember> members(samples::kNamesListIndex + 2);
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].name = "m" + std::to_string(flat ? i : i % 10);
    }
    members[0].name = flat ? "menu.txt" : "text\\menu.txt";
    members[0].data = {'O', 'K', '\r', '\n'};
    members[1].name = "a.bin";
    members[1].data = {1, 2, 3, 4, 5, 6, 7, 8};
    members[3].offset = 0; // a tie with the first member
    members.back().name = "last.dat";
    members.back().data = {9, 9, 9};
    return samples::BuildPack(members);
}

// A font of a few glyphs whose sheet is "a.bmp", the sheet that fuzz_font puts beside it.
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

void DataPackSeeds(const std::string& directory) {
    const std::vector<samples::PackMember> few = samples::MakeRealisticMembers(6, 1, 24);
    WriteSeed(directory, "pack_without_names_list", samples::BuildPack(few));
    WriteSeed(directory, "pack_with_names_list", PackWithNamesList());
}

void ExtendedImageSeeds(const std::string& directory) {
    samples::SampleTexture four = samples::MakeSampleTexture(4, 32, 8, 1);
    WriteSeed(directory, "texture_4bit_levels", samples::BuildExtendedImage(four));
    samples::SampleTexture eight = samples::MakeSampleTexture(8, 32, 16, 2);
    WriteSeed(directory, "texture_8bit_levels", samples::BuildExtendedImage(eight));
    samples::SampleTexture single = samples::MakeSampleTexture(8, 32, 32, 3);
    single.levelTable = false;
    WriteSeed(directory, "texture_8bit_no_level_table", samples::BuildExtendedImage(single));
}

// Strips of a few bands, the marks in column 0.
Bytes Strip(PixelFormat format, const std::vector<int>& codes) {
    const auto bands = static_cast<std::int32_t>(codes.back() - 191);
    return samples::MakeGlyphStrip(codes, 6, format, bands).SaveToBytes();
}

void FontSeeds(const std::string& directory) {
    WriteSeed(directory, "font_4_glyphs", WithFirstByte(0, SmallFont(4)));
    WriteSeed(directory, "font_40_glyphs", WithFirstByte(0, SmallFont(40)));
    WriteSeed(directory, "strip_8bit", WithFirstByte(1, Strip(pf8bit, {192, 193, 195})));
    WriteSeed(directory, "strip_24bit", WithFirstByte(1, Strip(pf24bit, {192})));
    WriteSeed(directory, "strip_32bit", WithFirstByte(1, Strip(pf32bit, {192})));
}

// A pack half way through an insertion: the journal holds the old directory and the old bytes of
// one member, and the pack already has new ones there.
void JournalSeeds(const std::string& directory) {
    const std::vector<samples::PackMember> few = samples::MakeRealisticMembers(6, 4, 24);
    const Bytes pack = samples::BuildPack(few);
    const auto entries = samples::ReadPackDirectory(pack);
    WriteWholeFile("seed.tre", pack);
    RunState state;
    NoSurface surface;
    RunContext run{state, surface};
    std::uint64_t directoryEnd = datapack::kDirectoryOffset + datapack::kEntrySize * entries.size();
    {
        FileStream file = FileStream::Open("seed.tre", omRead);
        const Bytes directoryBytes(pack.begin() + datapack::kDirectoryOffset,
                                   pack.begin() + static_cast<std::ptrdiff_t>(directoryEnd));
        datapack::WriteJournal(run, file, directoryBytes,
                               {{entries[1].offset, entries[1].size}, {0, directoryEnd}},
                               "seed.journal");
    }
    const Bytes journal = ReadWholeFile("seed.journal");
    Bytes changed = pack;
    for (std::uint32_t i = 0; i < entries[1].size; ++i) {
        changed[entries[1].offset + i] ^= 0x5A;
    }
    changed[datapack::kDirectoryOffset + 16 + 4] ^= 1; // the second entry's size
    WriteSeed(directory, "interrupted", WithFiles(changed, {{"journal", journal}}));
    WriteSeed(directory, "journal_of_other_pack",
              WithFiles(samples::BuildPack(samples::MakeRealisticMembers(3, 5, 16)),
                        {{"journal", journal}}));
    WriteSeed(directory, "no_journal", pack);
}

void ReplaySeeds(const std::string& directory) {
    WriteSeed(directory, "tre_one_piece_edited",
              ExtractedLog("TRE", "p.tre", PackWithNamesList(true), &ExtractDataPack, "menu.txt"));
    WriteSeed(directory, "bte",
              ExtractedLog("BTE", "t.bmpx",
                           samples::BuildExtendedImage(samples::MakeSampleTexture(4, 32, 8, 6)),
                           &ExtractExtendedImage));
    // A font, its sheet, a character table, a placement line and a strip.
    Bitmap sheet;
    sheet.SetPixelFormat(pf8bit);
    sheet.SetSize(64, 64);
    const Bytes fnt =
        TextOf({"#Format: FNT", "#Source: f.fnt", "chars.bin", "0:40:10:1:1", "strip.bmp"});
    WriteSeed(directory, "fnt",
              WithFiles(fnt, {{"f.fnt", SmallFont(160)},
                              {"a.bmp", sheet.SaveToBytes()},
                              {"chars.bin", samples::MakeCharacterTable({192, 193, 195})},
                              {"strip.bmp", Strip(pf8bit, {192, 193, 195})}}));
    const Bytes none = TextOf({"#Format: XYZ", "#Source: p.tre", "#Target", "p.tre"});
    WriteSeed(directory, "unknown_format", WithFiles(none, {{"p.tre", Bytes{0, 0, 0, 0}}}));
}

void TextLinesSeeds(const std::string& directory) {
    const auto text = [](std::string_view s) { return Bytes(s.begin(), s.end()); };
    WriteSeed(directory, "list_crlf", text("data.tre\r\nsub dir\\b.tre\r\n"));
    WriteSeed(directory, "mixed_endings", text("a\nb\rc\r\n\r\n\n\rlast"));
    WriteSeed(directory, "log_lines", text("#Format: TRE\r\n#Source: x.tre\r\nNULL\r\n"));
    WriteSeed(directory, "lone_cr", text("\r"));
}

// fuzz_text_object takes the flags and TextAlign in its first two bytes, then the file.
void TextObjectSeeds(const std::string& directory) {
    using namespace eitool::textobject;
    const auto seed = [&](const char* name, std::uint8_t flags, std::uint8_t align,
                          std::string_view file) {
        Bytes bytes{flags, align};
        bytes.insert(bytes.end(), file.begin(), file.end());
        WriteSeed(directory, name, bytes);
    };
    const std::string scratch = directory + "/.scratch";
    TTextObject ini;
    ini.TextStyle = IniStyle;
    ini.FileName = scratch;
    std::filesystem::create_directories(directory);
    ini.New(omWrite);
    for (const char* text : {"Hello", "", "two\nlines", "ends\n"}) {
        ini.Write(text);
    }
    const Bytes written = ReadWholeFile(scratch);
    std::filesystem::remove(scratch);
    const std::string iniFile(written.begin(), written.end());
    seed("ini_linux", 0x04, 1, iniFile);
    seed("ini_asciiz_align4", 0x03, 4, iniFile);
    seed("ini_gap", 0x00, 1, "[0x00000000]\r\na\r\n[0x00000002]\r\nc\r\n[0x5]\r\n");
    seed("ini_no_errors", 0x08, 2, "[0x00000001]\r\n[0xZ [0x0000000a]\r\nx\r\n");

    TTextObject blank;
    blank.CRC = true;
    for (const char* text : {"Hello", "a\r\nb", ""}) {
        blank.Write(text);
    }
    blank.TextType = ttPlain;
    blank.Write("plain");
    std::string blankFile;
    for (const std::string& line : blank.Lines) {
        blankFile += line + "\r\n";
    }
    seed("blank_crc", 0x10, 1, blankFile);
    seed("blank_asciiz_align4", 0x01, 4, blankFile);
    seed("blank_open_block", 0x04, 0xFC,
         std::string(Separator) + "\n#H#E#A#D#E#R#1#\nno end\r" + std::string(Separator));
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
    // Levels of a 32 x 32 texture, the size that fuzz_bmp inserts them at.
    WriteBmpSeed(directory, "level_4bit", Picture(pf4bit, 32, 32).SaveToBytes());
    WriteBmpSeed(directory, "level_8bit", Picture(pf8bit, 32, 32).SaveToBytes());
    WriteBmpSeed(directory, "rle4",
                 HandMadeBmp(40, 5, 1, 4, 2, Palette(16, 4), {2, 0x12, 0, 3, 0x34, 0x50, 0, 1}));
}

// A TGA seed must load, so that the fuzzer starts inside the reader.
void WriteTargaSeed(const std::string& directory, const std::string& name, const Bytes& bytes) {
    TTarga targa;
    targa.LoadFromBytes(bytes, name);
    WriteSeed(directory, name, bytes);
}

// A TGA file of 2 x 2 pixels: the header (image type, depth, descriptor, image ID length, colour
// map length of 24-bit entries), the ID and map bytes, then payload.
Bytes HandMadeTga(std::uint8_t type, std::uint8_t depth, std::uint8_t descriptor,
                  std::uint8_t idLength, std::uint8_t mapLength, const Bytes& payload) {
    Bytes out = {idLength, std::uint8_t(mapLength != 0),
                 type,     0,
                 0,        mapLength,
                 0,        std::uint8_t(mapLength != 0 ? 24 : 0),
                 0,        0,
                 0,        0,
                 2,        0,
                 2,        0,
                 depth,    descriptor};
    out.insert(out.end(), idLength + mapLength * 3u, 0x33);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

void TargaSeeds(const std::string& directory) {
    const Bytes footer = {0,   0,   0,   0,   0,   0,   0,   0,   'T', 'R', 'U', 'E', 'V',
                          'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};
    Bytes plain = HandMadeTga(2, 24, 0, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    plain.insert(plain.end(), footer.begin(), footer.end());
    WriteTargaSeed(directory, "plain_24bit_footer", plain);
    WriteTargaSeed(directory, "top_left_32bit", HandMadeTga(2, 32, 0x28, 0, 0, Bytes(16, 0x7F)));
    WriteTargaSeed(directory, "id_map_16bit",
                   HandMadeTga(2, 16, 0x10, 3, 2, {0x1F, 0, 0xE0, 7, 0, 0xF8, 0xFF, 0xFF}));
    // A raw packet of three pixels across the rows, then a run of one.
    WriteTargaSeed(directory, "rle_15bit",
                   HandMadeTga(10, 15, 0x20, 0, 0, {0x02, 1, 0x7C, 2, 0, 3, 0x80, 0x81, 4, 5}));
    WriteTargaSeed(directory, "rle_24bit", HandMadeTga(10, 24, 0, 0, 0, {0x83, 9, 8, 7}));
    // Rows of no pixels (a crash once).
    Bytes empty = HandMadeTga(2, 24, 0, 0, 0, {});
    empty[12] = 0;
    WriteTargaSeed(directory, "zero_width", empty);
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

// Descriptions of indexes for fuzz_piece_index: entries, then the flags and the changes.
void PieceIndexSeeds(const std::string& directory) {
    const auto entries = [](std::uint8_t count) {
        Bytes input = {count};
        for (std::uint8_t i = 0; i < count; ++i) {
            // Device, file number, size, then the times in nanoseconds, stored shifted by two
            // bits (the target takes them >> 2, so that they stay far from overflowing).
            constexpr std::uint64_t kTime = 1700000000000000000ULL;
            input.push_back(i);
            AppendU64le(input, 2049);
            AppendU64le(input, 1000ULL + i);
            AppendU64le(input, 20480);
            AppendU64le(input, (kTime + i) << 2);
            AppendU64le(input, (kTime + 2 * i) << 2);
        }
        return input;
    };
    WriteSeed(directory, "empty", entries(0));
    WriteSeed(directory, "three_entries", entries(3));
    Bytes cut = entries(3);
    cut.insert(cut.end(), {1, 100, 0});
    WriteSeed(directory, "cut", cut);
    Bytes damaged = entries(3);
    damaged.insert(damaged.end(), {0, 70, 0, 0x10});
    WriteSeed(directory, "damaged_entry", damaged);
    Bytes header = entries(2);
    header.insert(header.end(), {0, 12, 0, 0x01, 36, 0, 0xFF});
    WriteSeed(directory, "damaged_header", header);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string root = AbsolutePath(argv[1]);
    DataPackSeeds(root + "/fuzz_datapack");
    ExtendedImageSeeds(root + "/fuzz_extended_image");
    FontSeeds(root + "/fuzz_font");
    BmpSeeds(root + "/fuzz_bmp");
    TargaSeeds(root + "/fuzz_targa");
    ExchangeSortSeeds(root + "/fuzz_exchange_sort");
    TextLinesSeeds(root + "/fuzz_text_lines");
    TextObjectSeeds(root + "/fuzz_text_object");
    PieceIndexSeeds(root + "/fuzz_piece_index");
    // The logs and journals are made by the extractors and the journal writer in a scratch
    // directory, so that their names are relative to it.
    const std::string scratch =
        std::filesystem::temp_directory_path() / ("eitool-seeds-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch);
    SetCurrentDirectory(scratch);
    JournalSeeds(root + "/fuzz_journal");
    SetCurrentDirectory(root);
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    SetCurrentDirectory(scratch);
    ReplaySeeds(root + "/fuzz_replay");
    SetCurrentDirectory(root);
    std::filesystem::remove_all(scratch);
    return 0;
}
