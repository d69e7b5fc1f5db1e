// The ZK3 engine's object classes, as the display driver creates them in its FIFO channel and the
// chip model executes them. A class object's handle is its class number: loaded in a subchannel,
// it creates an instance on method 0x300 and destroys one on method 0x304.
#pragma once
#include <cstdint>

enum ZkEngineClass : uint32_t {
    // Patch cords and graph stages that connect the drawing objects to the surfaces.
    ZK_CLASS_VIDEO_PATCH = 0x0A,     // carries video between the DAC, flip and overlay objects
    ZK_CLASS_VIDEO_OUT = 0x0B,
    ZK_CLASS_DAC_TRANSFER = 0x0D,
    ZK_CLASS_PATCH = 0x0E,           // carries pixels between drawing objects and stages
    ZK_CLASS_STAGE_CLIP = 0x10,
    ZK_CLASS_STAGE_ROP = 0x13,
    ZK_CLASS_STAGE_KEY = 0x15,
    ZK_CLASS_ROP_PATCH = 0x33,
    // The drawing objects.
    ZK_CLASS_COLOR_KEY = 0x17,
    ZK_CLASS_PATTERN = 0x18,
    ZK_CLASS_CLIP = 0x19,
    ZK_CLASS_RECTANGLE = 0x1E,
    ZK_CLASS_BLIT = 0x1F,
    ZK_CLASS_IMAGE_FROM_CPU = 0x21,
    ZK_CLASS_STRETCHED_IMAGE_FROM_CPU = 0x36,
    ZK_CLASS_SCALED_IMAGE = 0x37,     // scaled image read from memory by the engine
    ZK_CLASS_SCALED_IMAGE_PLANAR = 0x38,
    ZK_CLASS_MEMORY_TO_MEMORY = 0x39,
    ZK_CLASS_SURFACE = 0x3E,
    ZK_CLASS_FLIP = 0x3F,             // two scan-out buffers: the screen's flip and the overlay's
    ZK_CLASS_OVERLAY_SCALER = 0x40,
    ZK_CLASS_OVERLAY_WINDOW = 0x41,
    ZK_CLASS_ROP = 0x43,
    ZK_CLASS_MONO_EXPANSION = 0x4B,
    // The 3-D engine: its depth surface and the triangle class the OpenGL driver draws with.
    ZK_CLASS_DEPTH_SURFACE = 0x45,
    ZK_CLASS_TRIANGLE = 0x48,
    // The ZK4's surfaces (they name their memory through methods 0x180 onward).
    ZK_CLASS_ZK4_DESTINATION_SURFACE = 0x58,
    ZK_CLASS_ZK4_SOURCE_SURFACE = 0x59,
};

// Handles of the instances the display driver makes and the chip model reaches by handle.
enum ZkEngineHandle : uint32_t {
    ZK_OBJ_IMAGE = 0xA0000,
    ZK_OBJ_BLIT = 0xA0001,
    ZK_OBJ_RECTANGLE = 0xA0003,
    ZK_OBJ_ROP = 0xA0004,
    ZK_OBJ_PATTERN = 0xA0005,
    ZK_OBJ_CLIP = 0xA0006,
    ZK_OBJ_COLOR_KEY = 0xA0007,
    ZK_OBJ_MONO = 0xA0008,
    ZK_OBJ_VIDEO_OUT = 0xA00F0,
    ZK_OBJ_FLIP = 0xA00F1,
    ZK_OBJ_DST_SURFACE = 0xA00F2,
    ZK_OBJ_DAC_TRANSFER = 0xA00F3,
    ZK_OBJ_SRC_SURFACE = 0xA00F4,
    ZK_OBJ_MEMORY_COPY = 0x3400000A,         // over the DMA buffer
    ZK_OBJ_STAGING_COPY = 0x80021020,        // video memory into the staging buffer
    ZK_OBJ_STRETCH_FROM_CPU = 0x80021400,
    ZK_OBJ_SCALE_RGB_STAGED = 0x80021500,    // scaled images: the source's format and where it is read
    ZK_OBJ_SCALE_RGB_VIDEO = 0x80021510,
    ZK_OBJ_SCALE_UYVY_STAGED = 0x80021520,
    ZK_OBJ_SCALE_UYVY_VIDEO = 0x80021530,
    ZK_OBJ_SCALE_YUY2_STAGED = 0x80021540,
    ZK_OBJ_SCALE_YUY2_VIDEO = 0x80021550,
    ZK_OBJ_STRETCH_8BIT_FROM_CPU = 0x80021600,
    ZK_OBJ_OVERLAY_BUFFERS = 0x80023F90,
    ZK_OBJ_OVERLAY_SCALER = 0x80023FA0,
    ZK_OBJ_OVERLAY_WINDOW = 0x80023FB0,
    ZK_OBJ_VIDEO_COPY = 0x80023FE0,          // video memory to video memory with byte steps
};
