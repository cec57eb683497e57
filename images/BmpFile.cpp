// BMP files: reading every common variant into a Bitmap, writing the one variant we produce.
#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/PendingFile.h"
#include "common/RunError.h"
#include "images/Bitmap.h"
#include "images/BitmapLayout.h"
#include "images/ScratchBuffer.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace eitool {

namespace {

// BITMAPFILEHEADER (14 bytes):
//   0  u16  "BM"
//   2  u32  size of the file (not trusted)
//   6  u32  reserved
//   10 u32  offset of the pixel data from the start of the file
// followed by the size (u32) and the rest of one of the information headers:
//   BITMAPCOREHEADER (12 bytes):
//     4  u16  width
//     6  u16  height (rows always bottom-up)
//     8  u16  planes
//     10 u16  bits per pixel; palette entries are 3 bytes blue, green, red
//   BITMAPINFOHEADER (40 bytes) and its extensions V2 (52), V3 (56), V4 (108), V5 (124):
//     4  i32  width
//     8  i32  height; negative: rows top-down
//     12 u16  planes
//     14 u16  bits per pixel
//     16 u32  compression
//     20 u32  size of the pixel data (0 allowed for uncompressed data; not trusted)
//     24 i32  horizontal resolution, pixels per metre
//     28 i32  vertical resolution
//     32 u32  palette entries used (0: 2^bits for indexed files)
//     36 u32  important entries
//     40 u32  red mask, 44 green mask, 48 blue mask (V2 and later)
//     52 u32  alpha mask (V3 and later)
//     56..    colour space, end points, gamma (V4); intent and profile (V5): not used
//   A 40-byte header with BI_BITFIELDS (or BI_ALPHABITFIELDS) is followed by its three (four)
//   masks. Then comes the palette of 4-byte entries blue, green, red, 0.
// Rows are padded to a multiple of 4 bytes; a 4-bit row has the left pixel in the high nibble.

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;

// Loading refuses pictures past these sizes whatever the file holds.
constexpr std::uint64_t kMaxSide = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
// An RLE stream may leave whole rows to end-of-line codes, so its size bounds the picture only
// loosely: at most this many pixels per byte of stream, beyond a small picture that is always
// allowed.
constexpr std::uint64_t kRlePixelsPerByte = 1024;
constexpr std::uint64_t kRleAlwaysAllowed = 1 << 16;

struct Masks {
    std::uint32_t red = 0;
    std::uint32_t green = 0;
    std::uint32_t blue = 0;
};

struct BmpHeader {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool topDown = false;
    std::uint32_t bits = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t coloursUsed = 0;
    std::uint32_t pixelOffset = 0;
    Masks masks;
    bool hasMasks = false;
};

class BmpReader {
public:
    BmpReader(std::span<const std::uint8_t> bytes, const std::string& name)
        : m_bytes(bytes), m_name(name) {}

    // The bits per pixel of the file (after Read).
    int Bits() const { return static_cast<int>(m_header.bits); }

    Bitmap Read() {
        try {
            ReadHeaders();
            CheckVariant();
            const std::vector<Rgb> palette =
                IsIndexed(m_format) ? ReadPalette() : std::vector<Rgb>{};
            CheckSize();
            Bitmap bitmap;
            bitmap.SetPixelFormat(m_format);
            bitmap.SetPalette(palette);
            const auto width = static_cast<std::int32_t>(m_header.width);
            const auto height = static_cast<std::int32_t>(m_header.height);
            if (m_header.compression == kBiRle8 || m_header.compression == kBiRle4) {
                bitmap.SetSize(width, height);
                ReadRle(bitmap);
            } else if (m_header.bits == 1) {
                bitmap.SetSize(width, height);
                ReadRows(bitmap);
            } else {
                // Every byte of every row is copied from the file.
                bitmap.SetSizeForOverwrite(width, height);
                ReadRows(bitmap);
            }
            return bitmap;
        } catch (const OutOfBounds& error) {
            Fail(std::string("the file ends too early (") + error.what() + ")");
        }
    }

private:
    [[noreturn]] void Fail(const std::string& reason) const {
        throw CorruptFileError(m_name, reason);
    }

