// The ZK3 engine's 2-D objects turning their methods into pixels (rectangles, blits, images,
// monochrome expansion, memory copies), and the object-graph walk the drawing models share.
#include "platform/zk3/zk3_draw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>

#include "platform/zk3/zk3_engine.h"
#include "platform/zk3/zk3_graph.h"
#include "platform/zk3/zk3_triangle.h"

namespace {

enum : uint32_t {
    kClassSurface = 0x3E, kClassRop = 0x43, kClassPattern = 0x18, kClassClip = 0x19, kClassRect = 0x1E,
    kClassBlit = 0x1F, kClassImage = 0x21, kClassMono = 0x4B, kClassMemCopy = 0x39, kClassTriangle = 0x48,
};
enum : uint32_t {
    kDstSurface = 0xA00F2, kSrcSurface = 0xA00F4, kRop = 0xA0004, kPattern = 0xA0005, kClip = 0xA0006,
    kSrcKey = 0xA0007,
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
    if (notifier && notifier->isMemory && notifier->limit >= 15)
        *reinterpret_cast<volatile uint16_t *>(static_cast<uintptr_t>(notifier->base) + 14) = 0;
}

}  // namespace

void zk3DrawMethod(const Zk3EngineObject &o, uint16_t m, uint32_t v) {
    Model &md = model();
    switch (o.cls) {
    case kClassRect:
        if (m == 0x404 && !displayDriverObject(o)) {
            // Colour format 1 gives A8R8G8B8 colours, converted for a 16-bit surface; other
            // formats give the surface's own pixel bits. Such objects have no clip connection.
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
    zk3TriangleReset();
}

void zk3DrawError(const char *fmt, uint32_t a, uint32_t b) { model().error(fmt, a, b); }

Zk3Surface zk3SurfaceOf(const Zk3EngineObject *o) {
    Zk3Surface s;
    if (!o || (o->cls != kClassSurface && o->cls != 0x45)) return s;
    const Zk3EngineObject *mem = zk3EngineFind(o->method(0x304, 0));
    if (!mem || !mem->isMemory) return s;
    const uint32_t format = o->method(0x300, 0);
    s.depth = o->cls == 0x45 || format == 0x1010001;
    if (o->cls == 0x45)
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
