#pragma once

#include <windows.h>
// The common controls' header needs the one above first.
#include <commctrl.h>

namespace eitool::win32 {

// The image lists of the tool bar, drawn from the images every window shares: Enabled holds the
// seven images in colour, Disabled the grey versions of images 0 to 5 (image 6 belongs to Exit,
// which is never disabled).
HIMAGELIST MakeToolImageList(bool enabled);

// One tool image as an icon (the directory dialog's folder button).
HICON MakeToolIcon(int index);

} // namespace eitool::win32
