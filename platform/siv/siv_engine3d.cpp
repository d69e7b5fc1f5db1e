// The SIV 3D engine model: walks the rows the set-up registers describe and draws their pixels
// with the rules of engine3d_rules.md (coverage, attribute stepping, Z, texels, blending).
#include "platform/siv/siv_engine3d.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

Siv3dStats g_stats;

struct Engine {
    SivChip *chip;
    uint32_t command;
    uint32_t Reg(uint32_t offset) const { return chip->regs[offset / 4]; }
    int32_t SReg(uint32_t offset) const { return static_cast<int32_t>(Reg(offset)); }

    // Video memory access; false when the range lies outside.
    uint8_t *Mem(uint64_t offset, uint32_t bytes) const {
        if (offset + bytes > chip->videoMemoryBytes) {
            g_stats.pixelsOutside++;
            return nullptr;
        }
        return chip->videoMemory + offset;
    }
};

// An attribute stepped along rows and across pixels, in its register's fixed point.
struct Attr {
    int64_t start, perRow, across;
    int64_t At(int64_t row, int64_t k) const { return start + row * perRow + k * across; }
};

Attr Half(uint32_t start, uint32_t perRow, uint32_t across, int shift) {
    return Attr{static_cast<int64_t>((start >> shift) & 0xFFFF), static_cast<int16_t>(perRow >> shift),
                static_cast<int16_t>(across >> shift)};
}

int Channel(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v >> 7, 0, 255)); }

struct Rgba {
    int b, g, r, a;
};

// A texel as 8-bit channels.
Rgba Texel(const Engine &e, int level, int64_t u, int64_t v) {
    const uint32_t k = (e.command >> 8) & 0xF;
    const uint32_t format = (e.command >> 5) & 7;
    const uint32_t bytes = format == 0 ? 4 : format == 6 ? 1 : 2;
    const uint32_t stride0 = e.Reg(0xB4E4) & 0xFFFF;
    // Rows of a smaller level: the level-0 stride halved, never below 8 bytes.
    auto stride = [&](int l) { return l ? std::max<uint32_t>(8, stride0 >> l) : stride0; };
    uint64_t offset = e.Reg(0xB4EC);
    for (int l = 0; l < level; l++)
        offset += static_cast<uint64_t>(stride(l)) * std::max<uint32_t>(1, (1u << k) >> l);
    const int64_t size = std::max<int64_t>(1, (int64_t(1) << k) >> level);
    u &= size - 1;
    v &= size - 1;
    const uint8_t *p = e.Mem(offset + static_cast<uint64_t>(v) * stride(level) + u * bytes, bytes);
    if (!p)
        return {0, 0, 0, 0};
    uint32_t t = 0;
    std::memcpy(&t, p, bytes);
    switch (format) {
    case 0:
        return {int(t & 0xFF), int((t >> 8) & 0xFF), int((t >> 16) & 0xFF), int(t >> 24)};
    case 1:
        return {int(t & 0xF) * 17, int((t >> 4) & 0xF) * 17, int((t >> 8) & 0xF) * 17, int((t >> 12) & 0xF) * 17};
    case 2: {
        auto five = [](uint32_t x) { return int((x << 3) | (x >> 2)); };
        return {five(t & 0x1F), five((t >> 5) & 0x1F), five((t >> 10) & 0x1F), (t & 0x8000) ? 255 : 0};
    }
    case 6:
        return {int(t), int(t), int(t), 255};
    default:
        return {255, 255, 255, 255};
    }
}

int Mix(int a, int b, int f) { return (a * f + b * (255 - f)) / 255; }

struct Pixel {
    uint32_t bytes;
    uint32_t Pack(const Rgba &c, uint32_t format) const {
        switch (format) {
        case 1:
            return uint32_t(c.r >> 3) << 11 | uint32_t(c.g >> 2) << 5 | uint32_t(c.b >> 3);
        case 2:
            return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b);
        default:
            return uint32_t(c.r >> 5) << 5 | uint32_t(c.g >> 5) << 2 | uint32_t(c.b >> 6);
        }
    }
    Rgba Unpack(uint32_t v, uint32_t format) const {
        switch (format) {
        case 1:
            return {int((v & 0x1F) << 3), int(((v >> 5) & 0x3F) << 2), int(((v >> 11) & 0x1F) << 3), 255};
        case 2:
            return {int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), 255};
        default:
            return {int((v & 3) << 6), int(((v >> 2) & 7) << 5), int(((v >> 5) & 7) << 5), 255};
        }
    }
};

