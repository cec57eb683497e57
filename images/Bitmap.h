#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace eitool {

class WriteHook;

// Pixel formats of a Bitmap: 4 and 8 bits per pixel are indexed through the palette; 15 and 16
// are 16-bit words (5-5-5 and 5-6-5, blue in the low bits); 24 is bytes blue, green, red; 32 is
// bytes blue, green, red and a fourth byte.
enum PixelFormat { pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

int BitsPerPixel(PixelFormat format);

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A rectangle with exclusive right and bottom edges.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
};

// The in-memory picture shared by the image and font handlers. Rows are counted from the top;
// in a 4-bit row the left pixel of each pair is in the high nibble.
class Bitmap {
public:
    Bitmap() = default; // 0 x 0, 24 bits per pixel, no palette

    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    PixelFormat Format() const { return m_format; }

    // Keeps width, height and palette; the pixels are cleared. Setting an indexed format makes
    // the palette 16 or 256 entries long (new entries black).
    void SetPixelFormat(PixelFormat format);
    // Keep the pixel format and the palette; pixels inside both the old and new size are kept,
    // new pixels are 0. Negative sizes count as 0.
    void SetWidth(std::int32_t width);
    void SetHeight(std::int32_t height);
    void SetSize(std::int32_t width, std::int32_t height);
    // Keeps the pixel format and the palette; the pixels are left as the memory has them, for a
    // caller that writes every pixel (the padding at the end of each row is cleared). The memory
    // of a larger earlier size is kept for the next call.
    void SetSizeForOverwrite(std::int32_t width, std::int32_t height);

    // Indexed formats: the palette (16 or 256 entries; a shorter list leaves the rest black, a
    // longer one is cut). Other formats keep no palette.
    void SetPalette(const std::vector<Rgb>& colours);
    std::vector<Rgb> Palette() const { return m_palette; }

    // Row bytes: at least ceil(width * bits / 8).
    std::size_t RowBytes() const { return m_stride; }
    std::uint8_t* ScanLine(std::int32_t row);
    const std::uint8_t* ScanLine(std::int32_t row) const;

    // The raw value of a pixel: the index (indexed), the 16-bit word, 0xRRGGBB (24) or the
    // whole 32-bit little-endian word (32). x, y must lie inside.
    std::uint32_t PixelValue(std::int32_t x, std::int32_t y) const;
    void SetPixelValue(std::int32_t x, std::int32_t y, std::uint32_t value);
    // Red, green, blue of a pixel (the palette colour of its index in indexed formats).
    Rgb PixelColor(std::int32_t x, std::int32_t y) const;
    // Sets a pixel to a colour (the nearest palette entry in indexed formats).
    void SetPixelColor(std::int32_t x, std::int32_t y, Rgb colour);
    // The raw value that colour becomes in this bitmap's format.
    std::uint32_t ValueOfColor(Rgb colour) const;
    // The palette index nearest to colour (squared distance; the lowest index wins a tie).
    std::uint8_t NearestIndex(Rgb colour) const;

    // Canvas operations; everything is clipped to the bitmap.
    void FillRect(const Rect& rect, Rgb colour);
    // A one-pixel line from (x0, y0) to (x1, y1), end point excluded.
    void DrawLine(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, Rgb colour);
    // Copies source's sourceRect to destRect of this bitmap (same size), clipped to both
    // bitmaps. Raw values are copied when both have the same format (and, if indexed, the same
    // palette); otherwise colours are converted, to the nearest palette entry for an indexed
    // target.
    void CopyRect(const Rect& destRect, const Bitmap& source, const Rect& sourceRect);
    // Draws picture with its top-left corner at (x, y), converted to this bitmap's format.
    void Draw(std::int32_t x, std::int32_t y, const Bitmap& picture);
    // This bitmap becomes a copy of source.
    void Assign(const Bitmap& source) { *this = source; }

    // BMP files. Loading throws FileOpenError/FileReadError, or CorruptFileError naming the file
    // and the reason for a variant that is not handled or a damaged file; a 1-bit file becomes a
    // 4-bit bitmap, and fileBits, when given, receives the file's own bits per pixel. Saving
    // replaces the file through a pending file and throws FileCreateError/FileWriteError.
    static Bitmap LoadFromFile(const std::string& path, int* fileBits = nullptr);
    static Bitmap LoadFromBytes(std::span<const std::uint8_t> bytes, const std::string& name,
                                int* fileBits = nullptr);
    void SaveToFile(const std::string& path, WriteHook* hook = nullptr) const;
    // SaveToFile without the sync of the file's directory, which the caller does once after the
    // last file it writes there.
    void SaveToFileWithoutDirectorySync(const std::string& path, WriteHook* hook = nullptr) const;
    std::vector<std::uint8_t> SaveToBytes() const;

private:
    void Reallocate(std::int32_t width, std::int32_t height, bool keepPixels);
    void Save(const std::string& path, WriteHook* hook, bool syncDirectory) const;
    // The file header, the info header, the masks and the palette: everything before the rows.
    std::vector<std::uint8_t> FileHeaderBytes() const;

    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    PixelFormat m_format = pf24bit;
    std::size_t m_stride = 0;
    std::vector<Rgb> m_palette;
    // Pixel memory that is not cleared when it grows; every path that grows it clears or writes it.
    template <class T> struct UninitialisedAllocator : std::allocator<T> {
        template <class U> struct rebind { using other = UninitialisedAllocator<U>; };
        UninitialisedAllocator() = default;
        template <class U> UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
        template <class U> void construct(U* at) noexcept { ::new (static_cast<void*>(at)) U; }
        template <class U, class... Args> void construct(U* at, Args&&... args) {
            ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
        }
    };
    std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>> m_pixels;
};

} // namespace eitool
