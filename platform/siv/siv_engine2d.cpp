// The 2D engine model. Pixels are 1, 2, 3 or 4 bytes by the command's colour format (bits 2-4:
// 0 8-bit, 1 16-bit, 2 24-bit, 3 32-bit); the engine walks the rectangle in the directions the
// command gives, reading each source pixel just before it writes the destination pixel, so a
// copy in the wrong direction over itself smears as the chip's would.
#include "platform/siv/siv_engine2d.h"
#include "platform/siv/port_io.h"

#include <cstring>

namespace {

Siv2dStats g_stats;

// An upload waiting for its host data.
struct Upload {
    bool active;
    uint32_t base, stride, x, y, width, height, bytesPerPixel;
    uint32_t line, filled;   // current line, bytes of it received
    uint8_t lineBuffer[0x10000 * 4];
};
Upload g_upload;

uint32_t BytesOfFormat(uint32_t command) {
    switch ((command >> 2) & 7) {
    case 0: return 1;
    case 1: return 2;
    case 2: return 3;
    default: return 4;
    }
}

uint32_t MaskOf(uint32_t bytes) { return bytes >= 4 ? 0xFFFFFFFFu : (1u << (bytes * 8)) - 1; }

bool PixelAddress(const SivChip *c, uint32_t base, uint32_t stride, int64_t x, int64_t y, uint32_t bytes,
                  uint64_t *at) {
    if (x < 0 || y < 0)
        return false;
    uint64_t a = base + static_cast<uint64_t>(y) * stride + static_cast<uint64_t>(x) * bytes;
    if (a + bytes > c->videoMemoryBytes)
        return false;
    *at = a;
    return true;
}

uint32_t LoadPixel(const SivChip *c, uint64_t at, uint32_t bytes) {
    uint32_t v = 0;
    std::memcpy(&v, c->videoMemory + at, bytes);
    return v;
}

void StorePixel(SivChip *c, uint64_t at, uint32_t bytes, uint32_t v) { std::memcpy(c->videoMemory + at, &v, bytes); }

// The ROP3 of pattern, source and destination, bit by bit: result bit i is bit
// (p << 2 | s << 1 | d) of the code.
uint32_t Rop3(uint32_t rop, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (uint32_t k = 0; k < 8; k++)
        if (rop & (1u << k))
            r |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
    return r;
}

bool UsesSource(uint32_t rop) { return ((rop >> 2) & 0x33) != (rop & 0x33); }

// At 8 bits the key register holds a range, low value in bits 8-15 and high value in bits 0-7;
// at other depths the pixel is compared with the key itself.
bool Keyed(uint32_t key, uint32_t bytes, uint32_t s) {
    if (bytes == 1)
        return s >= ((key >> 8) & 0xFF) && s <= (key & 0xFF);
    return s == (key & MaskOf(bytes));
}

void RunRectangle(SivChip *c, uint32_t command) {
    const uint32_t *r = c->regs;
    const uint32_t bytes = BytesOfFormat(command);
    const uint32_t rop = (command >> 17) & 0xFF;
    const uint32_t size = r[kSiv2dSize / 4];
    const uint32_t width = (size >> 16) + 1, height = size & 0xFFFF;
    const uint32_t strides = r[kSiv2dStrides / 4];
    const uint32_t dstStride = strides >> 16, srcStride = strides & 0xFFFF;
    const uint32_t dstBase = r[kSiv2dDestBase / 4], srcBase = r[kSiv2dSourceBase / 4];
    const int64_t dx0 = r[kSiv2dDestPos / 4] >> 16, dy0 = r[kSiv2dDestPos / 4] & 0xFFFF;
    const int64_t sx0 = r[kSiv2dSourcePos / 4] >> 16, sy0 = r[kSiv2dSourcePos / 4] & 0xFFFF;
    const int64_t xStep = (command & (1u << 25)) ? 1 : -1;
    const int64_t yStep = (command & (1u << 26)) ? 1 : -1;
    const bool monoPattern = command & (1u << 8);
    const bool keyed = command & (1u << 9);
    const uint32_t mask = MaskOf(bytes);
    // A monochrome pattern of all ones draws the foreground colour everywhere.
    const uint32_t pattern = monoPattern ? r[kSiv2dForeground / 4] : 0;
    const bool source = UsesSource(rop);
    for (uint32_t j = 0; j < height; j++) {
        for (uint32_t i = 0; i < width; i++) {
            uint64_t d, s;
            if (!PixelAddress(c, dstBase, dstStride, dx0 + xStep * i, dy0 + yStep * j, bytes, &d)) {
                g_stats.pixelsOutside++;
                continue;
            }
            uint32_t sv = 0;
            if (source) {
                if (!PixelAddress(c, srcBase, srcStride, sx0 + xStep * i, sy0 + yStep * j, bytes, &s)) {
                    g_stats.pixelsOutside++;
                    continue;
                }
                sv = LoadPixel(c, s, bytes);
                if (keyed && Keyed(r[kSiv2dColorKey / 4], bytes, sv))
                    continue;
            }
            StorePixel(c, d, bytes, Rop3(rop, pattern, sv, LoadPixel(c, d, bytes)) & mask);
        }
    }
}

}  // namespace

extern "C" {

void kivSiv2dCommand(SivChip *c, uint32_t command) {
    g_stats.commands++;
    if (command & (1u << 7)) {
        // Host data: the rectangle is filled line by line as the data arrive.
        const uint32_t size = c->regs[kSiv2dSize / 4];
        Upload &u = g_upload;
        u.active = (size & 0xFFFF) != 0;
        u.base = c->regs[kSiv2dDestBase / 4];
        u.stride = c->regs[kSiv2dStrides / 4] >> 16;
        u.x = c->regs[kSiv2dDestPos / 4] >> 16;
        u.y = c->regs[kSiv2dDestPos / 4] & 0xFFFF;
        u.width = (size >> 16) + 1;
        u.height = size & 0xFFFF;
        u.bytesPerPixel = BytesOfFormat(command);
        u.line = u.filled = 0;
        return;
    }
    g_upload.active = false;
    RunRectangle(c, command);
}

void kivSivHostDataWrite(uint32_t value) {
    SivChip *c = kivSivChip();
    Upload &u = g_upload;
    if (!c || !u.active) {
        g_stats.strayHostDwords++;
        return;
    }
    g_stats.hostDwords++;
    const uint32_t lineBytes = u.width * u.bytesPerPixel;
    const uint32_t lineDwordBytes = (lineBytes + 3) / 4 * 4;
    std::memcpy(u.lineBuffer + u.filled, &value, 4);
    u.filled += 4;
    if (u.filled < lineDwordBytes)
        return;
    for (uint32_t i = 0; i < u.width; i++) {
        uint64_t d;
        if (PixelAddress(c, u.base, u.stride, u.x + i, u.y + u.line, u.bytesPerPixel, &d))
            std::memcpy(c->videoMemory + d, u.lineBuffer + i * u.bytesPerPixel, u.bytesPerPixel);
        else
            g_stats.pixelsOutside++;
    }
    u.filled = 0;
    if (++u.line == u.height)
        u.active = false;
}

Siv2dStats *kivSiv2dStats(void) { return &g_stats; }

void kivSiv2dClearStats(void) {
    g_stats = Siv2dStats{};
    g_upload.active = false;
}

void kivOutPort16(uint16_t port, uint16_t value) {
    kivOutPort8(port, static_cast<uint8_t>(value));
    kivOutPort8(static_cast<uint16_t>(port + 1), static_cast<uint8_t>(value >> 8));
}

}  // extern "C"
