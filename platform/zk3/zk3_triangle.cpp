// The triangle class of the ZK3 engine model: register block, vertex slots and the tag rule, and
// an edge-function rasteriser with its own interpolation, texture fetch, fog, alpha and depth
// tests and blending into 16-bit surfaces. CHIP_MODEL.md states every convention used here.
#include "platform/zk3/zk3_triangle.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "platform/zk3/zk3_engine.h"
#include "platform/zk3/zk3_graph.h"

namespace {

constexpr uint32_t kClassSurface = 0x3E, kClassDepthSurface = 0x45, kClassClip = 0x19;
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kDefaultTextureFormat = 0x22100000u;
constexpr int kSubBits = 12;                 // vertex positions in units of 1/4096 pixel
constexpr double kSub = double(1 << kSubBits);
constexpr double kMaxCoordinate = 32768.0;   // beyond this the chip draws nothing

// One decoded vertex.
struct Vertex {
    int64_t x, y;          // position in 1/4096 pixel
    double z, invW, s, t;
    double argb[4];        // 0-255: alpha, red, green, blue
    double fogByte;        // 255 x (1 - fog factor)
    bool finite;
};

// The GL blend factors the chip's words stand for.
enum Factor : uint8_t { F0, F1, FSC, FOMSC, FSA, FOMSA, FDC, FOMDC };
struct BlendMeaning {
    uint8_t high, low;     // control bits 28-31 and 8-11
    Factor src, dst;
};
// One row per word the chip knows. Words that several GL pairs share mean the pair named here;
// CHIP_MODEL.md lists the choices.
constexpr BlendMeaning kBlendWords[] = {
    {0x0, 0xC, F1, F0},    {0x0, 0xD, F1, F0},    {0x4, 0xD, F1, F0},     // unblended
    {0xC, 0x0, F0, F0},    {0xC, 0x1, F0, F0},                           // zero
    {0x6, 0x1, F0, FSC},   {0x6, 0x5, F0, FOMSC}, {0x8, 0x9, F0, FSA},    {0x8, 0x1, F0, FOMSA},
    {0x8, 0x8, F0, FSA},   {0x1, 0x1, F1, F1},    {0x1, 0x0, F1, F1},     {0x4, 0x1, FSA, F0},
    {0x0, 0x1, FSA, FOMSA}, {0x4, 0x9, FOMSA, F0}, {0x6, 0x0, FOMSA, FSC}, {0x6, 0x4, FOMSA, FOMSC},
    {0x0, 0x9, FOMSA, FSA}, {0x2, 0x9, FDC, FOMSA}, {0x2, 0x1, FDC, F1},
};

struct TriangleObject {
    uint32_t words[8] = {};
    unsigned count = 0;          // words of the vertex being received
    Vertex slot[4] = {};
    bool loaded[4] = {};
    uint64_t graph = 0;          // the generation the cached handles belong to
    uint32_t colour = 0, depth = 0, clip = 0;
};

uint64_t key(const Zk3EngineObject &o) { return uint64_t(o.channel) << 32 | o.handle; }

struct Model {
    std::map<uint64_t, TriangleObject> objects;   // by key(): channels share handles
    Zk3TriangleStats stats{};
    bool drawing = true;
};

Model &model() {
    static Model m;
    return m;
}

float floatOf(uint32_t w) {
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}

Vertex decode(const uint32_t *w) {
    Vertex v{};
    const double x = floatOf(w[2]), y = floatOf(w[3]);
    v.finite = std::isfinite(x) && std::isfinite(y) && std::fabs(x) < kMaxCoordinate && std::fabs(y) < kMaxCoordinate;
    v.x = v.finite ? std::llrint(x * kSub) : 0;
    v.y = v.finite ? std::llrint(y * kSub) : 0;
    v.z = floatOf(w[4]);
    v.invW = floatOf(w[5]);
    v.s = floatOf(w[6]);
    v.t = floatOf(w[7]);
    for (int i = 0; i < 4; ++i) v.argb[i] = double((w[1] >> (24 - 8 * i)) & 0xFF);
    v.fogByte = double(w[0] >> 24);
    return v;
}

// ---- texture fetch ------------------------------------------------------------------------------

uint32_t spread(uint32_t v) {
    uint32_t r = 0;
    for (int i = 0; i < 16; ++i) r |= ((v >> i) & 1u) << (2 * i);
    return r;
}

struct Texture {
    const uint8_t *base = nullptr;  // texel 0 of the largest level
    uint64_t bytes = 0;              // readable from base
    int maxLevel = 0, minLevel = 0, layout = 0;
    bool repeatS = true, repeatT = true;
    mutable bool overrun = false;   // a texel lay past the end of the memory object