    void ReadHeaders() {
        ByteReader reader(m_bytes);
        if (reader.Size() < kFileHeaderSize + 4) {
            Fail("the file is too short for a BMP file (" + std::to_string(reader.Size()) +
                 " bytes)");
        }
        if (reader.U8() != 'B' || reader.U8() != 'M') {
            Fail("not a BMP file (no \"BM\" signature)");
        }
        reader.Skip(8);
        m_header.pixelOffset = reader.U32le();
        m_header.headerSize = reader.U32le();
        const std::uint32_t size = m_header.headerSize;
        if (size != kCoreHeaderSize && size != kInfoHeaderSize && size != 52 && size != 56 &&
            size != 108 && size != 124) {
            Fail("BMP information header of " + std::to_string(size) + " bytes is not supported");
        }
        if (!reader.CanRead(size - 4)) {
            Fail("the BMP information header runs past the end of the file");
        }
        if (size == kCoreHeaderSize) {
            m_header.width = reader.U16le();
            m_header.height = reader.U16le();
            reader.Skip(2);
            m_header.bits = reader.U16le();
            m_paletteEntrySize = 3;
            m_paletteOffset = reader.Position();
            return;
        }
        m_header.width = static_cast<std::int32_t>(reader.U32le());
        const auto height = static_cast<std::int32_t>(reader.U32le());
        reader.Skip(2);
        m_header.bits = reader.U16le();
        m_header.compression = reader.U32le();
        reader.Skip(12);
        m_header.coloursUsed = reader.U32le();
        reader.Skip(4);
        if (height == std::numeric_limits<std::int32_t>::min()) {
            Fail("the height " + std::to_string(height) + " is not valid");
        }
        m_header.topDown = height < 0;
        m_header.height = height < 0 ? -std::int64_t{height} : height;
        const bool bitfields =
            m_header.compression == kBiBitfields || m_header.compression == kBiAlphaBitfields;
        if (size >= 52) {
            m_header.masks = {reader.U32le(), reader.U32le(), reader.U32le()};
            m_header.hasMasks = bitfields;
            reader.Seek(kFileHeaderSize + size);
        } else if (bitfields) {
            if (!reader.CanRead(12)) {
                Fail("the colour masks run past the end of the file");
            }
            m_header.masks = {reader.U32le(), reader.U32le(), reader.U32le()};
            m_header.hasMasks = true;
            if (m_header.compression == kBiAlphaBitfields) {
                reader.Skip(std::min<std::size_t>(4, reader.Remaining()));
            }
        }
        m_paletteOffset = reader.Position();
    }

    static std::string Hex(std::uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", value);
        return text;
    }

    std::string MaskText() const {
        return Hex(m_header.masks.red) + "/" + Hex(m_header.masks.green) + "/" +
               Hex(m_header.masks.blue);
    }

    // Chooses the pixel format and refuses every variant that is not read.
    void CheckVariant() {
        m_format = FormatOfBits();
        if (NeedsMasks()) {
            if (m_header.bits == 16) {
                Choose16BitMasks();
            } else if (m_header.bits == 32) {
                Choose32BitMasks();
            } else {
                Fail("colour masks with " + std::to_string(m_header.bits) +
                     " bits per pixel are not supported");
            }
        }
    }

    // The pixel format that the bits per pixel give before any colour masks are looked at.
    PixelFormat FormatOfBits() const {
        const std::uint32_t bits = m_header.bits;
        const std::uint32_t compression = m_header.compression;
        if (compression == kBiJpeg || compression == kBiPng) {
            Fail(std::string(compression == kBiJpeg ? "JPEG" : "PNG") +
                 "-compressed BMP files are not supported");
        }
        const PixelFormat format = FormatOf(bits);
        if (m_header.headerSize == kCoreHeaderSize && bits != 1 && bits != 4 && bits != 8 &&
            bits != 24) {
            Fail(std::to_string(bits) + "-bit BMP files with a core header are not supported");
        }
        return format;
    }

    PixelFormat FormatOf(std::uint32_t bits) const {
        switch (bits) {
        case 1: // two colours, read into 4 bits per pixel
        case 4:
            return pf4bit;
        case 8:
            return pf8bit;
        case 16:
            return pf15bit;
        case 24:
            return pf24bit;
        case 32:
            return pf32bit;
        default:
            Fail(std::to_string(bits) + "-bit BMP files are not supported");
        }
    }

