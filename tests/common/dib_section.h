// A DIB section of w x h pixels at `bitCount` bits (BI_RGB; rows bottom-up for a positive h,
// top-down for a negative one), as the tests' programs make them; its pixels in *pixels.
#pragma once
#include "platform/win32/win32.h"

#include <cstring>

inline HBITMAP NewDibSection(HDC dc, LONG w, LONG h, WORD bitCount, void **pixels) {
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, h, 1, bitCount, BI_RGB, 0, 0, 0, 0, 0};
    *pixels = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, pixels, nullptr, 0);
}
