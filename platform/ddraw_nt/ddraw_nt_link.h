// The seam between the application's DirectDraw objects (ddraw_nt.h) and the runtime's driver
// side (ddraw_nt_hal.h): the two sides declare the same rectangle type differently, so this
// header speaks only in plain integers. Results are DirectDraw result codes (0 is success).
#pragma once
#include <cstdint>

namespace kiv::ddnt {

struct SurfaceInfo {
    uint8_t *bits = nullptr;   // the CPU's address of the first pixel
    int32_t pitch = 0, width = 0, height = 0;
    uint32_t caps = 0;         // as the driver placed the surface
    uint32_t bitCount = 0, redMask = 0, greenMask = 0, blueMask = 0;
};

// A surface of the driver side; null for none.
using Handle = void *;

// Enables the display driver's DirectDraw on the running display (once); false when the driver
// offers none or no display runs.
bool open();
// Whether the display DirectDraw was enabled on is still the running one.
bool current();
// The screen's first pixel and pitch as the display driver reports them to DirectDraw (a query
// only: nothing is enabled).
bool screen(uint8_t **bits, int32_t *pitch);
// Destroys every surface with the driver and disables its DirectDraw (before the display goes
// away or changes mode). Handles given out before are dead afterwards.
void close();
// The primary surface (the screen).
bool primary(Handle *out, SurfaceInfo *info);
// An off-screen surface of the screen's format: CanCreateSurface and CreateSurface with the
// driver; system-memory surfaces are the runtime's own.
int32_t create(uint32_t width, uint32_t height, uint32_t caps, Handle *out, SurfaceInfo *info);
void destroy(Handle surface);
// rect: left, top, right, bottom, or null for the whole surface.
int32_t lock(Handle surface, const int32_t *rect, uint32_t flags, uint8_t **bits);
int32_t unlock(Handle surface);
// A copy of equal sizes (src not null) or a colour fill (src null: `fill` is the colour), by the
// driver's Blt; what the driver leaves is done by the CPU.
int32_t blt(Handle dst, const int32_t *dstRect, Handle src, const int32_t *srcRect, uint32_t flags, uint32_t fill);
int32_t flip(Handle current, Handle target, uint32_t flags);

}  // namespace kiv::ddnt

// The display goes away or changes mode: every application surface is destroyed with the driver
// and lost. The machine calls it; the next DirectDraw call enables the driver's DirectDraw again.
void kivDDrawDisplayLeaving();