    // Whether the compression is one of the two with colour masks; refuses those not read.
    bool NeedsMasks() const {
        const std::uint32_t bits = m_header.bits;
        switch (m_header.compression) {
        case kBiRgb:
            return false;
        case kBiRle8:
            if (bits != 8) {
                Fail("RLE8 compression with " + std::to_string(bits) + " bits per pixel");
            }
            return false;
        case kBiRle4:
            if (bits != 4) {
                Fail("RLE4 compression with " + std::to_string(bits) + " bits per pixel");
            }
            return false;
        case kBiBitfields:
        case kBiAlphaBitfields:
            return true;
        default:
            Fail("BMP compression " + std::to_string(m_header.compression) + " is not supported");
        }
    }

    void Choose16BitMasks() {
        const Masks& m = m_header.masks;
        if (m.red == 0xF800 && m.green == 0x07E0 && m.blue == 0x001F) {
            m_format = pf16bit;
        } else if (m.red == 0x7C00 && m.green == 0x03E0 && m.blue == 0x001F) {
            m_format = pf15bit;
        } else {
            Fail("16-bit BMP files with colour masks " + MaskText() + " are not supported");
        }
    }

    // Any order of whole bytes is read; the byte left over becomes the fourth byte.
    void Choose32BitMasks() {
        const auto byteOf = [](std::uint32_t mask) -> int {
            for (int i = 0; i < 4; ++i) {
                if (mask == (0xFFu << (8 * i))) {
                    return i;
                }
            }
            return -1;
        };
        const Masks& m = m_header.masks;
        const int r = byteOf(m.red);
        const int g = byteOf(m.green);
        const int b = byteOf(m.blue);
        if (r < 0 || g < 0 || b < 0 || r == g || r == b || g == b) {
            Fail("32-bit BMP files with colour masks " + MaskText() + " are not supported");
        }
        m_shiftRed = 8 * r;
        m_shiftGreen = 8 * g;
        m_shiftBlue = 8 * b;
        m_shiftFourth = 8 * (6 - r - g - b);
    }

    void CheckSize() {
        if (m_header.width < 0) {
            Fail("the width " + std::to_string(m_header.width) + " is negative");
        }
        const auto width = static_cast<std::uint64_t>(m_header.width);
        const auto height = static_cast<std::uint64_t>(m_header.height);
        const std::string size = std::to_string(width) + " x " + std::to_string(height);
        if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
            Fail("a picture of " + size + " pixels is larger than this tool reads");
        }
        if (!RangeFits(m_header.pixelOffset, 0, m_bytes.size())) {
            Fail("the pixel data starts past the end of the file (offset " +
                 std::to_string(m_header.pixelOffset) + ", " + std::to_string(m_bytes.size()) +
                 " bytes)");
        }
        const std::uint64_t available = m_bytes.size() - m_header.pixelOffset;
        if (m_header.compression == kBiRle8 || m_header.compression == kBiRle4) {
            const std::uint64_t limit = std::max(kRleAlwaysAllowed, available * kRlePixelsPerByte);
            if (width * height > limit) {
                Fail("an RLE picture of " + size + " pixels cannot come from " +
                     std::to_string(available) + " bytes of data");
            }
            return;
        }
        if (width == 0 || height == 0) {
            return;
        }
        // The last row may leave out its padding.
        const std::uint64_t stride = StrideOf(width, static_cast<int>(m_header.bits));
        const std::uint64_t needed = stride * (height - 1) + (width * m_header.bits + 7) / 8;
        if (needed > available) {
            Fail("the pixel data of " + size + " pixels at " + std::to_string(m_header.bits) +
                 " bits needs " + std::to_string(needed) + " bytes, the file holds " +
                 std::to_string(available));
        }
    }

    std::vector<Rgb> ReadPalette() {
        const std::uint64_t full = m_header.bits == 1 ? 2 : PaletteLength(m_format);
        std::uint64_t count = m_header.coloursUsed == 0 ? full : m_header.coloursUsed;
        count = std::min(count, full);
        if (!RangeFits(m_paletteOffset, count * m_paletteEntrySize, m_bytes.size())) {
            Fail("the palette of " + std::to_string(count) +
                 " entries runs past the end of the file");
        }
        ByteReader reader(m_bytes);
        reader.Seek(m_paletteOffset);
        std::vector<Rgb> palette(static_cast<std::size_t>(count));
        for (auto& entry : palette) {
            entry.b = reader.U8();
            entry.g = reader.U8();
            entry.r = reader.U8();
            reader.Skip(m_paletteEntrySize - 3);
        }
        return palette;
    }

