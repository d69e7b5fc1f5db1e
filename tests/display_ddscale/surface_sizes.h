// What DirectDraw on NT should make of an off-screen surface of any size, worked out here in
// plain 64-bit arithmetic, apart from the runtime and the driver: the answer to the create (the
// error, or where the surface lies and its pitch) and where a lock of pixel (x, y) points. Shared
// by the table of sizes and the fuzz driver.
//
// The rules: a width or height of 0 or past what a rectangle names is a wrong parameter; an RGB
// pixel of a size DirectDraw has no format for (it has 1, 2, 4, 8, 16, 24 and 32 bits) a wrong
// pixel format. In system memory DirectDraw lays rows out itself, whole bytes rounded up to a
// dword. In video memory the driver takes only the screen's pixel size, in rows of 16 bytes,
// and YUY2 (at 16 and 32 bits a pixel) in rows of pixel pairs rounded to 16 bytes; a YUY2 surface
// that video memory cannot hold goes to the process's memory with the same rows. A block past
// 2 GB - 1 (the most a signed 32-bit offset reaches) is more than any process holds.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/ddraw_nt/ddraw_nt_hal.h"

enum class SurfaceKind { Screen, Rgb, Yuy2 };

struct SurfaceAsk {
    uint64_t w, h;
    SurfaceKind kind;
    uint32_t bits;   // Rgb: dwRGBBitCount (with the screen's masks when it is the screen's size)
    bool video;      // asked for video memory (else system memory)
};

enum class SurfaceWhere { System, Video, Either };

struct SurfaceOutcome {
    HRESULT_DD code = ZK_DD_OK;
    SurfaceWhere where = SurfaceWhere::System;   // when made
    uint64_t pitch = 0, block = 0;
    uint32_t pixelBits = 0;      // as a lock addresses the pixels
    bool roomMayLack = false;    // a block this large the memory may not have room for (the error says which)
};

constexpr uint64_t kSurfaceLargestBlock = 0x7FFFFFFF;
// Blocks up to these the system's memory and the video memory beside the screen surely hold (a
// 32-bit program whose address space the sanitizer shares may lack room for larger ones).
constexpr uint64_t kSurfaceSureVideo = 1u << 20;
constexpr uint64_t kSurfaceSureProcess = 64u << 20;

inline bool surfaceRgbKnown(uint32_t bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// `depth`: the screen's bits a pixel; `videoBytes`: the card's video memory.
inline SurfaceOutcome expectSurface(const SurfaceAsk &a, uint32_t depth, uint64_t videoBytes) {
    SurfaceOutcome o;
    auto refused = [&](HRESULT_DD code) {
        o.code = code;
        return o;
    };
    if (a.w == 0 || a.h == 0 || a.w > 0x7FFFFFFF || a.h > 0x7FFFFFFF) return refused(ZK_DDERR_INVALIDPARAMS);
    if (a.kind == SurfaceKind::Rgb && !surfaceRgbKnown(a.bits)) return refused(ZK_DDERR_INVALIDPIXELFORMAT);
    const bool yuv = a.kind == SurfaceKind::Yuy2;
    o.pixelBits = a.kind == SurfaceKind::Rgb ? a.bits : yuv ? 16 : depth;
    auto inProcess = [&](uint64_t pitch) {
        o.pitch = pitch;
        o.block = pitch * a.h;   // pitch < 2^36 and h < 2^31: no wrap
        if (pitch > kSurfaceLargestBlock || o.block > kSurfaceLargestBlock) return refused(ZK_DDERR_OUTOFMEMORY);
        o.roomMayLack = o.block > kSurfaceSureProcess;
        return o;
    };
    if (!a.video) return inProcess(((a.w * o.pixelBits + 7) / 8 + 3) / 4 * 4);
    if (yuv && depth == 8) return refused(ZK_DDERR_UNSUPPORTEDFORMAT);
    if (!yuv && o.pixelBits != depth) return refused(ZK_DDERR_INVALIDPIXELFORMAT);
    const uint64_t pitch = yuv ? ((a.w + 1) / 2 * 4 + 15) / 16 * 16 : (a.w * depth / 8 + 15) / 16 * 16;
    o.pitch = pitch;
    o.block = pitch * a.h;
    o.where = SurfaceWhere::Video;
    if (o.block <= kSurfaceSureVideo) return o;
    if (o.block <= videoBytes) {
        // Video memory beside the screen may hold it; where it does not, YUY2 goes to the process.
        if (yuv) o.where = SurfaceWhere::Either;
        else o.roomMayLack = true;
        return o;
    }
    if (!yuv) return refused(ZK_DDERR_OUTOFVIDEOMEMORY);
    o.where = SurfaceWhere::System;
    return inProcess(pitch);
}

// A YV12 surface of w x h that is no overlay (its caps name no memory, say). Its Y plane has rows
// of the width rounded to 4 and as many rows as the height rounded to 2; the V and U planes,
// half as wide and half as high, follow: 12 bits a pixel in all, and `block` is those planes.
// It lies in video memory (`videoBytes` of it) when there is room, else in the process's
// memory. Rows of its packed copy (pixel pairs of 4 bytes, rounded to 16) past the largest
// block, or planes past it, no process holds: refused. A lock addresses the Y plane, a byte a
// pixel.
inline SurfaceOutcome expectPlanarSurface(uint64_t w, uint64_t h, uint64_t videoBytes) {
    SurfaceOutcome o;
    auto roundUp = [](uint64_t v, uint64_t to) { return (v + to - 1) / to * to; };
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) {
        o.code = ZK_DDERR_INVALIDPARAMS;
        return o;
    }
    o.where = SurfaceWhere::Video;
    if (roundUp(roundUp(w, 2) * 2, 16) > kSurfaceLargestBlock) {
        o.code = ZK_DDERR_OUTOFMEMORY;
        return o;
    }
    o.pitch = roundUp(w, 4);
    o.block = o.pitch * roundUp(h, 2) * 3 / 2;
    o.pixelBits = 8;
    if (roundUp(o.block, 16) <= kSurfaceSureVideo) return o;
    o.where = o.block <= videoBytes ? SurfaceWhere::Either : SurfaceWhere::System;
    if (o.block > kSurfaceLargestBlock) o.code = ZK_DDERR_OUTOFMEMORY;
    o.roomMayLack = o.block > kSurfaceSureProcess;
    return o;
}

