// The hardware state at the end of an application context. The screen context is cut before it,
// so nothing may reach it through a context that is not an application context.
#pragma once
#include <cstdint>

struct HwState {
    uint8_t reserved[360];  // laid out by the hardware back end
};
static_assert(sizeof(HwState) == 360);