    std::int32_t TargetRow(std::uint64_t storedRow) const {
        const auto row = static_cast<std::int32_t>(storedRow);
        return m_header.topDown ? row : static_cast<std::int32_t>(m_header.height) - 1 - row;
    }

    void ReadRows(Bitmap& bitmap) const {
        const auto width = static_cast<std::size_t>(m_header.width);
        const auto height = static_cast<std::uint64_t>(m_header.height);
        if (width == 0 || height == 0) {
            return;
        }
        const std::uint64_t stride = StrideOf(width, static_cast<int>(m_header.bits));
        const std::size_t rowBytes = (width * m_header.bits + 7) / 8;
        ByteReader reader(m_bytes);
        for (std::uint64_t stored = 0; stored < height; ++stored) {
            reader.Seek(m_header.pixelOffset + stored * stride);
            const auto in = reader.Bytes(rowBytes);
            std::uint8_t* out = bitmap.ScanLine(TargetRow(stored));
            if (m_header.bits == 1) {
                // The left pixel is the highest bit of a byte, as it is the high nibble.
                for (std::size_t x = 0; x < width; ++x) {
                    const std::uint8_t bit = (in[x / 8] >> (7 - x % 8)) & 1;
                    out[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? bit << 4 : bit);
                }
                continue;
            }
            if (m_format != pf32bit || !m_header.hasMasks) {
                std::memcpy(out, in.data(), rowBytes);
                // The unused low nibble that ends an odd 4-bit row is not kept.
                if (width * m_header.bits % 8 != 0) {
                    out[rowBytes - 1] &= 0xF0;
                }
                continue;
            }
            for (std::size_t x = 0; x < width; ++x) {
                const std::uint32_t v = LoadU32le(in, 4 * x);
                out[4 * x] = static_cast<std::uint8_t>(v >> m_shiftBlue);
                out[4 * x + 1] = static_cast<std::uint8_t>(v >> m_shiftGreen);
                out[4 * x + 2] = static_cast<std::uint8_t>(v >> m_shiftRed);
                out[4 * x + 3] = static_cast<std::uint8_t>(v >> m_shiftFourth);
            }
        }
    }

    // RLE8 and RLE4 streams are pairs of bytes. A first byte n > 0 repeats the second byte n times
    // (RLE4: its high and low nibbles alternately). A first byte 0 is an escape: 0 ends the row,
    // 1 ends the picture, 2 moves right and down (the rows are in stored order) by the next two
    // bytes, and n >= 3 is followed by n literal pixels padded to a 16-bit boundary. Pixels the
    // stream does not set stay 0. A run past the end of its row or past the last row is refused.
    struct RleCursor {
        std::uint64_t x = 0;
        std::uint64_t y = 0; // stored row
    };

    void ReadRle(Bitmap& bitmap) const {
        ByteReader reader(m_bytes);
        reader.Seek(m_header.pixelOffset);
        RleCursor at;
        for (;;) {
            if (reader.Remaining() < 2) {
                if (reader.Remaining() == 0 &&
                    at.y >= static_cast<std::uint64_t>(m_header.height)) {
                    return; // every row was ended; the end-of-picture code is missing
                }
                Fail("the RLE data ends before its end-of-picture code");
            }
            const std::uint8_t first = reader.U8();
            const std::uint8_t second = reader.U8();
            if (first > 0) {
                PutRlePixels(bitmap, at, first, std::span(&second, 1), true);
                continue;
            }
            switch (second) {
            case 0:
                at.x = 0;
                ++at.y;
                break;
            case 1:
                return;
            case 2:
                MoveRle(reader, at);
                break;
            default:
                PutRlePixels(bitmap, at, second, ReadRleLiteral(reader, second), false);
                break;
            }
        }
    }

