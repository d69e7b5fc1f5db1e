// Memory-mapped register windows of the simulated chip.
//
// A driver reaches the chip's registers through the platform's register accessors
// (READ_REGISTER_* / WRITE_REGISTER_*). On the real machine they are plain loads and stores;
// here they pass through kivMmioRead/kivMmioWrite, which hand an access that falls inside a
// registered window to that window's model, so that a store can have an effect (an object
// bound, a method run, the DMA pusher started) and a load can answer from the model's state.
// An access outside every window is a plain load or store of host memory.
#pragma once
#include <cstdint>

struct KivMmioWindow {
    uint8_t *base;     // host address the driver was given for the window
    uint32_t size;     // bytes
    void *context;     // handed back to the callbacks
    // width is 1, 2 or 4 bytes; offset is relative to base
    uint32_t (*read)(void *context, uint32_t offset, unsigned width);
    void (*write)(void *context, uint32_t offset, uint32_t value, unsigned width);
};

extern "C" {
// Registers a window; a window already registered at the same base is replaced.
void kivMmioAddWindow(const KivMmioWindow *window);
void kivMmioRemoveWindow(const void *base);
uint32_t kivMmioRead(const volatile void *address, unsigned width);
void kivMmioWrite(volatile void *address, uint32_t value, unsigned width);
}
