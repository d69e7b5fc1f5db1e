// Brush realisation and the colour dithers the engine asks for.
#include <cstring>

#include "display/blt.h"
#include "display/ddi.h"

namespace {

// Order in which the 64 bits of a monochrome dither are set: (dword, bit) per level, an 8 x 8
// ordered-dither sequence that starts at the top-left pixel.
struct MonoStep { uint8_t dword, bit; };
constexpr MonoStep kMonoOrder[64] = {
    {0, 0x80}, {4, 0x08}, {0, 0x08}, {4, 0x80}, {2, 0x20}, {6, 0x02}, {2, 0x02}, {6, 0x20}, {0, 0x20}, {4, 0x02}, {0, 0x02},
    {4, 0x20}, {2, 0x80}, {6, 0x08}, {2, 0x08}, {6, 0x80}, {1, 0x40}, {5, 0x04}, {1, 0x04}, {5, 0x40}, {3, 0x10},
    {7, 0x01}, {3, 0x01}, {7, 0x10}, {1, 0x10}, {5, 0x01}, {1, 0x01}, {5, 0x10}, {3, 0x40}, {7, 0x04}, {3, 0x04},
    {7, 0x40}, {0, 0x40}, {4, 0x04}, {0, 0x04}, {4, 0x40}, {2, 0x10}, {6, 0x01}, {2, 0x01}, {6, 0x10}, {0, 0x10},
    {4, 0x01}, {0, 0x01}, {4, 0x10}, {2, 0x40}, {6, 0x04}, {2, 0x04}, {6, 0x40}, {1, 0x80}, {5, 0x08}, {1, 0x08},
    {5, 0x80}, {3, 0x20}, {7, 0x02}, {3, 0x02}, {7, 0x20}, {1, 0x20}, {5, 0x02}, {1, 0x02}, {5, 0x20}, {3, 0x80},
    {7, 0x08}, {3, 0x08}, {7, 0x80},
};
static_assert(kMonoOrder[63].bit == 0x80, "every one of the 64 levels has its bit");

// Byte positions of the 8 x 8 colour pattern in the order they are given out.
constexpr uint8_t kColorPositions[64] = {
    0, 36, 4, 32, 18, 54, 22, 50, 2, 38, 6, 34, 16, 52, 20, 48, 9, 45, 13, 41, 27, 63, 31, 59, 11, 47, 15, 43, 25, 61, 29,
    57, 1, 37, 5, 33, 19, 55, 23, 51, 3, 39, 7, 35, 17, 53, 21, 49, 8, 44, 12, 40, 26, 62, 30, 58, 10, 46, 14, 42, 24, 60,
    28, 56,
};

// Colour-cube vertex to static palette index: bits 1, 2, 4 are red, green and blue at half
// intensity, 7 dark grey, 8 light grey, 8 plus bits the full colours, 15 white.
constexpr uint8_t kVertexIndex[16] = {0, 1, 2, 3, 4, 5, 6, 248, 7, 249, 250, 251, 252, 253, 254, 255};

struct Vertex { LONG count; ULONG vertex; };

}  // namespace

extern "C" BOOL APIENTRY DrvRealizeBrush(void *pvbo, SURFOBJ *psoTarget, SURFOBJ *psoPattern, SURFOBJ *, void *pvxlo,
                                         ULONG iHatch) {
    auto *pbo = static_cast<BRUSHOBJ *>(pvbo);
    auto *pxlo = static_cast<XLATEOBJ *>(pvxlo);
    if ((iHatch & RB_DITHERCOLOR) || !psoPattern || psoPattern->sizlBitmap.cx != 8 || psoPattern->sizlBitmap.cy != 8)
        return FALSE;
    ZK_PDEV *ppdev = psoTarget ? reinterpret_cast<ZK_PDEV *>(psoTarget->dhpdev) : nullptr;
    if (!ppdev) return FALSE;
    auto *prb = static_cast<ZK_RBRUSH *>(BRUSHOBJ_pvAllocRbrush(pbo, sizeof(ZK_RBRUSH)));
    if (!prb) return FALSE;
    prb->flags = 0;
    const ULONG pel = ppdev->cjPelSize;
    const auto *bits = static_cast<const uint8_t *>(psoPattern->pvScan0);
    const bool trivial = !pxlo || (pxlo->flXlate & XO_TRIVIAL);
    if (psoPattern->iBitmapFormat == ppdev->iBitmapFormat && trivial) {
        for (int y = 0; y < 8; ++y) std::memcpy(prb->aj + y * 8 * pel, bits + y * psoPattern->lDelta, 8 * pel);
        return TRUE;
    }
    if (psoPattern->iBitmapFormat == BMF_1BPP && ppdev->iBitmapFormat != BMF_24BPP) {
        for (int y = 0; y < 8; ++y) prb->aj[y] = bits[y * psoPattern->lDelta];
        prb->flags = RB_MONO;
        // Without a translation table the pattern's bits are the colours themselves.
        const bool table = pxlo && pxlo->pulXlate && pxlo->cEntries >= 2 && !(pxlo->flXlate & XO_TRIVIAL);
        prb->foreground = table ? pxlo->pulXlate[1] : 1;
        prb->background = table ? pxlo->pulXlate[0] : 0;
        return TRUE;
    }
    if (psoPattern->iBitmapFormat == BMF_4BPP && ppdev->iBitmapFormat == BMF_8BPP) return FALSE;
    // Anything else is converted by the engine into the screen's format.
    HBITMAP hbm = EngCreateBitmap(SIZEL{8, 8}, static_cast<LONG>(8 * pel), ppdev->iBitmapFormat, BMF_TOPDOWN, prb->aj);
    if (!hbm) return FALSE;
    HSURF hsurf = reinterpret_cast<HSURF>(hbm);
    SURFOBJ *conv = EngLockSurface(hsurf);
    BOOL ok = FALSE;
    if (conv) {
        RECTL r{0, 0, 8, 8};
        POINTL p{0, 0};
        ok = EngCopyBits(conv, psoPattern, nullptr, pxlo, &r, &p);
        EngUnlockSurface(conv);
    }
    EngDeleteSurface(hsurf);
    return ok;
}

