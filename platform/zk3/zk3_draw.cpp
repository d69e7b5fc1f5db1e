// The ZK3 engine's 2-D drawing model: the drawing objects, the stretches and scalers, the memory-to-
// memory copies and the overlay scan, turning the methods the engine runs into pixels in video
// memory; and the object-graph walk the drawing models share.
#include "platform/zk3/zk3_draw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>

#include "include/zk_engine_classes.h"
#include "platform/zk3/zk3_engine.h"
#include "platform/zk3/zk3_graph.h"
#include "platform/zk3/zk3_triangle.h"

namespace {

enum : uint32_t {
    kClassSurface = ZK_CLASS_SURFACE, kClassRop = ZK_CLASS_ROP, kClassPattern = ZK_CLASS_PATTERN,
    kClassClip = ZK_CLASS_CLIP, kClassRect = ZK_CLASS_RECTANGLE, kClassBlit = ZK_CLASS_BLIT,
    kClassImage = ZK_CLASS_IMAGE_FROM_CPU, kClassMono = ZK_CLASS_MONO_EXPANSION, kClassMemCopy = ZK_CLASS_MEMORY_TO_MEMORY,
    kClassTriangle = ZK_CLASS_TRIANGLE, kClassDepthSurface = ZK_CLASS_DEPTH_SURFACE,
};
enum : uint32_t {
    kDstSurface = ZK_OBJ_DST_SURFACE, kSrcSurface = ZK_OBJ_SRC_SURFACE, kRop = ZK_OBJ_ROP, kPattern = ZK_OBJ_PATTERN,
    kClip = ZK_OBJ_CLIP, kSrcKey = ZK_OBJ_COLOR_KEY,
};

struct Rect { int32_t l, t, r, b; };

// A stream of data dwords that becomes rows of pixels.
struct Stream {
    bool active = false;
    int32_t x = 0, y = 0;        // where the image starts
    uint32_t wIn = 0, wOut = 0, h = 0;
    uint32_t rowBytes = 0;       // bytes of one row in the stream
    std::vector<uint8_t> bytes;  // what has arrived of the current image
    Rect clip{0, 0, 0, 0};
    uint32_t color0 = 0, color1 = 0;
    bool opaque = false;         // mono: 0 bits drawn too
};

struct Model {
    Zk3DrawStats stats{};
    std::vector<std::string> errors;
    Stream image, monoC, monoE;

    void error(const char *fmt, uint32_t a = 0, uint32_t b = 0) {
        char buf[160];
        std::snprintf(buf, sizeof buf, fmt, a, b);
        if (errors.size() < 64) errors.emplace_back(buf);
    }
};

Model &model() {
    static Model m;
    return m;
}

int32_t lo16(uint32_t v) { return static_cast<int16_t>(v & 0xFFFF); }
int32_t hi16(uint32_t v) { return static_cast<int16_t>(v >> 16); }

using Surface = Zk3Surface;

Surface surfaceOf(uint32_t handle) { return zk3SurfaceOf(zk3EngineFind(handle)); }

// The display driver's objects (handles 0xA0000-0xA00FF) reach their surfaces, ROP, pattern,
// clip and colour key by those fixed handles; every other object follows its connections.
bool displayDriverObject(const Zk3EngineObject &o) { return (o.handle >> 8) == 0xA00; }

uint32_t rop3() {
    const Zk3EngineObject *o = zk3EngineFind(kRop);
    return o ? o->method(0x300, 0xCC) & 0xFF : 0xCC;
}

uint32_t ropApply(uint32_t rop, uint32_t d, uint32_t s, uint32_t p) {
    uint32_t r = 0;
    for (unsigned i = 0; i < 8; ++i)
        if (rop & (1u << i)) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    return r;
}

// The source colour key (object 0xA0007, 0x304): on while the value has bits above the
// destination's pixel bits; source pixels equal to its pixel bits are not drawn.
struct SourceKey {
    bool on = false;
    uint32_t value = 0;
    bool skips(uint32_t pixel, uint32_t mask) const { return on && (pixel & mask) == value; }
};
SourceKey sourceKey(uint32_t mask) {
    SourceKey k;
    const Zk3EngineObject *o = zk3EngineFind(kSrcKey);
    if (!o) return k;
    const uint32_t v = o->method(0x304, 0);
    k.on = (v & ~mask) != 0;
    k.value = v & mask;
    return k;
}

bool ropUsesPattern(uint32_t rop) { return ((rop >> 4) ^ rop) & 0x0F; }

uint32_t patternAt(int32_t x, int32_t y) {
    const Zk3EngineObject *o = zk3EngineFind(kPattern);
    if (!o) return 0;
    const uint32_t c0 = o->method(0x310, 0), c1 = o->method(0x314, 0);
    if (o->method(0x308, 1) != 0) return c1;
    const uint32_t row = static_cast<uint32_t>(y) & 7;
    const uint32_t word = o->method(row < 4 ? 0x318 : 0x31C, 0);
    const uint32_t byte = (word >> (8 * (row & 3))) & 0xFF;
    return (byte >> (7 - (static_cast<uint32_t>(x) & 7))) & 1 ? c1 : c0;
}

Rect clipObject() {
    const Zk3EngineObject *o = zk3EngineFind(kClip);
    if (!o) return {0, 0, 0x7FFF, 0x7FFF};
    const uint32_t p = o->method(0x300, 0), s = o->method(0x304, 0x7FFF7FFF);
    const int32_t x = lo16(p), y = hi16(p);
    return {x, y, x + static_cast<int32_t>(s & 0xFFFF), y + static_cast<int32_t>(s >> 16)};
}

// One pixel with the current ROP: s is the source operand (colours come without their alpha
// bits, image and blit pixels as they are).
void plot(const Surface &dst, const Rect &clip, int32_t x, int32_t y, uint32_t s, uint32_t rop) {
    if (x < clip.l || y < clip.t || x >= clip.r || y >= clip.b || !dst.inside(x, y)) return;
    const uint32_t p = ropUsesPattern(rop) ? patternAt(x, y) & dst.mask() : 0;
    const uint32_t d = dst.get(x, y);
    dst.put(x, y, ropApply(rop, d, s, p) & dst.storeMask());
    ++model().stats.pixels;
}

// An A8R8G8B8 colour in a 16-bit surface's X1R5G5B5 bits, each channel rounded to nearest.
uint32_t to555(uint32_t c) {
    auto ch = [](uint32_t v) { return (v * 31 + 127) / 255; };
    return ch((c >> 16) & 0xFF) << 10 | ch((c >> 8) & 0xFF) << 5 | ch(c & 0xFF);
}

void fillInto(const Surface &dst, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t color, const Rect &clip,
              uint32_t rop) {
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i) plot(dst, clip, x + i, y + j, color & dst.mask(), rop);
}

void fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t color, const Rect &clip) {
    const Surface dst = surfaceOf(kDstSurface);
    if (!dst.ok) {
        model().error("fill with no usable destination surface");
        return;
    }
    const uint32_t rop = rop3();
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i) plot(dst, clip, x + i, y + j, color & dst.mask(), rop);
}

// The display driver's blit copies between its fixed surfaces within its clip object; another
// blit copies from the surface its connection 0x204 reaches to the one 0x200 reaches, unclipped.
void blit(const Zk3EngineObject &o, uint32_t size) {
    const bool fixed = displayDriverObject(o);
    const Surface dst = fixed ? surfaceOf(kDstSurface) : zk3SurfaceOf(zk3Reach(o, 0x200, {kClassSurface}));
    const Surface src = fixed ? surfaceOf(kSrcSurface) : zk3SurfaceOf(zk3Reach(o, 0x204, {kClassSurface}));
    if (!dst.ok || !src.ok || dst.bpp != src.bpp) {
        model().error("blit without usable surfaces");
        return;
    }
    const uint32_t sp = o.method(0x300, 0), dp = o.method(0x304, 0);
    const int32_t sx = lo16(sp), sy = hi16(sp), dx = lo16(dp), dy = hi16(dp);
    const int32_t w = static_cast<int32_t>(size & 0xFFFF), h = static_cast<int32_t>(size >> 16);
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i)
            pixels[static_cast<size_t>(j) * w + i] = src.inside(sx + i, sy + j) ? src.get(sx + i, sy + j) : 0;
    const Rect clip = fixed ? clipObject() : Rect{-0x8000, -0x8000, 0x7FFF, 0x7FFF};
    const uint32_t rop = fixed ? rop3() : 0xCC;
    const SourceKey key = fixed ? sourceKey(src.mask()) : SourceKey{};
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i) {
            const uint32_t v = pixels[static_cast<size_t>(j) * w + i];
            if (!key.skips(v, src.mask())) plot(dst, clip, dx + i, dy + j, v, rop);
        }
    ++model().stats.blits;
}

// Draws every complete row that arrived and ends the image when all rows are there.
void drainImage(Stream &s) {
    const Surface dst = surfaceOf(kDstSurface);
    const uint32_t bytesPer = dst.bpp / 8;
    if (!dst.ok) {
        model().error("image with no usable destination surface");
        s.active = false;
        return;
    }
    const Rect clip = clipObject();
    const uint32_t rop = rop3();
    const SourceKey key = sourceKey(dst.mask());
    while (s.active && s.bytes.size() >= s.rowBytes) {
        for (uint32_t i = 0; i < s.wOut && (i + 1) * bytesPer <= s.rowBytes; ++i) {
            uint32_t v = 0;
            std::memcpy(&v, s.bytes.data() + i * bytesPer, bytesPer);
            if (!key.skips(v, dst.mask())) plot(dst, clip, s.x + static_cast<int32_t>(i), s.y, v, rop);
        }
        s.bytes.erase(s.bytes.begin(), s.bytes.begin() + s.rowBytes);
        ++s.y;
        if (--s.h == 0) s.active = false;
    }
}