// Whether a made surface lies wholly inside the memory it was put in: its caps name that memory
// alone, and its `block` bytes from `bits` (its first pixel) lie in the block of the process's
// memory DirectDraw gave it, or in video memory past the screen's first `screenBytes`.
inline ::testing::AssertionResult surfaceLiesWithin(const SurfaceOutcome &o, const KivDdNtSurface *s,
                                                    const uint8_t *bits, uint64_t screenBytes, uint64_t videoBytes) {
    const bool video = s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY;
    const bool system = s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY;
    if (video == system)
        return ::testing::AssertionFailure() << "caps name " << (video ? "both memories" : "neither memory");
    if (system) {
        if (bits != s->userMemory.data() || o.block > s->userMemory.size())
            return ::testing::AssertionFailure() << o.block << " bytes outside the process's block of "
                                                 << s->userMemory.size();
        return ::testing::AssertionSuccess();
    }
    const uint64_t fp = s->gbl.fpVidMem;
    if (fp < screenBytes || fp + o.block > videoBytes)
        return ::testing::AssertionFailure() << "bytes " << fp << ".." << fp + o.block << " outside video memory's "
                                             << screenBytes << ".." << videoBytes;
    return ::testing::AssertionSuccess();
}

// Bytes from the surface's first pixel to pixel (x, y): the byte that holds its first bit.
inline uint64_t surfacePixelOffset(const SurfaceOutcome &o, uint64_t x, uint64_t y) {
    return y * o.pitch + x * o.pixelBits / 8;
}

// Whether the driver's blits read the surface as a source: the screen's pixels, or YUY2 above
// 8 bits a pixel.
inline bool surfaceBlitReadable(const SurfaceAsk &a, uint32_t depth) {
    if (a.kind == SurfaceKind::Yuy2) return depth != 8;
    return a.kind == SurfaceKind::Screen || a.bits == depth;
}

// The description the runtime is handed for `a` on a screen of `display`'s format.
inline ZK_DDSURFACEDESC surfaceDescription(const SurfaceAsk &a, const ZK_DDPIXELFORMAT &display) {
    ZK_DDSURFACEDESC d{};
    d.dwFlags = ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT;
    d.dwWidth = static_cast<DWORD>(a.w);
    d.dwHeight = static_cast<DWORD>(a.h);
    d.ddsCaps.dwCaps = ZK_DDSCAPS_OFFSCREENPLAIN | (a.video ? ZK_DDSCAPS_VIDEOMEMORY : ZK_DDSCAPS_SYSTEMMEMORY);
    ZK_DDPIXELFORMAT &pf = d.ddpfPixelFormat;
    pf.dwSize = sizeof pf;
    if (a.kind == SurfaceKind::Yuy2) {
        pf.dwFlags = ZK_DDPF_FOURCC;
        pf.dwFourCC = ZK_FOURCC('Y', 'U', 'Y', '2');
    } else if (a.kind == SurfaceKind::Rgb) {
        pf = display;
        pf.dwRGBBitCount = a.bits;
        if (a.bits != display.dwRGBBitCount) pf.dwFlags = ZK_DDPF_RGB, pf.dwRBitMask = pf.dwGBitMask = pf.dwBBitMask = 0;
    }
    return d;
}

// The runtime's answer to `a` against the expectation: refused with the error expected (nothing
// made), or made where and with the pitch expected. A block the memory may lack room for may
// also be refused for room.
inline ::testing::AssertionResult surfaceAnswerRight(const SurfaceOutcome &o, const KivDdNtResult &r,
                                                     const KivDdNtSurface *s) {
    auto hex = [](int64_t v) { return ::testing::Message() << "0x" << std::hex << uint32_t(v); };
    if (o.code != ZK_DD_OK || r.code != ZK_DD_OK) {
        const HRESULT_DD room = o.where == SurfaceWhere::Video ? ZK_DDERR_OUTOFVIDEOMEMORY : ZK_DDERR_OUTOFMEMORY;
        const bool right = r.code == o.code || (o.roomMayLack && r.code == room);
        if (!right) return ::testing::AssertionFailure() << "answered " << hex(r.code) << ", expected " << hex(o.code);
        if (s != nullptr) return ::testing::AssertionFailure() << "refused, yet a surface was made";
        return ::testing::AssertionSuccess();
    }
    if (s == nullptr) return ::testing::AssertionFailure() << "DD_OK without a surface";
    const bool video = (s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY) != 0;
    if (o.where != SurfaceWhere::Either && video != (o.where == SurfaceWhere::Video))
        return ::testing::AssertionFailure() << "made in " << (video ? "video" : "system") << " memory";
    if (uint64_t(int64_t(s->gbl.lPitch)) != o.pitch)
        return ::testing::AssertionFailure() << "pitch " << s->gbl.lPitch << ", expected " << o.pitch;
    return ::testing::AssertionSuccess();
}
