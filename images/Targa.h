#pragma once

#include "common/Component.h"
#include "images/Bitmap.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace eitool {

class WriteHook;

inline constexpr std::size_t kTargaHeaderSize = 18;
inline constexpr std::size_t kTargaFooterSize = 26;

// A true-colour picture held in a Bitmap and kept as an uncompressed TGA file (image type 2) with
// the TGA 2.0 footer. The header and the footer are kept in their file form. The bitmap holds the
// pixel rows in the order of a bottom-left file: bitmap row 0 is the picture's bottom row, so
// GetScanLine, which counts from the bottom of the bitmap, counts from the top of the picture.
//
// Published properties: ResetImage, Width, Height and ColorDepth (storage default 0, so the
// three sizes are always stored).
class TTarga : public TComponent {
public:
    explicit TTarga(TComponent* owner = nullptr);
    // Made as a form stores it: constructed, then the form's properties loaded onto it.
    TTarga(TComponent* owner, std::string_view form);
    ~TTarga() override;

    void PublishProperties(PropertyFiler& filer) override;

    // When true, a change of ColorDepth keeps the picture, converted to the new format.
    bool ResetImage = false;

    std::uint16_t Width() const;
    std::uint16_t Height() const;
    std::uint16_t ColorDepth() const { return GetDepth(); }
    // Width and height change only while there is a bitmap; the bitmap keeps its pixels.
    void SetWidth(std::uint16_t width);
    void SetHeight(std::uint16_t height);
    std::uint16_t GetDepth() const;
    // Stores the low 8 bits as the pixel depth and resets the bitmap.
    void SetDepth(std::uint16_t depth);

    // A new bitmap of the header's size in the format of the depth (15, 16, 24 or 32 bits; any
    // other depth leaves the bitmap's default format).
    void Reset();

    // Row i counted from the bottom of the bitmap (from the top once the row-order flag is set);
    // nullptr when there is no bitmap or the row lies outside it.
    std::uint8_t* GetScanLine(std::int32_t row);
    // Exchanges red and blue in every pixel, according to the depth.
    void ReverseColors();

    // Reads a TGA file: uncompressed or run-length encoded true colour of 15, 16, 24 or 32 bits,
    // any origin, with or without an image ID, colour map or footer. Anything else, or a file
    // that ends early, is refused with CorruptFileError and the component keeps its header and
    // bitmap. Open and read failures throw FileOpenError / FileReadError.
    void LoadFromFile(const std::string& path);
    // The same for bytes already read; name is the file that messages name.
    void LoadFromBytes(std::span<const std::uint8_t> bytes, const std::string& name);
    // Writes the header (descriptor 8), the rows and the footer through a pending file; without a
    // bitmap it resets first. A depth other than 15, 16, 24 or 32 is refused with
    // FileWriteError.
    void SaveToFile(const std::string& path, WriteHook* hook = nullptr);

    const std::array<std::uint8_t, kTargaHeaderSize>& Header() const { return m_header; }
    const std::array<std::uint8_t, kTargaFooterSize>& Footer() const { return m_footer; }
    // The picture, or nullptr before the first reset, load or depth change.
    Bitmap* Picture() { return m_bitmap.get(); }
    const Bitmap* Picture() const { return m_bitmap.get(); }
    // The row-order flag: false after construction, and the component never changes it.
    bool RowsFromTop() const { return m_rowsFromTop; }

private:
    std::array<std::uint8_t, kTargaHeaderSize> m_header{};
    std::array<std::uint8_t, kTargaFooterSize> m_footer{};
    bool m_rowsFromTop = false;
    std::unique_ptr<Bitmap> m_bitmap;
};

// Whether bytes end in the TGA 2.0 footer signature "TRUEVISION-XFILE." and its zero byte.
bool HasTargaFooter(std::span<const std::uint8_t> bytes);

// The stored values of the main window's TGA component: Width 256, Height 256, ColorDepth 32. The
// window holds it as `TTarga Targa{nullptr, kMainFormTarga};`.
inline constexpr std::string_view kMainFormTarga = "Name = 'Targa'\n"
                                                   "Width = 256\n"
                                                   "Height = 256\n"
                                                   "ColorDepth = 32\n";

} // namespace eitool