void DrawPixel(const Engine &e, int x, int y, int64_t row, int64_t k, const Attr col[4], const Attr &z,
               const Attr tex[2], const Attr &w, const Attr &level) {
    const uint32_t cmd = e.command;
    const uint32_t dstFormat = (cmd >> 2) & 7;
    const uint32_t bpp = dstFormat == 1 ? 2 : dstFormat == 2 ? 3 : 1;
    const uint32_t pitch = e.Reg(0xB4E4) >> 16;
    // Z first: a refused pixel reads no texel.
    const bool zOn = ((cmd >> 24) & 3) == 0;
    uint8_t *zp = nullptr;
    uint32_t znew = 0;
    if (zOn) {
        zp = e.Mem(e.Reg(0xB4D4) + static_cast<uint64_t>(y) * e.Reg(0xB4E8) + 2u * x, 2);
        if (!zp)
            return;
        znew = static_cast<uint32_t>(std::clamp<int64_t>(z.At(row, k) >> 15, 0, 0xFFFF));
        uint16_t zold;
        std::memcpy(&zold, zp, 2);
        const uint32_t code = (cmd >> 20) & 7;
        const bool pass = (znew < zold && (code & 4)) || (znew == zold && (code & 2)) || (znew > zold && (code & 1));
        if (!pass) {
            g_stats.zRejected++;
            return;
        }
    }
    uint8_t *dp = e.Mem(e.Reg(0xB4D8) + static_cast<uint64_t>(y) * pitch + static_cast<uint64_t>(x) * bpp, bpp);
    if (!dp)
        return;
    Rgba c = {Channel(col[0].At(row, k)), Channel(col[1].At(row, k)), Channel(col[2].At(row, k)),
              Channel(col[3].At(row, k))};
    const int vertexAlpha = c.a;
    int texAlpha = 255;
    if (cmd & (1u << 26)) {
        const uint32_t n = (cmd >> 8) & 0xF;
        int64_t u, v;
        if (cmd & (1u << 29)) {
            const int64_t W = w.At(row, k);
            const double fb = double(int64_t(1) << (16 - std::min<uint32_t>(n, 16)));
            double U = (e.Reg(0xB508) & 0x7FFFFFFF) / fb, V = e.Reg(0xB504) / fb;
            if (W > 0) {
                U += double(tex[0].At(row, k)) / 256.0 / (double(W) / 524288.0);
                V += double(tex[1].At(row, k)) / 256.0 / (double(W) / 524288.0);
            }
            // Texels far outside every repeat (a W near 0) are taken at a bounded distance.
            U = std::clamp(std::floor(U), -1e15, 1e15);
            V = std::clamp(std::floor(V), -1e15, 1e15);
            u = static_cast<int64_t>(U == U ? U : 0);
            v = static_cast<int64_t>(V == V ? V : 0);
        } else {
            const int frac = 27 - static_cast<int>(std::min<uint32_t>(n, 27));
            u = static_cast<int32_t>(tex[0].At(row, k)) >> frac;
            v = static_cast<int32_t>(tex[1].At(row, k)) >> frac;
        }
        int lv = 0;
        if (((cmd >> 12) & 7) <= 3) {
            const int64_t l = (level.At(row, k) + (int64_t(1) << 26)) >> 27;
            lv = static_cast<int>(std::clamp<int64_t>(l, 0, n));
        }
        const Rgba t = Texel(e, lv, u >> lv, v >> lv);
        texAlpha = t.a;
        if ((cmd & (1u << 28)) && (cmd & (1u << 16))) {
            c = {t.b, t.g, t.r, c.a};
        } else if ((cmd & (1u << 27)) && (cmd & (1u << 15))) {
            c = {t.b * c.b / 255, t.g * c.g / 255, t.r * c.r / 255, c.a};
        } else if (cmd & (1u << 27)) {
            c = {std::min(255, t.b + c.b), std::min(255, t.g + c.g), std::min(255, t.r + c.r), c.a};
        }
    }
    if (cmd & (1u << 17)) {
        const uint32_t fog = e.Reg(0xB4F4);
        c.b = Mix(c.b, int(fog & 0xFF), vertexAlpha);
        c.g = Mix(c.g, int((fog >> 8) & 0xFF), vertexAlpha);
        c.r = Mix(c.r, int((fog >> 16) & 0xFF), vertexAlpha);
    }
    const Pixel px{bpp};
    const uint32_t blend = (cmd >> 18) & 3;
    if (blend == 2 || blend == 3) {
        const int a = blend == 2 ? texAlpha : vertexAlpha;
        uint32_t old = 0;
        std::memcpy(&old, dp, bpp);
        const Rgba d = px.Unpack(old, dstFormat);
        if (a == 0)
            return;   // nothing of the source reaches the pixel
        c = {Mix(c.b, d.b, a), Mix(c.g, d.g, a), Mix(c.r, d.r, a), c.a};
    }
    const uint32_t out = px.Pack(c, dstFormat);
    std::memcpy(dp, &out, bpp);
    if (zOn && (cmd & (1u << 23))) {
        const uint16_t z16 = static_cast<uint16_t>(znew);
        std::memcpy(zp, &z16, 2);
    }
    g_stats.pixels++;
}

}  // namespace

