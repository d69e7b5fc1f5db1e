// DIB sections, brushes and regions of the GDI stand-in, shared by its source files only.
#pragma once
#include "platform/win32/gdi_objects.h"

#include <memory>
#include <vector>

namespace kiv::gdi {

// A bitmap whose pixels the application sees (Bitmap::dibBits points into `storage`).
struct DibSection : Bitmap {
    BITMAPINFOHEADER header{};  // as created: a negative height for top-down rows
    DWORD masks[3] = {};        // red, green, blue at 16 and 32 bits per pixel
    std::vector<RGBQUAD> colors;  // the colour table, resolved, at 8 bits per pixel and fewer
    std::vector<uint8_t> storage;
    DibSection() { section_ = this; }
};

struct Brush : Object {
    Brush() : Object(OBJ_BRUSH) {}
    COLORREF color = 0;
    bool hollow = false;  // paints nothing
};

// A set of pixels as rectangles in bands: sorted top to bottom, the rectangles of one band share
// top and bottom and are sorted left to right without touching; no two neighbouring bands with
// the same columns.
struct Region : Object {
    Region() : Object(OBJ_REGION) {}
    std::vector<RECT> rects;
};

std::shared_ptr<Brush> getBrush(HBRUSH brush);
// Paints `rect` (clipped to the bitmap) of the memory DC's selected bitmap; false when the DC
// has no bitmap to paint into.
bool fillDcRect(HDC hdc, const RECT &rect, const Brush &brush);

}  // namespace kiv::gdi