void drainMono(Stream &s) {
    const Surface dst = surfaceOf(kDstSurface);
    if (!dst.ok) {
        model().error("expansion with no usable destination surface");
        s.active = false;
        return;
    }
    const uint32_t rop = rop3();
    while (s.active && s.bytes.size() >= s.rowBytes) {
        for (uint32_t i = 0; i < s.wOut && i / 8 < s.rowBytes; ++i) {
            const bool bit = (s.bytes[i / 8] >> (7 - (i & 7))) & 1;
            if (!bit && !s.opaque) continue;
            plot(dst, s.clip, s.x + static_cast<int32_t>(i), s.y, (bit ? s.color1 : s.color0) & dst.mask(), rop);
        }
        s.bytes.erase(s.bytes.begin(), s.bytes.begin() + s.rowBytes);
        ++s.y;
        if (--s.h == 0) s.active = false;
    }
}

void feed(Stream &s, uint32_t value, bool mono, const char *what) {
    if (!s.active) {
        model().error(what, value);
        return;
    }
    for (int k = 0; k < 4; ++k) s.bytes.push_back(static_cast<uint8_t>(value >> (8 * k)));
    if (mono) drainMono(s);
    else drainImage(s);
    // Padding dwords after the last row end the image without drawing.
    if (!s.active) s.bytes.clear();
}

void startStream(Stream &s, uint32_t point, uint32_t sizeIn, uint32_t sizeOut, uint32_t bitsPerPixel, bool swapPoint) {
    s.x = swapPoint ? hi16(point) : lo16(point);
    s.y = swapPoint ? lo16(point) : hi16(point);
    s.wIn = sizeIn & 0xFFFF;
    s.wOut = sizeOut & 0xFFFF;
    s.h = sizeOut >> 16;
    s.rowBytes = (s.wIn * bitsPerPixel + 7) / 8;
    if (bitsPerPixel > 1) s.rowBytes = (s.rowBytes + 3) & ~3u;
    s.bytes.clear();
    s.active = s.h != 0 && s.rowBytes != 0;
}

void memoryCopy(const Zk3EngineObject &o) {
    Model &m = model();
    const Zk3EngineObject *in = zk3EngineFind(o.method(0x300, 0));
    const Zk3EngineObject *out = zk3EngineFind(o.method(0x304, 0));
    const Zk3EngineObject *notifier = zk3EngineFind(o.method(0x308, 0));
    // Format: source byte step in bits 0-7, destination byte step in bits 8-15 (0x101 copies
    // whole lines; other steps gather or scatter single bytes).
    const uint32_t format = o.method(0x324, 0), stepIn = format & 0xFF, stepOut = (format >> 8) & 0xFF;
    if (!in || !out || !in->isMemory || !out->isMemory || (format >> 16) != 0 || stepIn == 0 || stepIn > 4 ||
        stepOut == 0 || stepOut > 4) {
        m.error("memory copy without memory objects or in format 0x%X", format);
        return;
    }
    const uint32_t offIn = o.method(0x30C, 0), offOut = o.method(0x310, 0);
    const uint32_t pitchIn = o.method(0x314, 0), pitchOut = o.method(0x318, 0);
    const uint32_t len = o.method(0x31C, 0), lines = o.method(0x320, 0);
    const uint64_t spanIn = len ? static_cast<uint64_t>(len - 1) * stepIn + 1 : 0;
    const uint64_t spanOut = len ? static_cast<uint64_t>(len - 1) * stepOut + 1 : 0;
    const uint64_t lastIn = lines ? static_cast<uint64_t>(offIn) + static_cast<uint64_t>(pitchIn) * (lines - 1) + spanIn : 0;
    const uint64_t lastOut = lines ? static_cast<uint64_t>(offOut) + static_cast<uint64_t>(pitchOut) * (lines - 1) + spanOut : 0;
    if (lastIn > static_cast<uint64_t>(in->limit) + 1 || lastOut > static_cast<uint64_t>(out->limit) + 1) {
        m.error("memory copy of %u lines outside its memory objects (in 0x%X)", lines, offIn);
    } else {
        auto *src = reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(in->base)) + offIn;
        auto *dst = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(out->base)) + offOut;
        for (uint32_t l = 0; l < lines; ++l) {
            uint8_t *d = dst + static_cast<size_t>(l) * pitchOut;
            const uint8_t *sp = src + static_cast<size_t>(l) * pitchIn;
            if (format == 0x101) {
                std::memmove(d, sp, len);
            } else {
                for (uint32_t k = 0; k < len; ++k) d[static_cast<size_t>(k) * stepOut] = sp[static_cast<size_t>(k) * stepIn];
            }
        }
        ++m.stats.memoryCopies;
    }
    zk3EngineNotify(notifier);
}


