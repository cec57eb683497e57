#include "win32/ToolImages.h"

#include "app/ToolButtons.h"

#include <cstdint>
#include <cstring>

namespace eitool::win32 {

namespace {

// A 32-bit top-down bitmap of one tool image, its alpha premultiplied as the image list and
// icons expect (every pixel is either opaque or transparent).
HBITMAP MakeBitmap(const ToolImage& image) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kToolImageSize;
    info.bmiHeader.biHeight = -kToolImageSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) {
        return nullptr;
    }
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (std::size_t i = 0; i < image.size(); ++i) {
        pixels[i] = (image[i] >> 24) == 0 ? 0u : image[i];
    }
    return bitmap;
}

} // namespace

HIMAGELIST MakeToolImageList(bool enabled) {
    const int count = enabled ? kToolImageCount : kToolImageCount - 1;
    HIMAGELIST list = ImageList_Create(kToolImageSize, kToolImageSize, ILC_COLOR32, count, 0);
    if (list == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < count; ++i) {
        HBITMAP bitmap = MakeBitmap(ToolButtonImage(i, enabled));
        ImageList_Add(list, bitmap, nullptr);
        DeleteObject(bitmap);
    }
    return list;
}

HICON MakeToolIcon(int index) {
    HBITMAP colour = MakeBitmap(ToolButtonImage(index, true));
    // The mask is all zero: the alpha channel of the colour bitmap decides.
    std::uint8_t maskBits[kToolImageSize * kToolImageSize / 8] = {};
    HBITMAP mask = CreateBitmap(kToolImageSize, kToolImageSize, 1, 1, maskBits);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
    return icon;
}

} // namespace eitool::win32