extern "C" ULONG APIENTRY DrvDitherColor(DHPDEV, ULONG iMode, ULONG rgb, ULONG *pul) {
    const LONG R = rgb & 0xFF, G = (rgb >> 8) & 0xFF, B = (rgb >> 16) & 0xFF;
    if (iMode == DM_MONOCHROME) {
        std::memset(pul, 0, 8 * sizeof(ULONG));
        const LONG n = ((R * 77 + G * 151 + B * 28) / 256 + 1) >> 2;
        for (LONG k = n; k >= 1; --k) pul[kMonoOrder[k - 1].dword] |= kMonoOrder[k - 1].bit;
        return DCR_DRIVER;
    }
    // Channels by size: max, mid and min, with the vertex bit of each.
    LONG b, c, e;
    ULONG bBit, cBit, eBit;
    if (R >= B) { b = R; bBit = 1; c = B; cBit = 4; }
    else { b = B; bBit = 4; c = R; cBit = 1; }
    if (G < c) { e = c; eBit = cBit; c = G; cBit = 2; }
    else { e = G; eBit = 2; }
    LONG max, mid, min = c;
    ULONG maxBit, midBit;
    if (b >= e) { max = b; maxBit = bBit; mid = e; midBit = eBit; }
    else { max = e; maxBit = eBit; mid = b; midBit = bBit; }
    const ULONG p1 = maxBit, p3 = maxBit | midBit, p9 = 8 + p1, p11 = 8 + p3;
    const LONG f = (max + 1) >> 2, g = (mid + 1) >> 2, h = (min + 1) >> 2;
    Vertex all[4];
    if (max + mid <= 256) {
        if (max <= 128) {
            all[0] = {64 - 2 * f, 0}; all[1] = {2 * (f - g), p1}; all[2] = {2 * (g - h), p3}; all[3] = {2 * h, 7};
        } else {
            all[0] = {2 * (64 - g - f), p1}; all[1] = {2 * (g - h), p3}; all[2] = {2 * h, 7}; all[3] = {2 * f - 64, p9};
        }
    } else if (min + max <= 256) {
        all[0] = {2 * (64 - f - h), p3}; all[1] = {2 * h, 7}; all[2] = {f - g, p9}; all[3] = {f + g - 64, p11};
    } else {
        all[0] = {max == 255 ? 0 : 2 * (64 - f), 7}; all[1] = {f - g, p9}; all[2] = {g - h, p11}; all[3] = {f + h - 64, 15};
    }
    Vertex v[4];
    int n = 0;
    for (const Vertex &x : all)
        if (x.count > 0) v[n++] = x;
    auto *out = reinterpret_cast<uint8_t *>(pul);
    if (n == 0) {
        std::memset(out, 0, 64);
        return DCR_DRIVER;
    }
    int bg = 0;
    if (n == 2) bg = v[1].count > v[0].count ? 1 : 0;
    else if (n == 3) bg = (v[0].count > v[1].count && v[0].count > v[2].count) ? 0 : v[2].count > v[1].count ? 2 : 1;
    else if (n == 4)
        bg = (v[0].count > v[1].count && v[0].count > v[2].count && v[0].count > v[3].count) ? 0
             : (v[1].count > v[2].count && v[1].count > v[3].count) ? 1
             : v[3].count > v[2].count ? 3 : 2;
    std::memset(out, kVertexIndex[v[bg].vertex], 64);
    int pos = 0;
    for (int i = 0; i < n; ++i) {
        for (LONG k = 0; k < v[i].count && pos < 64; ++k, ++pos)
            if (i != bg) out[kColorPositions[pos]] = kVertexIndex[v[i].vertex];
    }
    return DCR_DRIVER;
}