// ---- scalers and the overlay ---------------------------------------------------------------------
//
// Sampling is nearest-texel at pixel centres. The CPU-fed stretch (class 0x36) is given
// destination-per-source scales S (12.20) and a start point in 1/16 pixel: destination pixel X
// takes source column floor((16 X + 8 - x16) 2^20 / (16 Sx)), rows likewise. The memory-fed scaler
// (class 0x37) is given source-per-destination steps D (12.20) from the destination rectangle's
// origin: destination pixel i takes source column ((2 i + 1) Dx) >> 21; a band holds the source
// lines and columns from its start point (in 1/16 pixel) on, and draws the destination pixels
// whose samples fall inside it.
//
// YUV becomes RGB the way the scalers convert it (studio-range luma and chroma):
//   C = Y - 16, D = U - 128, E = V - 128;
//   R = (298 C + 409 E + 128) >> 8, G = (298 C - 100 D - 208 E + 128) >> 8, B = (298 C + 516 D + 128) >> 8,
// each clamped to 0-255, then cut to the destination's 5-5-5 or 8-8-8 bits. Both pixels of a
// pair share the pair's U and V.

uint32_t bppOfSurfaceFormat(uint32_t format) {
    return format == 0x1010000 ? 8 : format == 0x1000000 ? 16 : format == 1 ? 32 : 0;
}

uint8_t clamp8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

uint32_t yuvToPixel(int y, int u, int v, uint32_t bpp) {
    const int c = y - 16, d = u - 128, e = v - 128;
    const uint32_t r = clamp8((298 * c + 409 * e + 128) >> 8);
    const uint32_t g = clamp8((298 * c - 100 * d - 208 * e + 128) >> 8);
    const uint32_t b = clamp8((298 * c + 516 * d + 128) >> 8);
    if (bpp == 16) return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    return r << 16 | g << 8 | b;
}

int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

Rect meet(const Rect &a, const Rect &b) {
    return {std::max(a.l, b.l), std::max(a.t, b.t), std::min(a.r, b.r), std::min(a.b, b.b)};
}

// The pixels of a surface's memory: its columns up to the pitch and its rows whose first pixel
// lies in the memory object (the last one may end early; plot checks each pixel).
Rect extentOf(const Surface &dst) {
    const uint32_t bytes = dst.bpp / 8;
    if (!dst.ok || !bytes || dst.pitch < bytes || dst.bytesLeft < bytes) return {0, 0, 0, 0};
    const uint64_t rows = (dst.bytesLeft - bytes) / dst.pitch + 1;
    const auto side = [](uint64_t n) { return static_cast<int32_t>(std::min<uint64_t>(n, 0x7FFFFFFF)); };
    return {0, 0, side(dst.pitch / bytes), side(rows)};
}

// A run of destination coordinates [first, end).
struct Run { int32_t first, end; };

// The destination coordinates in [lo, hi) whose source sample `sample(at)` lies in [from, to).
// The samples grow with the coordinate, so they form one run, found by halving: the work is the
// logarithm of the range, not the range (a tall window no longer costs each source row its height).
template <typename Sample> Run runOf(int32_t lo, int32_t hi, int64_t from, int64_t to, const Sample &sample) {
    const auto firstReaching = [&](int32_t a, int32_t b, int64_t k) {
        while (a < b) {
            const int32_t mid = a + (b - a) / 2;
            ++model().stats.sampleLookups;
            if (sample(mid) >= k) b = mid;
            else a = mid + 1;
        }
        return a;
    };
    if (lo >= hi) return {lo, lo};
    const int32_t first = firstReaching(lo, hi, from);
    return {first, firstReaching(first, hi, to)};
}

// A stretched image the CPU feeds row by row.
struct Stretch {
    bool active = false;
    uint32_t handle = 0;
    uint32_t bytesPer = 0, rowBytes = 0, rows = 0, row = 0;
    uint32_t sx = 0, sy = 0;      // destination per source, 12.20
    int32_t x16 = 0, y16 = 0;     // where source (0, 0) begins, 1/16 pixel
    Rect window{0, 0, 0, 0};
    std::vector<uint8_t> bytes;
};

struct ScalerState {
    Stretch stretch;
    std::vector<std::pair<uint32_t, uint32_t>> shownBuffer;   // flip object -> buffer last started
    uint64_t scaledBands = 0, stretchedRows = 0;
};

ScalerState &scalers() {
    static ScalerState s;
    return s;
}

