#pragma once

// The Windows API, without the min and max macros and the rarely used parts. Included only in
// the Windows branches of the few files that call the system directly.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
