// DIB sections (bitmaps whose pixels the application addresses directly), the object query for
// bitmaps, stock and solid brushes and rectangle fills into a memory DC's bitmap.
#include "platform/win32/dib_objects.h"

#include <algorithm>
#include <cstring>
#include <mutex>

using namespace kiv::gdi;

namespace {

constexpr RGBQUAD rgbq(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }

// The default logical palette every DC starts with: the ten low and ten high static colours.
constexpr RGBQUAD kDefaultPalette[20] = {
    rgbq(0, 0, 0),          rgbq(0x80, 0, 0),       rgbq(0, 0x80, 0),       rgbq(0x80, 0x80, 0),
    rgbq(0, 0, 0x80),       rgbq(0x80, 0, 0x80),    rgbq(0, 0x80, 0x80),    rgbq(0xC0, 0xC0, 0xC0),
    rgbq(0xC0, 0xDC, 0xC0), rgbq(0xA6, 0xCA, 0xF0), rgbq(0xFF, 0xFB, 0xF0), rgbq(0xA0, 0xA0, 0xA4),
    rgbq(0x80, 0x80, 0x80), rgbq(0xFF, 0, 0),       rgbq(0, 0xFF, 0),       rgbq(0xFF, 0xFF, 0),
    rgbq(0, 0, 0xFF),       rgbq(0xFF, 0, 0xFF),    rgbq(0, 0xFF, 0xFF),    rgbq(0xFF, 0xFF, 0xFF),
};

constexpr LONG kMaxDibPixels = 1 << 26;

int rowBytes(LONG width, int bpp) { return int(((int64_t(width) * bpp + 31) / 32) * 4); }

BYTE red(COLORREF c) { return BYTE(c); }
BYTE green(COLORREF c) { return BYTE(c >> 8); }
BYTE blue(COLORREF c) { return BYTE(c >> 16); }

// The colour table entry closest to the colour (squared distance, lowest index on ties).
uint32_t nearestIndex(const std::vector<RGBQUAD> &table, COLORREF c) {
    uint32_t best = 0;
    int64_t bestDistance = INT64_MAX;
    for (size_t i = 0; i < table.size(); ++i) {
        const int dr = table[i].rgbRed - red(c), dg = table[i].rgbGreen - green(c), db = table[i].rgbBlue - blue(c);
        const int64_t d = int64_t(dr) * dr + int64_t(dg) * dg + int64_t(db) * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = uint32_t(i);
        }
    }
    return best;
}

// An 8-bit channel placed under a mask, keeping its top bits.
uint32_t underMask(BYTE value, DWORD mask) {
    if (mask == 0) return 0;
    int shift = __builtin_ctz(mask);
    int bits = __builtin_popcount(mask);
    uint32_t v = bits >= 8 ? uint32_t(value) << (bits - 8) : uint32_t(value) >> (8 - bits);
    return (v << shift) & mask;
}

// How a bitmap's pixels are laid out and what value a colour becomes in it.
struct PixelView {
    uint8_t *rows = nullptr;  // the top row
    long step = 0;            // bytes from one row to the one below it
    int width = 0, height = 0, bpp = 0;
    DWORD masks[3] = {};
    const std::vector<RGBQUAD> *table = nullptr;
    std::vector<RGBQUAD> monochrome;
};

bool viewOf(Bitmap &b, PixelView *v) {
    v->width = b.width;
    v->height = b.height;
    v->bpp = b.bpp;
    if (DibSection *dib = b.asSection()) {
        const long pitch = rowBytes(b.width, b.bpp);
        uint8_t *bits = static_cast<uint8_t *>(b.dibBits);
        v->rows = b.topDown ? bits : bits + (b.height - 1) * pitch;
        v->step = b.topDown ? pitch : -pitch;
        std::memcpy(v->masks, dib->masks, sizeof v->masks);
        v->table = &dib->colors;
        return bits != nullptr;
    }
    // Device bitmaps: top-down rows; monochrome white is 1; 16 bits are 5-6-5.
    if (b.bits.empty()) return false;
    v->rows = b.bits.data();
    v->step = b.pitch;
    if (b.bpp == 16) {
        v->masks[0] = 0xF800;
        v->masks[1] = 0x07E0;
        v->masks[2] = 0x001F;
    } else if (b.bpp >= 24) {
        v->masks[0] = 0xFF0000;
        v->masks[1] = 0x00FF00;
        v->masks[2] = 0x0000FF;
    }
    v->monochrome = {rgbq(0, 0, 0), rgbq(0xFF, 0xFF, 0xFF)};
    static const std::vector<RGBQUAD> palette(std::begin(kDefaultPalette), std::end(kDefaultPalette));
    v->table = b.bpp == 1 ? &v->monochrome : &palette;
    return true;
}