void startStretch(const Zk3EngineObject &o) {
    Stretch &s = scalers().stretch;
    const uint32_t size = o.method(0x304, 0), point = o.method(0x310, 0), dsize = o.method(0x314, 0);
    const uint32_t start = o.method(0x318, 0);
    s = Stretch{};
    s.handle = o.handle;
    s.bytesPer = bppOfSurfaceFormat(o.method(0x300, 0)) / 8;
    s.rowBytes = ((size & 0xFFFF) * s.bytesPer + 3) & ~3u;
    s.rows = size >> 16;
    s.sx = o.method(0x308, 0);
    s.sy = o.method(0x30C, 0);
    s.x16 = lo16(start);
    s.y16 = hi16(start);
    const int32_t x = lo16(point), y = hi16(point);
    s.window = {x, y, x + static_cast<int32_t>(dsize & 0xFFFF), y + static_cast<int32_t>(dsize >> 16)};
    if (!s.bytesPer || !s.sx || !s.sy) {
        model().error("stretched image with format 0x%X or a zero scale", o.method(0x300, 0));
        return;
    }
    s.active = s.rows != 0 && s.rowBytes != 0;
}

// Source index of destination coordinate `at` for a stretch starting at `start16` with scale `scale`.
int64_t stretchIndex(int32_t at, int32_t start16, uint32_t scale) {
    return floorDiv((static_cast<int64_t>(16) * at + 8 - start16) << 20, static_cast<int64_t>(scale) * 16);
}

void drawStretchRow(Stretch &s) {
    const Surface dst = surfaceOf(kDstSurface);
    if (!dst.ok || dst.bpp / 8 != s.bytesPer) {
        model().error("stretched image without a destination surface of its depth");
        s.active = false;
        return;
    }
    const Rect clip = clipObject();
    const uint32_t rop = rop3();
    const SourceKey key = sourceKey(dst.mask());
    const uint32_t width = s.rowBytes / s.bytesPer;
    const auto row = [&](int32_t y) { return stretchIndex(y, s.y16, s.sy); };
    const auto column = [&](int32_t x) { return stretchIndex(x, s.x16, s.sx); };
    // The destination rows this source row covers, and the columns its pixels cover.
    const Rect area = meet(meet(s.window, clip), extentOf(dst));
    const Run rows = runOf(area.t, area.b, s.row, s.row + 1, row);
    const Run columns = runOf(area.l, area.r, 0, width, column);
    for (int32_t y = rows.first; y < rows.end; ++y) {
        for (int32_t x = columns.first; x < columns.end; ++x) {
            ++model().stats.sampleLookups;
            const int64_t i = column(x);
            uint32_t v = 0;
            std::memcpy(&v, s.bytes.data() + i * s.bytesPer, s.bytesPer);
            if (!key.skips(v, dst.mask())) plot(dst, clip, x, y, v & dst.mask(), rop);
        }
    }
    model().stats.texels += width;
    ++scalers().stretchedRows;
}

void feedStretch(const Zk3EngineObject &o, uint32_t value) {
    Stretch &s = scalers().stretch;
    if (!s.active || s.handle != o.handle) {
        model().error("stretched-image data with no image started (0x%X)", value);
        return;
    }
    for (int k = 0; k < 4; ++k) s.bytes.push_back(static_cast<uint8_t>(value >> (8 * k)));
    if (s.bytes.size() < s.rowBytes) return;
    drawStretchRow(s);
    s.bytes.clear();
    if (++s.row == s.rows) s.active = false;
}

// The source formats of the memory-fed scaler.
enum class ScaleSource { Rgb16, Rgb32, Uyvy, Yuy2, None };
ScaleSource scaleSourceOf(uint32_t format) {
    switch (format) {
    case 0x1000000: return ScaleSource::Rgb16;
    case 1: return ScaleSource::Rgb32;
    case 0x20001: return ScaleSource::Uyvy;
    case 0x20000: return ScaleSource::Yuy2;
    default: return ScaleSource::None;
    }
}