    // Texel (x, y) of level index n (0 = the largest) as A, R, G, B in 0-255.
    void texel(int n, int32_t x, int32_t y, double out[4]) const {
        const int side = 1 << (maxLevel - n);
        auto wrap = [side](int32_t c, bool repeat) { return repeat ? c & (side - 1) : std::clamp(c, 0, side - 1); };
        x = wrap(x, repeatS);
        y = wrap(y, repeatT);
        uint64_t start = 0;
        for (int i = 0; i < n; ++i) start += uint64_t(1) << (2 * (maxLevel - i));
        const uint64_t at = 2 * (start + spread(uint32_t(x)) + (uint64_t(spread(uint32_t(y))) << 1));
        uint16_t t = 0;
        if (at + 2 <= bytes)
            std::memcpy(&t, base + at, 2);
        else
            overrun = true;
        auto expand = [](uint32_t v, int bits) {
            const uint32_t max = (1u << bits) - 1;
            return double((v * 255 + max / 2) / max);
        };
        switch (layout) {
        case 1:  // X1 R5 G5 B5: the top bit is not read
            out[0] = 255.0;
            out[1] = expand((t >> 10) & 31, 5);
            out[2] = expand((t >> 5) & 31, 5);
            out[3] = expand(t & 31, 5);
            break;
        case 2:  // A4 R4 G4 B4
            out[0] = expand(t >> 12, 4);
            out[1] = expand((t >> 8) & 15, 4);
            out[2] = expand((t >> 4) & 15, 4);
            out[3] = expand(t & 15, 4);
            break;
        default:  // R5 G6 B5
            out[0] = 255.0;
            out[1] = expand(t >> 11, 5);
            out[2] = expand((t >> 5) & 63, 6);
            out[3] = expand(t & 31, 5);
            break;
        }
    }

    // A coordinate in texels as the fetch takes it: beyond 2^30 texels (where a repeat has no
    // fraction left) held at that bound, and one that is not a number as 0.
    static double held(double u) { return std::isnan(u) ? 0.0 : std::clamp(u, -1073741824.0, 1073741824.0); }