extern "C" {

void kivSiv3dCommand(SivChip *chip, uint32_t command) {
    if ((command & 3) != 2)
        return;
    g_stats.commands++;
    const Engine e{chip, command};
    const uint32_t counts = e.Reg(0xB57C);
    const int64_t upper = counts & 0xFFFF, lower = (counts >> 16) & 0x7FFF;
    const bool longLeft = (counts >> 31) != 0;
    const int64_t iBot = e.SReg(0xB578);
    const int64_t clipRight = e.Reg(0xB4DC), clipBottom = e.Reg(0xB4E0);
    const Attr col[4] = {Half(e.Reg(0xB54C), e.Reg(0xB544), e.Reg(0xB53C), 0),
                         Half(e.Reg(0xB54C), e.Reg(0xB544), e.Reg(0xB53C), 16),
                         Half(e.Reg(0xB550), e.Reg(0xB548), e.Reg(0xB540), 0),
                         Half(e.Reg(0xB550), e.Reg(0xB548), e.Reg(0xB540), 16)};
    const Attr z = {static_cast<int64_t>(e.Reg(0xB55C)), e.SReg(0xB558), e.SReg(0xB554)};
    const Attr tex[2] = {{e.SReg(0xB538), e.SReg(0xB52C), e.SReg(0xB520)},
                         {e.SReg(0xB534), e.SReg(0xB528), e.SReg(0xB51C)}};
    const Attr w = {e.SReg(0xB514), e.SReg(0xB510), e.SReg(0xB50C)};
    const Attr level = {e.SReg(0xB530), e.SReg(0xB524), e.SReg(0xB518)};
    const int64_t longX = e.SReg(0xB574), longSlope = e.SReg(0xB570);
    for (int64_t row = 0; row < lower + upper; row++) {
        const int64_t y = iBot - row;
        if (y < 0 || y > clipBottom)
            continue;
        const int64_t xl = longX + row * longSlope;
        const int64_t xo = row < lower ? e.SReg(0xB56C) + row * e.SReg(0xB568)
                                       : e.SReg(0xB564) + (row - lower) * e.SReg(0xB560);
        // Lit: left <= x < right, with x sampled at whole pixels (20 fraction bits).
        const int64_t left = std::min(xl, xo), right = std::max(xl, xo);
        const int64_t one = int64_t(1) << 20;
        const int64_t first = (left + one - 1) >> 20;            // ceil
        const int64_t last = ((right + one - 1) >> 20) - 1;      // x < right
        if (last < first)
            continue;
        const int64_t from = std::max<int64_t>(first, 0), to = std::min(last, clipRight);
        for (int64_t x = from; x <= to; x++) {
            const int64_t k = longLeft ? x - first : last - x;
            DrawPixel(e, static_cast<int>(x), static_cast<int>(y), row, k, col, z, tex, w, level);
        }
    }
}

Siv3dStats *kivSiv3dStats(void) { return &g_stats; }
void kivSiv3dClearStats(void) { std::memset(&g_stats, 0, sizeof g_stats); }

}  // extern "C"
