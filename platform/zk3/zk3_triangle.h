// The ZK3 engine's triangle class (0x48) as a functional model: it decodes the register block and
// the vertex records the OpenGL driver sends and rasterises them into the 16-bit colour and depth
// surfaces its connections reach. The meanings it gives the words are written down in
// CHIP_MODEL.md beside this file; the model is an independent rasteriser (edge functions and its
// own interpolation), so that a picture it draws can be compared with the software rasteriser's.
//
// Methods: 0x100 notifier, 0x104 notify, 0x200-0x208 connections (0x200 reaches the colour
// surface and the clip, 0x204/0x208 the depth surface), 0x300 texture memory object, 0x304
// texture offset, 0x308 texture format, 0x30C quality, 0x310 fog colour, 0x314 control, 0x318
// alpha; 0x1000-0x1FFC vertex data, eight words per vertex whatever the address. Any other method,
// a vertex cut short, a vertex slot out of range, a blend word outside the chip's table, a surface
// that cannot be reached and a texture read from a free heap block are reported as model errors
// (zk3DrawErrors).
#pragma once
#include <cstdint>

struct Zk3EngineObject;

void zk3TriangleMethod(const Zk3EngineObject &object, uint16_t method, uint32_t value);
void zk3TriangleReset();
// The instance is gone (destroyed, or its channel closed): its vertex slots and connections go too.
void zk3TriangleForget(const Zk3EngineObject &object);

struct Zk3TriangleStats {
    uint64_t vertices, triangles, pixelsTested, pixelsWritten, texels;
};
Zk3TriangleStats zk3TriangleStats();
// Whether triangles are rasterised (on at power-on). Off, the class still decodes and checks
// everything and counts triangles, but writes no pixels: a benchmark of the driver's side then
// does not time the stand-in chip's drawing.
void zk3TriangleSetDrawing(bool on);
