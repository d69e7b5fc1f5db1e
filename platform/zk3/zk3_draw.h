// The ZK3 engine's 2-D drawing, as a functional model: the objects the display driver draws
// through turn their methods into pixels in video memory.
//
// Objects by class (the handles the display driver gives them do not matter):
//   0x3E surface (destination 0xA00F2, source 0xA00F4): 0x304 memory object, 0x308 pitch,
//        0x30C offset, 0x300 format (0x1010000 8 bpp, 0x1000000 16 bpp, 1 32 bpp); the ZK4's
//        surfaces 0x58/0x59 likewise with the memory object at 0x184;
//   0x43 ROP (0x300 ROP3), 0x18 pattern (0x308 shape 0 mono 8x8 / 1 solid, 0x310 colour of 0
//        bits, 0x314 colour of 1 bits, 0x318/0x31C rows 0-3/4-7, row 0 in bits 0-7, pixel x of
//        a row in bit 7 - (x & 7) of its byte), 0x19 clip (0x300 point, 0x304 size);
//   0x1E rectangle (0x304 colour, 0x400 point, 0x404 size: draws);
//   0x1F blit (0x300 source point, 0x304 destination point, 0x308 size: copies, overlap-safe);
//   0x17 source colour key 0xA0007 (0x304: keying is on while the value has bits above the
//        pixel bits (8 bpp bits 8-15, 16 bpp bit 15, 32 bpp bits 24-31); blit and image pixels
//        whose pixel bits equal the key's are not drawn);
//   0x21 image from memory (0x304 point, 0x308 size out, 0x30C size in: starts an image; data
//        dwords at 0x400-0x47C fill rows of size-in pixels of which size-out are drawn);
//   0x4B monochrome expansion: group A (0x3FC colour, 0x400 (x << 16 | y), 0x404 (w << 16 | h):
//        draws), group C (clip 0xFE8/0xFEC, colour 0xFF0, size in 0xFF4, size out 0xFF8, point
//        0xFFC: starts; data at 0x1000; 0 bits leave the pixel alone), group E (clip
//        0x13E4/0x13E8, colours 0x13EC/0x13F0, sizes 0x13F4/0x13F8, point 0x13FC: starts; data
//        at 0x1400-0x143C; both colours drawn);
//   0x39 memory to memory, format = source byte step | destination byte step << 8 (0x101 whole
//        lines; other steps move single bytes) (0x30C/0x310 offsets, 0x314/0x318 pitches, 0x31C line
//        bytes, 0x320 lines, 0x328 starts; memory objects 0x300 in, 0x304 out, notifier 0x308
//        whose status word is cleared when the copy is done).
//   0x36 stretched image from the CPU (0x300 format, 0x304 source size, 0x308/0x30C destination-
//        per-source scales in 12.20, 0x310 destination point, 0x314 destination size (the window
//        drawn in), 0x318 start point in 1/16 pixel: starts; data at 0x400-0x43C, rows of whole
//        dwords);
//   0x37 scaled image read from memory (0x300 source format 0x1000000 / 1 RGB, 0x20001 UYVY,
//        0x20000 YUY2, 0x304 memory object, 0x308 destination point, 0x30C destination size,
//        0x310/0x314 band window, 0x318/0x31C source-per-destination steps in 12.20, 0x400 band
//        lines << 16 | width, 0x404 source pitch, 0x408 source offset, 0x40C band start point in
//        1/16 pixel: draws the band);
//   0x3F two scan-out buffers (b at 0x310 + 20 b: offset, pitch, size, format, start); the
//        screen's and the overlay's (0x80023F90) switch at once and clear their notifier (0x308);
//   0x40 overlay scaler (0x300/0x304 steps) and 0x41 overlay window (0x308 point, 0x30C size,
//        0x304 key): what they show is read with zk3OverlayScan.
// The drawing objects reach the destination surface 0xA00F2, the source surface 0xA00F4, the
// ROP 0xA0004, the pattern 0xA0005 and the clip 0xA0006 by handle (the object graph's patches
// are not followed). Colours are
// taken as the format's pixel bits: the alpha bits the driver ORs in do not reach memory. The
// rectangle, blit and image objects are cut to the clip object and to the surface's memory;
// the expansion groups only by their own clip. The pattern repeats in the destination
// surface's coordinates. Mono data: bytes in memory order, four to a dword (first in bits 0-7),
// leftmost pixel in bit 7.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Zk3EngineObject;

// Called by the engine for every method an object runs (after it was recorded).
void zk3DrawMethod(const Zk3EngineObject &object, uint16_t method, uint32_t value);
// Back to power-on state.
void zk3DrawReset();

// Inspection for tests.
// The scalers' work: `texels` counts the source pixels the stretches and scalers took in, and
// `sampleLookups` every destination coordinate whose source sample they worked out (a pixel drawn,
// or a probe for where a source row's or column's run begins), so that a test can bound the
// work by the pixels.
struct Zk3DrawStats {
    uint64_t rectangles, blits, images, monoA, monoC, monoE, memoryCopies, pixels;
    uint64_t texels, sampleLookups;
};
Zk3DrawStats zk3DrawStats();
// What the overlay shows now: its window on the screen (the scaler's point is not consulted), the
// destination key, the buffer in use and, per window pixel from the top-left, the Y, U and V the
// overlay scans there (nearest source pixel of the scaler's steps, endpoints aligned: window pixel
// i takes source column (i xStep + 2^19) >> 20). Not visible while the window's size or the
// buffer's size is 0.
struct Zk3OverlayPicture {
    bool visible = false;
    int32_t x = 0, y = 0;
    uint32_t width = 0, height = 0, key = 0, buffer = 0;
    std::vector<uint8_t> yuv;
};
Zk3OverlayPicture zk3OverlayScan();
// Bands the memory-fed scaler drew and rows the CPU-fed stretch drew since the reset.
uint64_t zk3DrawScaledBands();
uint64_t zk3DrawStretchedRows();

// Things the model could not do (a surface outside its memory object, data without an image ...).
const std::vector<std::string> &zk3DrawErrors();
void zk3DrawClearErrors();
