// The ZK3 engine's 2-D drawing, as a functional model: the objects the display driver draws
// through turn their methods into pixels in video memory.
//
// Objects by class (the handles the display driver gives them do not matter):
//   0x3E surface (destination 0xA00F2, source 0xA00F4): 0x304 memory object, 0x308 pitch,
//        0x30C offset, 0x300 format (0x1010000 8 bpp, 0x1000000 16 bpp, 1 32 bpp);
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
struct Zk3DrawStats {
    uint64_t rectangles, blits, images, monoA, monoC, monoE, memoryCopies, pixels;
};
Zk3DrawStats zk3DrawStats();
// Things the model could not do (a surface outside its memory object, data without an image ...).
const std::vector<std::string> &zk3DrawErrors();
void zk3DrawClearErrors();