    // The bytes of a literal run of count pixels, padding included.
    std::span<const std::uint8_t> ReadRleLiteral(ByteReader& reader, std::uint32_t count) const {
        const std::uint32_t bytes = m_header.compression == kBiRle4 ? (count + 1) / 2 : count;
        const std::uint32_t padded = bytes + (bytes % 2);
        if (!reader.CanRead(padded)) {
            Fail("an RLE literal run of " + std::to_string(count) +
                 " pixels runs past the end of the file");
        }
        return reader.Bytes(padded);
    }

    void MoveRle(ByteReader& reader, RleCursor& at) const {
        if (!reader.CanRead(2)) {
            Fail("the RLE data ends inside a move");
        }
        at.x += reader.U8();
        at.y += reader.U8();
        if (at.x > static_cast<std::uint64_t>(m_header.width)) {
            Fail("an RLE move runs past the end of row " + std::to_string(at.y));
        }
    }

    // Sets count pixels from the cursor on. An encoded run repeats one byte (RLE4: its high and
    // low nibble alternately); a literal run takes byte i (RLE4: nibble i, high nibble first).
    void PutRlePixels(Bitmap& bitmap, RleCursor& at, std::uint32_t count,
                      std::span<const std::uint8_t> bytes, bool repeat) const {
        if (at.y >= static_cast<std::uint64_t>(m_header.height)) {
            Fail("the RLE data runs past the last row");
        }
        if (count > static_cast<std::uint64_t>(m_header.width) - at.x) {
            Fail("the RLE data runs past the end of row " + std::to_string(at.y));
        }
        const bool four = m_header.compression == kBiRle4;
        const std::int32_t row = TargetRow(at.y);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t byte = repeat ? bytes[0] : bytes[four ? i / 2 : i];
            const std::uint32_t value = four ? ((i % 2 == 0) ? (byte >> 4) : (byte & 0x0F)) : byte;
            bitmap.SetPixelValue(static_cast<std::int32_t>(at.x + i), row, value);
        }
        at.x += count;
    }

    std::span<const std::uint8_t> m_bytes;
    const std::string& m_name;
    BmpHeader m_header;
    PixelFormat m_format = pf24bit;
    std::uint64_t m_paletteOffset = 0;
    std::uint32_t m_paletteEntrySize = 4;
    int m_shiftRed = 16;
    int m_shiftGreen = 8;
    int m_shiftBlue = 0;
    int m_shiftFourth = 24;
};

} // namespace

Bitmap Bitmap::LoadFromBytes(std::span<const std::uint8_t> bytes, const std::string& name,
                             int* fileBits) {
    BmpReader reader(bytes, name);
    Bitmap bitmap = reader.Read();
    if (fileBits != nullptr) {
        *fileBits = reader.Bits();
    }
    return bitmap;
}

namespace {

// The bytes of the BMP file being read, reused from one file to the next; files larger than this
// get memory of their own, which is given back at once.
thread_local ScratchBuffer loadScratch;
constexpr std::uint64_t kLoadScratchLimit = std::uint64_t{16} << 20;

} // namespace

Bitmap Bitmap::LoadFromFile(const std::string& path, int* fileBits) {
    FileStream file = FileStream::Open(path, omRead);
    const std::uint64_t size = file.Size();
    if (size > std::numeric_limits<std::size_t>::max() / 2) {
        throw FileReadError(path, "the file of " + std::to_string(size) +
                                      " bytes is too large to hold in memory");
    }
    std::unique_ptr<std::uint8_t[]> own;
    std::uint8_t* bytes = nullptr;
    if (size <= kLoadScratchLimit) {
        bytes = loadScratch.Get(static_cast<std::size_t>(size));
    } else {
        own = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size));
        bytes = own.get();
    }
    file.ReadExact(bytes, static_cast<std::size_t>(size));
    return LoadFromBytes(std::span(bytes, static_cast<std::size_t>(size)), path, fileBits);
}