// One band of a scaled image read from memory.
void scaleBand(const Zk3EngineObject &o) {
    Model &m = model();
    const ScaleSource format = scaleSourceOf(o.method(0x300, 0));
    const Zk3EngineObject *mem = zk3EngineFind(o.method(0x304, 0));
    const Surface dst = surfaceOf(kDstSurface);
    if (format == ScaleSource::None || !mem || !mem->isMemory || !dst.ok || dst.bpp < 16) {
        m.error("scaled image in format 0x%X without memory or destination", o.method(0x300, 0));
        return;
    }
    const bool yuv = format == ScaleSource::Uyvy || format == ScaleSource::Yuy2;
    const uint32_t srcBytes = format == ScaleSource::Rgb32 ? 4 : 2;
    if (!yuv && srcBytes * 8 != dst.bpp) {
        m.error("scaled RGB image of another depth than its destination (0x%X)", o.method(0x300, 0));
        return;
    }
    const uint32_t band = o.method(0x400, 0), pitch = o.method(0x404, 0), offset = o.method(0x408, 0);
    const uint32_t start = o.method(0x40C, 0);
    const uint32_t lines = band >> 16, width = band & 0xFFFF;
    const int64_t u0 = (start & 0xFFFF) >> 4, v0 = (start >> 16) >> 4;
    const uint64_t last = lines ? static_cast<uint64_t>(offset) + static_cast<uint64_t>(pitch) * (lines - 1) +
                                      static_cast<uint64_t>(width) * srcBytes
                                : 0;
    if (last > static_cast<uint64_t>(mem->limit) + 1) {
        m.error("scaled image band of %u lines outside its memory object (offset 0x%X)", lines, offset);
        return;
    }
    const uint8_t *base = reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(mem->base)) + offset;
    const uint32_t point = o.method(0x308, 0), size = o.method(0x30C, 0);
    const uint32_t du = o.method(0x318, 0), dv = o.method(0x31C, 0);
    const uint32_t wpoint = o.method(0x310, 0), wsize = o.method(0x314, 0);
    const int32_t dx = lo16(point), dy = hi16(point);
    const int32_t wx = lo16(wpoint), wy = hi16(wpoint);
    Rect clip = clipObject();
    clip.l = std::max(clip.l, std::max(dx, wx));
    clip.t = std::max(clip.t, std::max(dy, wy));
    clip.r = std::min(clip.r, std::min(dx + static_cast<int32_t>(size & 0xFFFF), wx + static_cast<int32_t>(wsize & 0xFFFF)));
    clip.b = std::min(clip.b, std::min(dy + static_cast<int32_t>(size >> 16), wy + static_cast<int32_t>(wsize >> 16)));
    const uint32_t rop = rop3();
    const auto line = [&](int32_t y) { return ((2 * static_cast<int64_t>(y - dy) + 1) * dv >> 21) - v0; };
    const auto column = [&](int32_t x) { return ((2 * static_cast<int64_t>(x - dx) + 1) * du >> 21) - u0; };
    // Only the destination pixels whose samples fall inside the band are looked at.
    const Rect area = meet(clip, extentOf(dst));
    const Run rows = runOf(area.t, area.b, 0, lines, line);
    const Run columns = runOf(area.l, area.r, 0, width, column);
    for (int32_t y = rows.first; y < rows.end; ++y) {
        ++m.stats.sampleLookups;
        const uint8_t *row = base + static_cast<size_t>(line(y)) * pitch;
        for (int32_t x = columns.first; x < columns.end; ++x) {
            ++m.stats.sampleLookups;
            ++m.stats.texels;
            const int64_t u = column(x);
            uint32_t pixel;
            if (yuv) {
                const uint8_t *pair = row + (u & ~int64_t{1}) * 2;
                const bool uFirst = format == ScaleSource::Uyvy;
                const int luma = pair[(uFirst ? 1 : 0) + 2 * (u & 1)];
                const int cb = pair[uFirst ? 0 : 1], cr = pair[uFirst ? 2 : 3];
                pixel = yuvToPixel(luma, cb, cr, dst.bpp);
            } else {
                pixel = 0;
                std::memcpy(&pixel, row + u * srcBytes, srcBytes);
            }
            plot(dst, clip, x, y, pixel & dst.mask(), rop);
        }
    }
    ++scalers().scaledBands;
}

uint32_t &shownBuffer(uint32_t handle) {
    for (auto &p : scalers().shownBuffer)
        if (p.first == handle) return p.second;
    scalers().shownBuffer.emplace_back(handle, 0);
    return scalers().shownBuffer.back().second;
}

// A buffer's start switches the flip object to it and writes the flip object's notifier: the
// overlay's and the screen's buffers alike switch at once (the model's vertical blank comes
// as soon as a flip is asked for).
void startBuffer(const Zk3EngineObject &o, uint32_t b) {
    shownBuffer(o.handle) = b;
    zk3EngineNotify(zk3EngineFind(o.method(0x308, 0)));
}

}  // namespace