uint32_t pixelValue(const PixelView &v, COLORREF c) {
    if (v.bpp <= 8) return nearestIndex(*v.table, c);
    return underMask(red(c), v.masks[0]) | underMask(green(c), v.masks[1]) | underMask(blue(c), v.masks[2]);
}

void putPixel(const PixelView &v, int x, int y, uint32_t value) {
    uint8_t *row = v.rows + y * v.step;
    switch (v.bpp) {
    case 1:
    case 4: {
        const int perByte = 8 / v.bpp;
        uint8_t *p = row + x / perByte;
        const int shift = (perByte - 1 - x % perByte) * v.bpp;
        const uint8_t mask = uint8_t(((1u << v.bpp) - 1) << shift);
        *p = uint8_t((*p & ~mask) | ((value << shift) & mask));
        break;
    }
    case 8: row[x] = uint8_t(value); break;
    case 16: std::memcpy(row + 2 * x, &value, 2); break;
    case 24: std::memcpy(row + 3 * x, &value, 3); break;
    default: std::memcpy(row + 4 * x, &value, 4); break;
    }
}

std::recursive_mutex &stockLock() {
    static std::recursive_mutex m;
    return m;
}

}  // namespace

namespace kiv::gdi {

std::shared_ptr<Brush> getBrush(HBRUSH brush) { return get<Brush>(reinterpret_cast<HGDIOBJ>(brush), OBJ_BRUSH); }

bool fillDcRect(HDC hdc, const RECT &rect, const Brush &brush) {
    auto dc = get<DC>(reinterpret_cast<HGDIOBJ>(hdc), OBJ_MEMDC);
    if (!dc) return false;
    auto b = get<Bitmap>(dc->bitmap, OBJ_BITMAP);
    PixelView v;
    if (!b || !viewOf(*b, &v)) return false;
    if (brush.hollow) return true;
    const int x0 = std::max<LONG>(rect.left, 0), y0 = std::max<LONG>(rect.top, 0);
    const int x1 = std::min<LONG>(rect.right, v.width), y1 = std::min<LONG>(rect.bottom, v.height);
    const uint32_t value = pixelValue(v, brush.color);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) putPixel(v, x, y, value);
    return true;
}

}  // namespace kiv::gdi