    // The filtered texel at u, v in texels of level n.
    void sample(int n, bool linear, double u, double v, double out[4]) const {
        if (!linear) {
            texel(n, int32_t(std::floor(held(u))), int32_t(std::floor(held(v))), out);
            return;
        }
        const double fu = held(u - 0.5), fv = held(v - 0.5);
        const int32_t x0 = int32_t(std::floor(fu)), y0 = int32_t(std::floor(fv));
        const double a = fu - x0, b = fv - y0;
        double t00[4], t10[4], t01[4], t11[4];
        texel(n, x0, y0, t00);
        texel(n, x0 + 1, y0, t10);
        texel(n, x0, y0 + 1, t01);
        texel(n, x0 + 1, y0 + 1, t11);
        for (int i = 0; i < 4; ++i)
            out[i] = (1 - a) * (1 - b) * t00[i] + a * (1 - b) * t10[i] + (1 - a) * b * t01[i] + a * b * t11[i];
    }
};

// ---- fragment arithmetic ---------------------------------------------------------------------------

bool compare(uint32_t func, uint32_t a, uint32_t b) {
    switch (func) {
    case 1: return false;
    case 2: return a < b;
    case 3: return a == b;
    case 4: return a <= b;
    case 5: return a > b;
    case 6: return a != b;
    case 7: return a >= b;
    default: return true;
    }
}

double factor(Factor f, const double *src, const double *dst, int channel) {
    switch (f) {
    case F0: return 0.0;
    case F1: return 1.0;
    case FSC: return src[channel] / 255.0;
    case FOMSC: return 1.0 - src[channel] / 255.0;
    case FSA: return src[0] / 255.0;
    case FOMSA: return 1.0 - src[0] / 255.0;
    case FDC: return dst[channel] / 255.0;
    default: return 1.0 - dst[channel] / 255.0;
    }
}

uint32_t channelTo(double v, uint32_t max) {
    const double c = std::clamp(v, 0.0, 255.0);
    return uint32_t(std::floor(c * max / 255.0 + 0.5));
}

// ---- the triangle ---------------------------------------------------------------------------------

struct Setup {
    Zk3Surface colour, depth;
    int32_t clipX0, clipY0, clipX1, clipY1;
    uint32_t control, alpha, fogColour;
    const BlendMeaning *blend;
    bool textured;
    Texture tex;
    uint32_t quality;
    // What the whole triangle reads: level (0 = the largest), filtered linearly or not, and with a
    // weight above 0 the next level blended in by that weight.
    int level;
    bool linear;
    double nextWeight;
};

// The texture level of detail: log2 of texels per pixel, from the ratio of the triangle's area in
// texels of the largest level to its area in pixels. The filters of the quality word (or, without
// them, control bit 1 both ways) then choose the levels and how each is read.
void chooseLevels(Setup &s, double ratio) {
    const int most = s.tex.maxLevel - s.tex.minLevel;
    s.nextWeight = 0.0;
    // Kept within a range whose whole numbers an int holds (coordinates beyond any texture
    // give an infinite ratio, a degenerate mapping none).
    const double lod = ratio > 0.0 ? std::min(0.5 * std::log2(ratio), 64.0) : -64.0;
    if (!(s.quality & 0x01)) {
        s.linear = (s.control & 2) != 0;
        s.level = ratio > 1.0 ? std::clamp(int(std::floor(lod + 0.5)), 0, most) : 0;
        return;
    }
    if (lod <= ((s.quality & 0x20) ? 0.5 : 0.0)) {  // magnified
        s.linear = (s.quality & 0x10) != 0;
        s.level = 0;
        return;
    }
    s.linear = (s.quality & 0x02) != 0;
    if (s.quality & 0x08) {
        const double k = std::floor(lod);
        if (k >= most) {
            s.level = most;
        } else {
            s.level = int(k);
            s.nextWeight = lod - k;
        }
        return;
    }
    s.level = lod <= 0.5 ? 0 : std::clamp(int(std::ceil(lod - 0.5)), 0, most);
}

const BlendMeaning *blendOf(uint32_t control) {
    const uint8_t high = uint8_t(control >> 28), low = uint8_t((control >> 8) & 0xF);
    for (const BlendMeaning &b : kBlendWords)
        if (b.high == high && b.low == low) return &b;
    return nullptr;
}

void refreshConnections(const Zk3EngineObject &o, TriangleObject &t) {
    const uint64_t g = zk3EngineGraphGeneration();
    if (t.graph == g) return;
    t.graph = g;
    auto handle = [](const Zk3EngineObject *x) { return x ? x->handle : 0u; };
    t.colour = handle(zk3Reach(o, 0x200, {kClassSurface}));
    t.clip = handle(zk3Reach(o, 0x200, {kClassClip}));
    const Zk3EngineObject *d = zk3Reach(o, 0x204, {kClassDepthSurface});
    t.depth = handle(d ? d : zk3Reach(o, 0x208, {kClassDepthSurface}));
}

bool prepare(const Zk3EngineObject &o, TriangleObject &t, Setup &s) {
    refreshConnections(o, t);
    s.colour = zk3SurfaceOf(zk3EngineFind(t.colour));
    if (!s.colour.ok || (s.colour.bpp != 16 && s.colour.bpp != 32)) {
        zk3DrawError("triangle object 0x%X reaches no usable colour surface", o.handle);
        return false;
    }
    s.control = o.method(0x314, 0x4081C00);
    s.quality = o.method(0x30C, 0);
    s.alpha = o.method(0x318, 0x800);
    s.fogColour = o.method(0x310, kNone);
    const uint32_t depthFunc = (s.control >> 16) & 0xF;
    const bool depthUsed = depthFunc != 8 || (s.control & 0x300000);
    s.depth = zk3SurfaceOf(zk3EngineFind(t.depth));
    if (depthUsed && !s.depth.ok) {
        zk3DrawError("triangle object 0x%X tests depth with no usable depth surface", o.handle);
        return false;
    }
    s.clipX0 = 0;
    s.clipY0 = 0;
    s.clipX1 = int32_t(s.colour.pitch / (s.colour.bpp / 8));
    s.clipY1 = int32_t(std::min<uint64_t>(s.colour.bytesLeft / s.colour.pitch, 0x7FFF));
    if (const Zk3EngineObject *c = zk3EngineFind(t.clip)) {
        const uint32_t p = c->method(0x300, kNone), z = c->method(0x304, kNone);
        if (p != kNone && z != kNone) {
            const int32_t x = int16_t(p & 0xFFFF), y = int16_t(p >> 16);
            s.clipX0 = std::max(s.clipX0, x);
            s.clipY0 = std::max(s.clipY0, y);
            s.clipX1 = std::min(s.clipX1, x + int32_t(z & 0xFFFF));
            s.clipY1 = std::min(s.clipY1, y + int32_t(z >> 16));
        }
    }
    s.blend = blendOf(s.control);
    if (!s.blend) {
        zk3DrawError("triangle object 0x%X: blend word 0x%X is not in the chip's table", o.handle,
                     s.control & 0xF0000F00u);
        return false;
    }
    // The driver's built-in default texture is white: clamp on both axes (0xF0) with its format
    // word. The chip draws it as the white texel without reading memory.
    s.textured = ((s.control >> 4) & 0xF) != 0xF || o.method(0x308, 0) != kDefaultTextureFormat;
    if (s.textured) {
        const Zk3EngineObject *mem = zk3EngineFind(o.method(0x300, 0));
        const uint32_t offset = o.method(0x304, 0), format = o.method(0x308, 0);
        if (!mem || !mem->isMemory || uint64_t(offset) > mem->limit) {
            zk3DrawError("triangle object 0x%X reads a texture outside its memory object (offset 0x%X)", o.handle,
                         offset);
            return false;
        }
        Texture &x = s.tex;
        x.base = reinterpret_cast<const uint8_t *>(uintptr_t(mem->base)) + offset;
        x.bytes = uint64_t(mem->limit) + 1 - offset;
        x.maxLevel = int(format >> 28);
        x.minLevel = std::min(int((format >> 24) & 0xF), x.maxLevel);
        x.layout = int((format >> 20) & 7);
        x.repeatS = ((s.control >> 4) & 3) == 1;
        x.repeatT = ((s.control >> 6) & 3) == 1;
        // A texture in a heap block the driver has freed is a driver fault: the chip reads memory
        // the driver may hand to another texture at any time.
        if (offset >= 32) {
            uint32_t tag;
            std::memcpy(&tag, x.base - 32, 4);
            if (tag == 0x45455246u) zk3DrawError("triangle object 0x%X reads a texture from a free heap block (offset 0x%X)",
                                                 o.handle, offset);
        }
    }
    return true;
}

// Writes one fragment; returns whether it was written.
bool shade(const Setup &s, int32_t px, int32_t py, const double l[3], const Vertex *const v[3]) {
    Model &m = model();
    ++m.stats.pixelsTested;
    double c[4];
    for (int i = 0; i < 4; ++i) c[i] = l[0] * v[0]->argb[i] + l[1] * v[1]->argb[i] + l[2] * v[2]->argb[i];
    if (s.textured) {
        // Perspective: s/w, t/w and 1/w are linear on the screen.
        const double q = l[0] * v[0]->invW + l[1] * v[1]->invW + l[2] * v[2]->invW;
        const double sq = l[0] * v[0]->s * v[0]->invW + l[1] * v[1]->s * v[1]->invW + l[2] * v[2]->s * v[2]->invW;
        const double tq = l[0] * v[0]->t * v[0]->invW + l[1] * v[1]->t * v[1]->invW + l[2] * v[2]->t * v[2]->invW;
        const double side = double(1 << s.tex.maxLevel);
        const double u = q != 0.0 ? sq / q * side : 0.0, w = q != 0.0 ? tq / q * side : 0.0;
        const double scale = double(1 << s.level);
        double t[4];
        s.tex.sample(s.level, s.linear, u / scale, w / scale, t);
        if (s.nextWeight > 0.0) {
            double next[4];
            s.tex.sample(s.level + 1, s.linear, u / (2 * scale), w / (2 * scale), next);
            for (int i = 0; i < 4; ++i) t[i] = t[i] * (1.0 - s.nextWeight) + next[i] * s.nextWeight;
        }
        ++m.stats.texels;
        for (int i = 0; i < 4; ++i) c[i] = c[i] * t[i] / 255.0;
    }
    if (s.fogColour != kNone) {
        const double f = 1.0 - (l[0] * v[0]->fogByte + l[1] * v[1]->fogByte + l[2] * v[2]->fogByte) / 255.0;
        for (int i = 1; i < 4; ++i) c[i] = c[i] * f + double((s.fogColour >> (24 - 8 * i)) & 0xFF) * (1.0 - f);
    }
    const uint32_t mode = (s.control >> 24) & 7;
    if (mode == 1 || mode == 2) {
        const uint32_t a = uint32_t(std::floor(std::clamp(c[0], 0.0, 255.0) + 0.5));
        if (!compare((s.alpha >> 8) & 0xF, a, s.alpha & 0xFF)) return false;
    }
    const uint32_t depthFunc = (s.control >> 16) & 0xF;
    const bool depthWrite = (s.control & 0x300000) != 0;
    if (depthFunc != 8 || depthWrite) {
        if (!s.depth.inside(px, py)) return false;
        const double z = std::clamp(l[0] * v[0]->z + l[1] * v[1]->z + l[2] * v[2]->z, 0.0, 4294967295.0);
        const uint32_t z16 = uint32_t(z) >> 16;
        if (!compare(depthFunc, z16, s.depth.get(px, py))) return false;
        if (depthWrite) s.depth.put(px, py, z16);
    }
    if (mode == 0) return true;   // the colour is not written
    const uint32_t old = s.colour.get(px, py);
    double d[4];
    if (s.colour.bpp == 16) {
        const uint32_t r = (old >> 10) & 31, g = (old >> 5) & 31, b = old & 31;
        d[0] = 255.0;
        d[1] = double((r << 3) | (r >> 2));
        d[2] = double((g << 3) | (g >> 2));
        d[3] = double((b << 3) | (b >> 2));
    } else {
        for (int i = 0; i < 4; ++i) d[i] = double((old >> (24 - 8 * i)) & 0xFF);
    }
    double out[4];
    for (int i = 0; i < 4; ++i)
        out[i] = c[i] * factor(s.blend->src, c, d, i) + d[i] * factor(s.blend->dst, c, d, i);
    uint32_t pixel;
    if (s.colour.bpp == 16)
        pixel = channelTo(out[1], 31) << 10 | channelTo(out[2], 31) << 5 | channelTo(out[3], 31);
    else
        pixel = channelTo(out[0], 255) << 24 | channelTo(out[1], 255) << 16 | channelTo(out[2], 255) << 8 |
                channelTo(out[3], 255);
    s.colour.put(px, py, pixel);
    ++m.stats.pixelsWritten;
    return true;
}

// A pixel's sample lies on an edge from a to b: the edge owns it when it is a right edge, or a
// bottom edge (the interior is at smaller x, or above): see CHIP_MODEL.md.
bool ownsTie(int64_t dx, int64_t dy) { return dy > 0 || (dy == 0 && dx < 0); }

void drawTriangle(const Zk3EngineObject &o, TriangleObject &t, const Vertex *a, const Vertex *b, const Vertex *c) {
    Model &m = model();
    ++m.stats.triangles;
    if (!a->finite || !b->finite || !c->finite) return;
    int64_t area = (b->x - a->x) * (c->y - a->y) - (b->y - a->y) * (c->x - a->x);
    if (area == 0) return;
    if (area < 0) {
        std::swap(b, c);
        area = -area;
    }
    Setup s{};
    if (!prepare(o, t, s) || !m.drawing) return;
    const Vertex *const v[3] = {a, b, c};
    if (s.textured) {
        // One level of detail per triangle.
        const double side = double(1 << s.tex.maxLevel);
        const double ts = ((b->s - a->s) * (c->t - a->t) - (b->t - a->t) * (c->s - a->s)) * side * side;
        chooseLevels(s, std::fabs(ts) / (double(area) / (kSub * kSub)));
    }
    // Pixel (i, j) samples at (i + 1, j + 1) in vertex coordinates.
    const int64_t minX = std::min({a->x, b->x, c->x}), maxX = std::max({a->x, b->x, c->x});
    const int64_t minY = std::min({a->y, b->y, c->y}), maxY = std::max({a->y, b->y, c->y});
    const int64_t unit = int64_t(1) << kSubBits;
    const int32_t i0 = int32_t(std::max<int64_t>(s.clipX0, (minX >> kSubBits) - 1));
    const int32_t i1 = int32_t(std::min<int64_t>(s.clipX1 - 1, (maxX >> kSubBits)));
    const int32_t j0 = int32_t(std::max<int64_t>(s.clipY0, (minY >> kSubBits) - 1));
    const int32_t j1 = int32_t(std::min<int64_t>(s.clipY1 - 1, (maxY >> kSubBits)));
    struct Edge { int64_t ax, ay, dx, dy; bool tie; };
    const Edge e[3] = {
        {b->x, b->y, c->x - b->x, c->y - b->y, ownsTie(c->x - b->x, c->y - b->y)},   // opposite a
        {c->x, c->y, a->x - c->x, a->y - c->y, ownsTie(a->x - c->x, a->y - c->y)},   // opposite b
        {a->x, a->y, b->x - a->x, b->y - a->y, ownsTie(b->x - a->x, b->y - a->y)},   // opposite c
    };
    for (int32_t j = j0; j <= j1; ++j) {
        const int64_t sy = (int64_t(j) + 1) * unit;
        for (int32_t i = i0; i <= i1; ++i) {
            const int64_t sx = (int64_t(i) + 1) * unit;
            int64_t w[3];
            bool in = true;
            for (int k = 0; k < 3 && in; ++k) {
                w[k] = e[k].dx * (sy - e[k].ay) - e[k].dy * (sx - e[k].ax);
                in = w[k] > 0 || (w[k] == 0 && e[k].tie);
            }
            if (!in) continue;
            const double l[3] = {double(w[0]) / double(area), double(w[1]) / double(area), double(w[2]) / double(area)};
            shade(s, i, j, l, v);
        }
    }
    if (s.tex.overrun) zk3DrawError("triangle object 0x%X reads texels past the end of its texture memory object", o.handle);
}

void vertexWord(const Zk3EngineObject &o, TriangleObject &t, uint32_t value) {
    Model &m = model();
    t.words[t.count++] = value;
    if (t.count < 8) return;
    t.count = 0;
    ++m.stats.vertices;
    const uint32_t tag = t.words[0] & 0xFFF;
    const uint32_t slot = tag & 0xF;
    if (slot > 3) {
        zk3DrawError("triangle object 0x%X: vertex tag 0x%X names no slot", o.handle, tag);
        return;
    }
    t.slot[slot] = decode(t.words);
    t.loaded[slot] = true;
    if ((tag >> 4) == 0) return;
    const uint32_t s0 = (tag >> 8) & 0xF, s1 = (tag >> 4) & 0xF, s2 = tag & 0xF;
    if (s0 > 3 || s1 > 3 || !t.loaded[s0] || !t.loaded[s1]) {
        zk3DrawError("triangle object 0x%X: vertex tag 0x%X draws from an empty slot", o.handle, tag);
        return;
    }
    drawTriangle(o, t, &t.slot[s0], &t.slot[s1], &t.slot[s2]);
}

}  // namespace

void zk3TriangleMethod(const Zk3EngineObject &o, uint16_t m, uint32_t v) {
    TriangleObject &t = model().objects[key(o)];
    if (m >= 0x1000 && m < 0x2000) {
        vertexWord(o, t, v);
        return;
    }
    if (t.count != 0) {
        zk3DrawError("triangle object 0x%X: a vertex was cut short by method 0x%X", o.handle, m);
        t.count = 0;
    }
    const bool known = m == 0x100 || m == 0x104 || (m >= 0x200 && m <= 0x208) || (m >= 0x300 && m <= 0x318);
    if (!known) zk3DrawError("triangle object 0x%X: method 0x%X is not the triangle class's", o.handle, m);
}

void zk3TriangleReset() {
    Model &m = model();
    m.objects.clear();
    m.stats = {};
}

void zk3TriangleForget(const Zk3EngineObject &o) { model().objects.erase(key(o)); }

Zk3TriangleStats zk3TriangleStats() { return model().stats; }
void zk3TriangleSetDrawing(bool on) { model().drawing = on; }
