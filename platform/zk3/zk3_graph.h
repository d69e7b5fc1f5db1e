// The engine's object graph as the drawing models read it: an instance's connection methods
// (0x200-0x2FC) name patches, and two instances that name the same patch are connected. A
// drawing object finds its surfaces, its clip and its depth buffer by walking from one of its
// connections to the nearest instance of the wanted class; the 16-bit surfaces it draws into are
// read and written through Zk3Surface.
#pragma once
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "platform/zk3/zk3_engine.h"

// The nearest instance of one of `classes` reached from `from`'s connection method `method`
// (breadth first, at most four objects deep, never back through `from`); null when none.
const Zk3EngineObject *zk3Reach(const Zk3EngineObject &from, uint16_t method, std::initializer_list<uint32_t> classes);

// A surface object (class 0x3E or 0x45) over its memory object: 0x304 memory object, 0x308
// pitch, 0x30C offset, 0x300 format (0x1010000 8 bpp, 0x1000000 16 bpp X1R5G5B5, 0x1010001 16 bpp
// depth, 1 32 bpp; the depth class 0x45 is 16 bpp whatever its format word says).
struct Zk3Surface {
    uint8_t *base = nullptr;  // start of the surface (memory object base + offset)
    uint64_t bytesLeft = 0;   // from base to the end of the memory object
    uint32_t pitch = 0, bpp = 0;
    bool depth = false;       // a 16-bit depth surface: all 16 bits are the value
    bool ok = false;

    uint32_t mask() const { return bpp == 8 ? 0xFFu : bpp == 16 ? (depth ? 0xFFFFu : 0x7FFFu) : 0xFFFFFFu; }
    uint32_t storeMask() const { return bpp == 8 ? 0xFFu : bpp == 16 ? 0xFFFFu : 0xFFFFFFFFu; }
    bool inside(int32_t x, int32_t y) const {
        if (x < 0 || y < 0 || !ok) return false;
        const uint64_t at = static_cast<uint64_t>(y) * pitch + static_cast<uint64_t>(x) * (bpp / 8);
        return static_cast<uint64_t>(x) * (bpp / 8) < pitch && at + bpp / 8 <= bytesLeft;
    }
    uint8_t *at(int32_t x, int32_t y) const {
        return base + static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * (bpp / 8);
    }
    uint32_t get(int32_t x, int32_t y) const {
        uint32_t v = 0;
        std::memcpy(&v, at(x, y), bpp / 8);
        return v;
    }
    void put(int32_t x, int32_t y, uint32_t v) const { std::memcpy(at(x, y), &v, bpp / 8); }
};

Zk3Surface zk3SurfaceOf(const Zk3EngineObject *surface);

// Reports a model error (kept with the 2-D model's errors, zk3DrawErrors).
void zk3DrawError(const char *fmt, uint32_t a = 0, uint32_t b = 0);
