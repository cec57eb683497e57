#include "images/Targa.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/PendingFile.h"
#include "common/RunError.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <vector>

namespace eitool {

namespace {

// The TGA file header, little-endian:
//   0  u8  image ID length        1  u8  colour map type (0 none, 1 present)
//   2  u8  image type (1 colour-mapped, 2 true colour, 3 grey; +8 run-length encoded)
//   3  u16 colour map first entry 5  u16 colour map length    7  u8  colour map entry bits
//   8  u16 x origin               10 u16 y origin
//   12 u16 width                  14 u16 height
//   16 u8  pixel depth            17 u8  image descriptor (bits 0-3 alpha bits, bit 4 right to
//                                        left, bit 5 top to bottom)
// The image ID follows the header, then the colour map, then the pixel rows.
constexpr std::size_t kIdLength = 0;
constexpr std::size_t kMapType = 1;
constexpr std::size_t kImageType = 2;
constexpr std::size_t kMapLength = 5;
constexpr std::size_t kMapEntryBits = 7;
constexpr std::size_t kWidth = 12;
constexpr std::size_t kHeight = 14;
constexpr std::size_t kDepth = 16;
constexpr std::size_t kDescriptor = 17;

constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kTopToBottom = 0x20;

// The TGA 2.0 footer: extension area offset (u32), developer directory offset (u32), the
// signature and its zero byte.
constexpr std::string_view kSignature = "TRUEVISION-XFILE.";

bool IsTrueColourDepth(unsigned depth) {
    return depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

std::size_t BytesPerPixel(unsigned depth) {
    return (depth + 7) / 8;
}

void SetFormatOfDepth(Bitmap& bitmap, unsigned depth) {
    switch (depth) {
    case 15:
        bitmap.SetPixelFormat(pf15bit);
        break;
    case 16:
        bitmap.SetPixelFormat(pf16bit);
        break;
    case 24:
        bitmap.SetPixelFormat(pf24bit);
        break;
    case 32:
        bitmap.SetPixelFormat(pf32bit);
        break;
    default:
        break;
    }
}

[[noreturn]] void Corrupt(const std::string& name, const std::string& why) {
    throw CorruptFileError(name, why);
}

// Decodes run-length packets into bitmap rows, file row k into bitmap row rowOf(k). A packet's
// first byte holds the count less one in its low 7 bits; with the high bit set one pixel
// follows, repeated, otherwise that many pixels. Packets may run on across rows.
template <typename RowOf>
void DecodeRunLength(ByteReader& reader, Bitmap& bitmap, std::size_t pixelBytes, RowOf rowOf,
                     const std::string& name) {
    const auto width = static_cast<std::size_t>(bitmap.Width());
    const std::uint64_t total = std::uint64_t{width} * static_cast<std::uint64_t>(bitmap.Height());
    std::uint64_t done = 0;
    try {
        while (done < total) {
            const std::uint8_t packet = reader.U8();
            const std::uint64_t count = std::min<std::uint64_t>((packet & 0x7F) + 1u, total - done);
            std::span<const std::uint8_t> run;
            if ((packet & 0x80) != 0) {
                run = reader.Bytes(pixelBytes);
            }
            for (std::uint64_t i = 0; i < count; ++i, ++done) {
                if ((packet & 0x80) == 0) {
                    run = reader.Bytes(pixelBytes);
                }
                const auto row = static_cast<std::int32_t>(done / width);
                const std::size_t column = static_cast<std::size_t>(done % width);
                std::memcpy(bitmap.ScanLine(rowOf(row)) + column * pixelBytes, run.data(),
                            pixelBytes);
            }
        }
    } catch (const OutOfBounds&) {
        Corrupt(name, "the run-length encoded pixels end early (" + std::to_string(done) + " of " +
                          std::to_string(total) + " pixels)");
    }
}

void MirrorRow(std::uint8_t* row, std::size_t width, std::size_t pixelBytes) {
    for (std::size_t left = 0, right = width; left + 1 < right; ++left, --right) {
        std::swap_ranges(row + left * pixelBytes, row + (left + 1) * pixelBytes,
                         row + (right - 1) * pixelBytes);
    }
}

} // namespace

TTarga::TTarga(TComponent* owner) : TComponent(owner) {
    m_header[kImageType] = 2;
    StoreU16le(m_header, kWidth, 256);
    StoreU16le(m_header, kHeight, 256);
    m_header[kDepth] = 32;
    std::copy(kSignature.begin(), kSignature.end(), m_footer.begin() + 8);
}

TTarga::TTarga(TComponent* owner, std::string_view form) : TTarga(owner) {
    [[maybe_unused]] const std::vector<std::string> problems = ReadProperties(*this, form);
    assert(problems.empty());
}

TTarga::~TTarga() = default;

void TTarga::PublishProperties(PropertyFiler& filer) {
    TComponent::PublishProperties(filer);
    filer.Bool("ResetImage", ResetImage);
    // NOTE: the sizes arrive through their setters, which need a bitmap: loaded before
    // ColorDepth, they change nothing, and ColorDepth then makes the bitmap at the size the
    // header has at that moment. A value outside 16 bits keeps its low 16 bits.
    std::int32_t width = Width();
    if (filer.Int("Width", width)) {
        SetWidth(static_cast<std::uint16_t>(width));
    }
    std::int32_t height = Height();
    if (filer.Int("Height", height)) {
        SetHeight(static_cast<std::uint16_t>(height));
    }
    std::int32_t depth = GetDepth();
    if (filer.Int("ColorDepth", depth)) {
        SetDepth(static_cast<std::uint16_t>(depth));
    }
}

std::uint16_t TTarga::Width() const {
    return LoadU16le(m_header, kWidth);
}

std::uint16_t TTarga::Height() const {
    return LoadU16le(m_header, kHeight);
}

void TTarga::SetWidth(std::uint16_t width) {
    if (m_bitmap) {
        StoreU16le(m_header, kWidth, width);
        m_bitmap->SetWidth(width);
    }
}

void TTarga::SetHeight(std::uint16_t height) {
    if (m_bitmap) {
        StoreU16le(m_header, kHeight, height);
        m_bitmap->SetHeight(height);
    }
}

std::uint16_t TTarga::GetDepth() const {
    return m_header[kDepth];
}

void TTarga::SetDepth(std::uint16_t depth) {
    std::unique_ptr<Bitmap> kept;
    if (ResetImage && m_bitmap) {
        kept = std::move(m_bitmap);
    }
    m_header[kDepth] = static_cast<std::uint8_t>(depth);
    Reset();
    if (kept) {
        m_bitmap->Draw(0, 0, *kept);
    }
}

void TTarga::Reset() {
    auto bitmap = std::make_unique<Bitmap>();
    SetFormatOfDepth(*bitmap, GetDepth());
    bitmap->SetSize(Width(), Height());
    m_bitmap = std::move(bitmap);
}

std::uint8_t* TTarga::GetScanLine(std::int32_t row) {
    if (!m_bitmap || row < 0 || row >= m_bitmap->Height()) {
        return nullptr;
    }
    return m_bitmap->ScanLine(m_rowsFromTop ? row : m_bitmap->Height() - 1 - row);
}

void TTarga::ReverseColors() {
    if (!m_bitmap) {
        return;
    }
    const unsigned depth = GetDepth();
    const auto width = static_cast<std::size_t>(m_bitmap->Width());
    for (std::int32_t y = 0; y < m_bitmap->Height(); ++y) {
        std::uint8_t* row = m_bitmap->ScanLine(y);
        for (std::size_t x = 0; x < width; ++x) {
            switch (depth) {
            case 15:
            case 16: {
                std::uint8_t* pixel = row + x * 2;
                const unsigned word = pixel[0] | (pixel[1] << 8);
                // Blue is bits 0-4; red is bits 10-14 (5-5-5) or 11-15 (5-6-5).
                const unsigned shift = depth == 15 ? 10 : 11;
                const unsigned kept = word & ~(0x1Fu | (0x1Fu << shift));
                const unsigned swapped =
                    kept | ((word & 0x1Fu) << shift) | ((word >> shift) & 0x1Fu);
                pixel[0] = static_cast<std::uint8_t>(swapped);
                pixel[1] = static_cast<std::uint8_t>(swapped >> 8);
                break;
            }
            case 24:
                std::swap(row[x * 3], row[x * 3 + 2]);
                break;
            case 32:
                std::swap(row[x * 4], row[x * 4 + 2]);
                break;
            default:
                return;
            }
        }
    }
}

void TTarga::LoadFromFile(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    LoadFromBytes(bytes, path);
}

void TTarga::LoadFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) {
    if (bytes.size() < kTargaHeaderSize) {
        Corrupt(name, "not a TGA file: shorter than the 18-byte header");
    }
    std::array<std::uint8_t, kTargaHeaderSize> header{};
    std::copy_n(bytes.begin(), kTargaHeaderSize, header.begin());
    const unsigned type = header[kImageType];
    const unsigned mapType = header[kMapType];
    const unsigned depth = header[kDepth];
    const std::uint8_t descriptor = header[kDescriptor];
    if (type == 1 || type == 9) {
        Corrupt(name, "colour-mapped TGA files are not supported (only true colour)");
    }
    if (type == 3 || type == 11) {
        Corrupt(name, "grey-scale TGA files are not supported (only true colour)");
    }
    if (type != 2 && type != 10) {
        Corrupt(name, "TGA image type " + std::to_string(type) +
                          " is not supported (only true colour, types 2 and 10)");
    }
    if (mapType > 1) {
        Corrupt(name, "unknown TGA colour map type " + std::to_string(mapType));
    }
    if (!IsTrueColourDepth(depth)) {
        Corrupt(name, "a TGA pixel depth of " + std::to_string(depth) +
                          " bits is not supported (15, 16, 24 or 32)");
    }

    // The image ID and a colour map (allowed, but unused, in a true-colour file) are skipped.
    std::uint64_t offset = kTargaHeaderSize + header[kIdLength];
    if (mapType == 1) {
        offset +=
            std::uint64_t{LoadU16le(header, kMapLength)} * BytesPerPixel(header[kMapEntryBits]);
    }
    if (!RangeFits(0, offset, bytes.size())) {
        Corrupt(name, "the TGA file ends inside its image ID or colour map");
    }

    const std::size_t pixelBytes = BytesPerPixel(depth);
    const std::uint16_t width = LoadU16le(header, kWidth);
    const std::uint16_t height = LoadU16le(header, kHeight);
    const std::uint64_t pixels = std::uint64_t{width} * height;
    const std::uint64_t available = bytes.size() - offset;
    if (type == 2 && pixels * pixelBytes > available) {
        Corrupt(name, "the TGA file ends inside its pixel rows (" +
                          std::to_string(pixels * pixelBytes) + " bytes needed, " +
                          std::to_string(available) + " there)");
    }
    // A run-length packet of 1 + pixelBytes bytes gives at most 128 pixels.
    if (type == 10 && pixels > available / (1 + pixelBytes) * 128) {
        Corrupt(name, "the TGA file is too short for " + std::to_string(pixels) +
                          " run-length encoded pixels");
    }

    auto bitmap = std::make_unique<Bitmap>();
    SetFormatOfDepth(*bitmap, depth);
    bitmap->SetSize(width, height);
    // The bitmap keeps the rows of a bottom-left file; a top-left file's rows are turned over.
    const bool fromTop = (descriptor & kTopToBottom) != 0;
    const auto rowOf = [&](std::int32_t fileRow) {
        return fromTop ? height - 1 - fileRow : fileRow;
    };
    ByteReader reader(bytes.subspan(static_cast<std::size_t>(offset)));
    if (type == 2 && width != 0) {
        const std::size_t rowBytes = std::size_t{width} * pixelBytes;
        for (std::int32_t row = 0; row < height; ++row) {
            std::memcpy(bitmap->ScanLine(rowOf(row)), reader.Bytes(rowBytes).data(), rowBytes);
        }
    } else if (type == 10) {
        DecodeRunLength(reader, *bitmap, pixelBytes, rowOf, name);
    }
    if ((descriptor & kRightToLeft) != 0) {
        for (std::int32_t row = 0; row < height; ++row) {
            MirrorRow(bitmap->ScanLine(row), width, pixelBytes);
        }
    }

    // The header now describes what the component holds: a plain bottom-left, left-to-right
    // true-colour picture without image ID or colour map.
    header[kIdLength] = 0;
    header[kMapType] = 0;
    header[kImageType] = 2;
    std::fill_n(header.begin() + 3, 5, std::uint8_t{0});
    header[kDescriptor] = descriptor & ~(kRightToLeft | kTopToBottom);
    m_header = header;
    m_bitmap = std::move(bitmap);
}

void TTarga::SaveToFile(const std::string& path, WriteHook* hook) {
    const unsigned depth = GetDepth();
    if (!IsTrueColourDepth(depth)) {
        throw FileWriteError(path, "cannot write a TGA file of pixel depth " +
                                       std::to_string(depth) + " (15, 16, 24 or 32)");
    }
    if (!m_bitmap) {
        Reset();
    }
    const std::size_t rowBytes = static_cast<std::size_t>(m_bitmap->Width()) * BytesPerPixel(depth);
    m_header[kDescriptor] = 8;

    PendingFile pending(path, hook);
    FileStream& out = pending.Create();
    std::vector<std::uint8_t> buffer(m_header.begin(), m_header.end());
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    for (std::int32_t row = 0; row < m_bitmap->Height(); ++row) {
        const std::uint8_t* line = m_bitmap->ScanLine(row);
        buffer.insert(buffer.end(), line, line + rowBytes);
        if (buffer.size() >= kChunk) {
            out.Write(buffer.data(), buffer.size());
            buffer.clear();
        }
    }
    buffer.insert(buffer.end(), m_footer.begin(), m_footer.end());
    out.Write(buffer.data(), buffer.size());
    pending.Commit();
}

bool HasTargaFooter(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kTargaHeaderSize + kTargaFooterSize) {
        return false;
    }
    const auto tail = bytes.last(kSignature.size() + 1);
    return std::equal(kSignature.begin(), kSignature.end(), tail.begin()) && tail.back() == 0;
}

} // namespace eitool