extern "C" {

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *info, UINT usage, void **bits, HANDLE section,
                                DWORD offset) {
    if (bits) *bits = nullptr;
    if (hdc && !getDC(hdc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!info || section || offset || (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER &h = info->bmiHeader;
    const int bpp = h.biBitCount;
    const bool knownDepth = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    const bool fields = h.biCompression == BI_BITFIELDS;
    const LONG height = h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || !knownDepth || h.biWidth <= 0 || height <= 0 ||
        (h.biCompression != BI_RGB && !fields) || (fields && bpp != 16 && bpp != 32) ||
        (usage == DIB_PAL_COLORS && bpp > 8) || int64_t(h.biWidth) * height > kMaxDibPixels) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto dib = std::make_shared<DibSection>();
    dib->header = h;
    dib->header.biSize = sizeof(BITMAPINFOHEADER);
    dib->width = h.biWidth;
    dib->height = height;
    dib->bpp = bpp;
    dib->pitch = rowBytes(h.biWidth, bpp);
    dib->header.biSizeImage = DWORD(dib->pitch) * DWORD(height);
    dib->topDown = h.biHeight < 0;
    const uint8_t *table = reinterpret_cast<const uint8_t *>(info) + h.biSize;
    if (fields) {
        std::memcpy(dib->masks, table, sizeof dib->masks);
    } else if (bpp == 16) {
        dib->masks[0] = 0x7C00;
        dib->masks[1] = 0x03E0;
        dib->masks[2] = 0x001F;
    } else if (bpp >= 24) {
        dib->masks[0] = 0xFF0000;
        dib->masks[1] = 0x00FF00;
        dib->masks[2] = 0x0000FF;
    }
    if (bpp <= 8) {
        const DWORD count = h.biClrUsed != 0 && h.biClrUsed < (1u << bpp) ? h.biClrUsed : 1u << bpp;
        dib->colors.resize(count);
        for (DWORD i = 0; i < count; ++i) {
            if (usage == DIB_RGB_COLORS) {
                std::memcpy(&dib->colors[i], table + 4 * i, 4);
            } else {
                WORD index;
                std::memcpy(&index, table + 2 * i, 2);
                dib->colors[i] = index < 20 ? kDefaultPalette[index] : kDefaultPalette[0];
            }
        }
    }
    dib->storage.assign(dib->header.biSizeImage, 0);
    dib->dibBits = dib->storage.data();
    void *address = dib->dibBits;
    HBITMAP handle = insert(dib);
    if (bits) *bits = address;
    return handle;
}

// Asked on every lock of a drawable: the bitmap is read in place, without a reference.
int WINAPI GetObjectA(HGDIOBJ obj, int size, LPVOID out) {
    TableHold hold;
    Object *o = peek(hold, obj);
    if (o == nullptr || o->type != OBJ_BITMAP) {
        SetLastError(o != nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    Bitmap *b = static_cast<Bitmap *>(o);
    const DibSection *dib = b->asSection();
    if (!out) return dib ? int(sizeof(DIBSECTION)) : int(sizeof(BITMAP));
    if (size < int(sizeof(BITMAP))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Written field by field into the caller's structure: no copy of a whole DIBSECTION on
    // every lock.
    BITMAP *bm = static_cast<BITMAP *>(out);
    bm->bmType = 0;
    bm->bmWidth = b->width;
    bm->bmHeight = b->height;
    bm->bmWidthBytes = b->pitch;  // a section's is its DWORD-aligned row, kept from its creation
    bm->bmPlanes = WORD(b->planes);
    bm->bmBitsPixel = WORD(b->bpp);
    bm->bmBits = dib ? b->dibBits : nullptr;
    if (!dib || size < int(sizeof(DIBSECTION))) return sizeof(BITMAP);
    DIBSECTION *ds = static_cast<DIBSECTION *>(out);
    ds->dsBmih = dib->header;
    std::memcpy(ds->dsBitfields, dib->masks, sizeof ds->dsBitfields);
    ds->dshSection = nullptr;
    ds->dsOffset = 0;
    return sizeof(DIBSECTION);
}

HGDIOBJ WINAPI GetStockObject(int index) {
    std::lock_guard<std::recursive_mutex> g(stockLock());
    static HGDIOBJ brushes[6] = {};
    // White, light grey, grey, dark grey, black and the hollow brush.
    static constexpr BYTE kGrey[6] = {0xFF, 0xC0, 0x80, 0x40, 0, 0};
    if (index < 0 || index > NULL_BRUSH) return nullptr;
    if (!brushes[index]) {
        auto b = std::make_shared<Brush>();
        b->stock = true;
        b->color = RGB(kGrey[index], kGrey[index], kGrey[index]);
        b->hollow = index == NULL_BRUSH;
        brushes[index] = insert(b);
    }
    return brushes[index];
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    auto b = std::make_shared<Brush>();
    b->color = color & 0xFFFFFF;
    return reinterpret_cast<HBRUSH>(insert(b));
}

int WINAPI FillRect(HDC hdc, const RECT *rect, HBRUSH brush) {
    auto b = getBrush(brush);
    if (!getDC(hdc) || !b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The stand-in keeps pixels for memory DCs only: screen and window DCs draw nothing.
    if (!fillDcRect(hdc, *rect, *b)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    return 1;
}

// Drawing is never deferred: there is nothing to flush.
BOOL WINAPI GdiFlush(void) { return TRUE; }

}  // extern "C"