// Written files have a 40-byte BITMAPINFOHEADER, rows bottom-up and the full palette of 16 or
// 256 entries. The 5-6-5 format is marked with BI_BITFIELDS masks after the header; 5-5-5 words
// and 32-bit pixels are plain BI_RGB.
std::vector<std::uint8_t> Bitmap::FileHeaderBytes() const {
    const std::uint64_t masksSize = m_format == pf16bit ? 12 : 0;
    const std::uint64_t paletteSize = PaletteLength(m_format) * 4;
    const std::uint64_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + masksSize + paletteSize;
    const std::uint64_t imageSize = static_cast<std::uint64_t>(m_stride) * m_height;
    const std::uint64_t fileSize = pixelOffset + imageSize;
    if (fileSize > std::numeric_limits<std::uint32_t>::max()) {
        throw FileWriteError("(bitmap " + std::to_string(m_width) + " x " +
                                 std::to_string(m_height) + ")",
                             "too large for a BMP file");
    }
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(pixelOffset));
    out.push_back('B');
    out.push_back('M');
    AppendU32le(out, static_cast<std::uint32_t>(fileSize));
    AppendU32le(out, 0);
    AppendU32le(out, static_cast<std::uint32_t>(pixelOffset));

    AppendU32le(out, kInfoHeaderSize);
    AppendU32le(out, static_cast<std::uint32_t>(m_width));
    AppendU32le(out, static_cast<std::uint32_t>(m_height));
    AppendU16le(out, 1);
    AppendU16le(out, static_cast<std::uint32_t>(BitsPerPixel(m_format)));
    AppendU32le(out, m_format == pf16bit ? kBiBitfields : kBiRgb);
    AppendU32le(out, static_cast<std::uint32_t>(imageSize));
    AppendU32le(out, 2835); // 72 pixels per inch
    AppendU32le(out, 2835);
    AppendU32le(out, static_cast<std::uint32_t>(PaletteLength(m_format)));
    AppendU32le(out, 0);
    if (m_format == pf16bit) {
        AppendU32le(out, 0xF800);
        AppendU32le(out, 0x07E0);
        AppendU32le(out, 0x001F);
    }
    for (const Rgb& entry : m_palette) {
        out.push_back(entry.b);
        out.push_back(entry.g);
        out.push_back(entry.r);
        out.push_back(0);
    }
    return out;
}

std::vector<std::uint8_t> Bitmap::SaveToBytes() const {
    std::vector<std::uint8_t> out = FileHeaderBytes();
    out.reserve(out.size() + m_stride * static_cast<std::size_t>(std::max(m_height, 0)));
    for (std::int32_t row = m_height - 1; row >= 0; --row) {
        const std::uint8_t* line = ScanLine(row);
        out.insert(out.end(), line, line + m_stride);
    }
    return out;
}

namespace {

// The bytes of the BMP file being written; reused from one file to the next.
thread_local ScratchBuffer saveScratch;

} // namespace

// The file goes out in one write when it is at most about 1 MiB, otherwise in chunks of that
// size, so a large bitmap is never held twice.
void Bitmap::SaveToFile(const std::string& path, WriteHook* hook) const {
    Save(path, hook, true);
}

void Bitmap::SaveToFileWithoutDirectorySync(const std::string& path, WriteHook* hook) const {
    Save(path, hook, false);
}

void Bitmap::Save(const std::string& path, WriteHook* hook, bool syncDirectory) const {
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    const std::vector<std::uint8_t> header = FileHeaderBytes();
    const std::size_t rowsBytes = m_stride * static_cast<std::size_t>(std::max(m_height, 0));
    const std::size_t capacity = std::min(header.size() + rowsBytes, kChunk + m_stride);
    std::uint8_t* chunk = saveScratch.Get(std::max(capacity, header.size()));
    std::memcpy(chunk, header.data(), header.size());
    std::size_t filled = header.size();
    PendingFile pending(path, hook);
    FileStream& file = pending.Create();
    try {
        // A bitmap without columns has rows of no bytes and no pixel memory.
        for (std::int32_t row = m_stride == 0 ? -1 : m_height - 1; row >= 0; --row) {
            std::memcpy(chunk + filled, ScanLine(row), m_stride);
            filled += m_stride;
            if (filled >= kChunk) {
                file.Write(chunk, filled);
                filled = 0;
            }
        }
        file.Write(chunk, filled);
    } catch (const FileError& error) {
        throw FileWriteError(path, std::string("cannot write the file (") + error.what() + ")");
    }
    if (syncDirectory) {
        pending.Commit();
    } else {
        pending.CommitWithoutDirectorySync();
    }
}

} // namespace eitool