void zk3DrawMethod(const Zk3EngineObject &o, uint16_t m, uint32_t v) {
    Model &md = model();
    switch (o.cls) {
    case kClassRect:
        if (m == 0x404 && !displayDriverObject(o)) {
            // Colour format 1 gives A8R8G8B8 colours, converted for a 16-bit surface; other
            // formats give the surface's own pixel bits. Such objects have no clip connection.
            // An empty rectangle touches nothing, so it needs no surface (the driver's start-up
            // stream ends with one, before any surface is set).
            if ((v & 0xFFFF) == 0 || (v >> 16) == 0) break;
            const Surface dst = zk3SurfaceOf(zk3Reach(o, 0x200, {kClassSurface, 0x45}));
            if (!dst.ok) {
                md.error("rectangle 0x%X reaches no usable surface", o.handle);
                break;
            }
            const uint32_t p = o.method(0x400, 0), c = o.method(0x304, 0);
            const uint32_t color = o.method(0x300, 0) == 1 && dst.bpp == 16 ? to555(c) : c;
            fillInto(dst, lo16(p), hi16(p), static_cast<int32_t>(v & 0xFFFF), static_cast<int32_t>(v >> 16), color,
                     Rect{-0x8000, -0x8000, 0x7FFF, 0x7FFF}, 0xCC);
            ++md.stats.rectangles;
        } else if (m == 0x404) {
            const uint32_t p = o.method(0x400, 0);
            fill(lo16(p), hi16(p), static_cast<int32_t>(v & 0xFFFF), static_cast<int32_t>(v >> 16), o.method(0x304, 0),
                 clipObject());
            ++md.stats.rectangles;
        }
        break;
    case kClassBlit:
        if (m == 0x308) blit(o, v);
        break;
    case kClassImage:
        if (m == 0x30C) {
            const Surface dst = surfaceOf(kDstSurface);
            startStream(md.image, o.method(0x304, 0), v, o.method(0x308, 0), dst.bpp ? dst.bpp : 8, false);
            ++md.stats.images;
        } else if (m >= 0x400 && m <= 0x47C) {
            feed(md.image, v, false, "image data with no image started (0x%X)");
        }
        break;
    case kClassMono:
        if (m == 0x404) {
            const uint32_t p = o.method(0x400, 0);
            fill(hi16(p), lo16(p), static_cast<int32_t>(v >> 16), static_cast<int32_t>(v & 0xFFFF), o.method(0x3FC, 0),
                 Rect{-0x8000, -0x8000, 0x7FFF, 0x7FFF});
            ++md.stats.monoA;
        } else if (m == 0xFFC) {
            startStream(md.monoC, v, o.method(0xFF4, 0), o.method(0xFF8, 0), 1, false);
            const uint32_t tl = o.method(0xFE8, 0), br = o.method(0xFEC, 0);
            md.monoC.clip = {lo16(tl), hi16(tl), lo16(br), hi16(br)};
            md.monoC.color1 = o.method(0xFF0, 0);
            md.monoC.opaque = false;
            ++md.stats.monoC;
        } else if (m == 0x1000) {
            feed(md.monoC, v, true, "glyph data with no glyph started (0x%X)");
        } else if (m == 0x13FC) {
            startStream(md.monoE, v, o.method(0x13F4, 0), o.method(0x13F8, 0), 1, false);
            const uint32_t tl = o.method(0x13E4, 0), br = o.method(0x13E8, 0);
            md.monoE.clip = {lo16(tl), hi16(tl), lo16(br), hi16(br)};
            md.monoE.color0 = o.method(0x13EC, 0);
            md.monoE.color1 = o.method(0x13F0, 0);
            md.monoE.opaque = true;
            ++md.stats.monoE;
        } else if (m >= 0x1400 && m <= 0x143C) {
            feed(md.monoE, v, true, "expansion data with no expansion started (0x%X)");
        }
        break;
    case kClassMemCopy:
        if (m == 0x328) memoryCopy(o);
        break;
    case ZK_CLASS_STRETCHED_IMAGE_FROM_CPU:
        if (m == 0x318) startStretch(o);
        else if (m >= 0x400 && m <= 0x43C) feedStretch(o, v);
        break;
    case ZK_CLASS_SCALED_IMAGE:
        if (m == 0x40C) scaleBand(o);
        break;
    case ZK_CLASS_FLIP:
        if (m >= 0x320 && (m - 0x320) % 20 == 0 && m <= 0x334) startBuffer(o, (m - 0x320) / 20u);
        break;
    case kClassTriangle:
        zk3TriangleMethod(o, m, v);
        break;
    default:
        break;
    }
}

void zk3DrawReset() {
    Model &m = model();
    m.stats = {};
    m.errors.clear();
    m.image = m.monoC = m.monoE = Stream{};
    scalers() = ScalerState{};
    zk3TriangleReset();
}

void zk3DrawError(const char *fmt, uint32_t a, uint32_t b) { model().error(fmt, a, b); }

Zk3Surface zk3SurfaceOf(const Zk3EngineObject *o) {
    Zk3Surface s;
    // The ZK4's surfaces name their memory through method 0x184.
    const bool zk4 = o && (o->cls == ZK_CLASS_ZK4_DESTINATION_SURFACE || o->cls == ZK_CLASS_ZK4_SOURCE_SURFACE);
    if (!o || (o->cls != kClassSurface && o->cls != kClassDepthSurface && !zk4)) return s;
    const Zk3EngineObject *mem = zk3EngineFind(o->method(zk4 ? 0x184 : 0x304, 0));
    if (!mem || !mem->isMemory) return s;
    const uint32_t format = o->method(0x300, 0);
    s.depth = o->cls == kClassDepthSurface || format == 0x1010001;
    if (o->cls == kClassDepthSurface)
        s.bpp = 16;
    else
        s.bpp = format == 0x1010000 ? 8 : format == 0x1000000 || format == 0x1010001 ? 16 : format == 1 ? 32 : 0;
    s.pitch = o->method(0x308, 0);
    const uint32_t offset = o->method(0x30C, 0);
    const uint64_t size = static_cast<uint64_t>(mem->limit) + 1;
    if (!s.bpp || !s.pitch || offset >= size) return s;
    s.base = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(mem->base)) + offset;
    s.bytesLeft = size - offset;
    s.ok = true;
    return s;
}

