// The graphics engine's drawing objects as a test builds them (clip regions, brushes, colour
// translations, strings) and the engine's own DIB renderer behind EngBitBlt, EngCopyBits,
// EngLineTo, EngStrokePath and EngTextOut.
//
// The renderer draws on surfaces whose bits it can reach (engine bitmaps and DIB descriptions
// of video memory). Sources of 1, 4, 8, 16 and 32 bits per pixel are translated through the
// translation's table when it has one; targets are 8, 16 or 32 bits per pixel. Raster
// operations are full ROP3s over destination, source and pattern, and ROP4s with a 1 bpp mask
// (mask bit 1 takes the low byte). A pattern brush repeats its 8 x 8 (or larger) pattern from
// the brush origin.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/ntgdi/winddi_draw.h"

// A clip region: bands of non-overlapping rectangles. Complexity follows the rectangles: none
// or one rectangle covering the bounds gives DC_RECT (DC_TRIVIAL when `trivial` is asked for).
struct KivClipObj {
    CLIPOBJ co{};                 // first: the driver's CLIPOBJ * is this record's address
    std::vector<RECTL> rects;
    std::vector<RECTL> order;     // the enumeration order of the current walk
    size_t next = 0;
    ULONG lastDirection = 0xFFFFFFFFu;   // of the last CLIPOBJ_cEnumStart
    static KivClipObj trivial(const RECTL &bounds);
    static KivClipObj rect(const RECTL &r);
    static KivClipObj region(const std::vector<RECTL> &rects);
    CLIPOBJ *get() { return &co; }
};

// A brush: solid (iSolidColor set) or an engine pattern with its translation into the target's
// colours. BRUSHOBJ_pvGetRbrush asks the loaded display driver to realise it (DrvRealizeBrush).
struct KivBrushObj {
    BRUSHOBJ bo{};                // first
    SURFOBJ *pattern = nullptr;
    XLATEOBJ *xlate = nullptr;
    ULONG iHatch = 0;
    SURFOBJ *target = nullptr;
    std::vector<uint8_t> rbrush;  // what BRUSHOBJ_pvAllocRbrush gave the driver
    unsigned realizeCalls = 0;
    static KivBrushObj solid(ULONG color);
    static KivBrushObj patterned(SURFOBJ *pattern, XLATEOBJ *xlate);
    BRUSHOBJ *get() { return &bo; }
};

// A colour translation: trivial, or a table (source index -> target colour).
struct KivXlateObj {
    XLATEOBJ xo{};                // first
    std::vector<ULONG> table;
    std::vector<ULONG> srcPalette, dstPalette;   // what XLATEOBJ_cGetPalette hands out
    static KivXlateObj identity();
    static KivXlateObj fromTable(const std::vector<ULONG> &table);
    // From an indexed source palette to the screen's: the table maps each index to the screen
    // colour (`toScreen` of the entry), and the source palette is there to be asked for.
    static KivXlateObj fromPalette(const std::vector<ULONG> &palette, ULONG (*toScreen)(ULONG entry));
    XLATEOBJ *get() { return &xo; }
};

// A string: glyph bitmaps and their positions; with `batch` > 0 and `enumerate` the driver is
// given no glyph array and must call STROBJ_bEnum, which hands out `batch` glyphs at a time.
struct KivGlyph {
    std::vector<uint32_t> store;  // a GLYPHBITS, dword aligned
    GLYPHDEF def{};
    GLYPHBITS *bits() { return reinterpret_cast<GLYPHBITS *>(store.data()); }
};
struct KivStrObj {
    STROBJ so{};                  // first
    std::vector<GLYPHPOS> pos;
    std::vector<KivGlyph *> glyphs;
    bool enumerate = false;
    ULONG batch = 0;
    size_t next = 0;
    STROBJ *get() { return &so; }
    // Builds the string's STROBJ from `pos` (call after filling it).
    void finish(bool enumerateIt = false, ULONG batchSize = 0, ULONG charInc = 0);
};
// A glyph of cx x cy pixels whose rows are given as strings of '#' and '.' (row-major).
KivGlyph *kivMakeGlyph(const std::vector<const char *> &rows, POINTL origin);

// Pixel access for the renderer and tests (surfaces with reachable bits).
uint32_t kivEngGetPixel(const SURFOBJ *pso, LONG x, LONG y);
void kivEngSetPixel(SURFOBJ *pso, LONG x, LONG y, uint32_t v);
// ROP3 of one pixel (destination, source, pattern).
uint32_t kivEngRop3(uint32_t rop3, uint32_t d, uint32_t s, uint32_t p);

// How often the engine had to draw itself, by service.
struct KivEngDrawCounts {
    unsigned bitBlt, copyBits, lineTo, strokePath, textOut;
};
KivEngDrawCounts kivEngDrawCounts();
void kivEngResetDrawCounts();
// The surface arguments of the last engine drawing call (as the driver passed them).
const SURFOBJ *kivEngLastTarget();
const SURFOBJ *kivEngLastSource();
// The last target as it was when the call was made (the pointer may name a record since gone).
SURFOBJ kivEngLastTargetSeen();