const Zk3EngineObject *zk3Reach(const Zk3EngineObject &from, uint16_t method, std::initializer_list<uint32_t> classes) {
    const uint32_t first = from.method(method, 0);
    if (first == 0) return nullptr;
    std::set<uint32_t> seenObjects{from.handle}, seenPatches{first};
    std::vector<uint32_t> frontier{first};
    for (int depth = 0; depth < 4 && !frontier.empty(); ++depth) {
        std::vector<uint32_t> next;
        const Zk3EngineObject *found = nullptr;
        zk3EngineForEachInstance([&](const Zk3EngineObject &o) {
            if (found || seenObjects.count(o.handle)) return;
            bool touches = false;
            for (const auto &mv : o.methods)
                if (mv.first >= 0x200 && mv.first < 0x300)
                    for (uint32_t p : frontier) touches |= mv.second == p;
            if (!touches) return;
            seenObjects.insert(o.handle);
            for (uint32_t c : classes)
                if (o.cls == c) found = &o;
            for (const auto &mv : o.methods)
                if (mv.first >= 0x200 && mv.first < 0x300 && mv.second != 0 && seenPatches.insert(mv.second).second)
                    next.push_back(mv.second);
        });
        if (found) return found;
        frontier.swap(next);
    }
    return nullptr;
}

Zk3DrawStats zk3DrawStats() { return model().stats; }
const std::vector<std::string> &zk3DrawErrors() { return model().errors; }
void zk3DrawClearErrors() { model().errors.clear(); }

Zk3OverlayPicture zk3OverlayScan() {
    Zk3OverlayPicture pic;
    const Zk3EngineObject *window = zk3EngineFind(ZK_OBJ_OVERLAY_WINDOW);
    const Zk3EngineObject *scaler = zk3EngineFind(ZK_OBJ_OVERLAY_SCALER);
    const Zk3EngineObject *buffers = zk3EngineFind(ZK_OBJ_OVERLAY_BUFFERS);
    if (!window || !scaler || !buffers) return pic;
    const uint32_t wsize = window->method(0x30C, 0), wpoint = window->method(0x308, 0);
    const uint32_t b = shownBuffer(ZK_OBJ_OVERLAY_BUFFERS);
    const auto method = [&](unsigned i) { return buffers->method(static_cast<uint16_t>(0x310 + 20 * b + 4 * i), 0); };
    const uint32_t offset = method(0), pitch = method(1), size = method(2), format = method(3);
    const uint32_t sw = size & 0xFFFF, sh = size >> 16;
    pic.x = lo16(wpoint);
    pic.y = hi16(wpoint);
    pic.width = wsize & 0xFFFF;
    pic.height = wsize >> 16;
    pic.key = window->method(0x304, 0);
    pic.buffer = b;
    const Zk3EngineObject *mem = zk3EngineFind(buffers->method(0x300, 0));
    if (!pic.width || !pic.height || !sw || !sh || !mem || !mem->isMemory) return pic;
    const uint64_t last = static_cast<uint64_t>(offset) + static_cast<uint64_t>(pitch) * (sh - 1) + ((sw + 1) & ~1u) * 2;
    if (last > static_cast<uint64_t>(mem->limit) + 1) {
        model().error("overlay scans past its memory object (offset 0x%X)", offset);
        return pic;
    }
    const uint8_t *base = reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(mem->base)) + offset;
    const uint64_t xStep = scaler->method(0x300, 0), yStep = scaler->method(0x304, 0);
    const bool uFirst = format == 0x20001;
    pic.visible = true;
    pic.yuv.resize(static_cast<size_t>(pic.width) * pic.height * 3);
    for (uint32_t k = 0; k < pic.height; ++k) {
        const uint32_t v = std::min<uint64_t>((k * yStep + (1u << 19)) >> 20, sh - 1);
        for (uint32_t i = 0; i < pic.width; ++i) {
            const uint32_t u = std::min<uint64_t>((i * xStep + (1u << 19)) >> 20, sw - 1);
            const uint8_t *pair = base + static_cast<size_t>(v) * pitch + (u & ~1u) * 2;
            uint8_t *out = &pic.yuv[(static_cast<size_t>(k) * pic.width + i) * 3];
            out[0] = pair[(uFirst ? 1 : 0) + 2 * (u & 1)];
            out[1] = pair[uFirst ? 0 : 1];
            out[2] = pair[uFirst ? 2 : 3];
        }
    }
    return pic;
}

uint64_t zk3DrawScaledBands() { return scalers().scaledBands; }
uint64_t zk3DrawStretchedRows() { return scalers().stretchedRows; }
