// The outside kernel device zkgfx: owns the chip's channels, memory objects, DMA channels and
// regions, and answers the ZK_RM_* blocks of include/zkgfx.h. It registers itself as
// "\Device\zkgfx" with the kernel's object manager; the OpenGL driver's device path reaches the
// same device through kivZkgfxDeviceIoControl.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>
#include "include/zkgfx.h"
#include "platform/videoprt/ntkernel.h"

namespace kiv { class ZkChip; }

// Status words zkgfx writes into the blocks.
constexpr uint32_t kZkgfxOk = 0;
constexpr uint32_t kZkgfxBadHandle = 2;      // unknown, duplicate or wrong-kind handle
constexpr uint32_t kZkgfxBadClass = 3;
constexpr uint32_t kZkgfxBadIndex = 4;       // no such device index
constexpr uint32_t kZkgfxBadName = 5;        // no such region
constexpr uint32_t kZkgfxBusy = 6;           // the channel is already open
constexpr uint32_t kZkgfxBadFunction = 7;
constexpr uint32_t kZkgfxRefused = 8;        // an injected refusal

// ZK_RM_CONTROL target of the display driver's DMA pusher: function 0 binds the memory object
// named by the three words at InParams.
constexpr uint32_t kZkgfxPusherTarget = 0xFFFFFFFFu;

struct KivZkgfxObject { uint32_t handle, cls, base, limit; };
struct KivZkgfxDmaChannel { uint32_t handle, deviceIndex, notifier, pushBuffer; };

struct KivZkgfxState {
    std::vector<std::string> deviceNames{"ZK3"};
    std::vector<KivZkgfxObject> objects;
    std::vector<KivZkgfxDmaChannel> dmaChannels;
    uint32_t fifoAddress = 0;                // non-zero while the FIFO channel is open
    std::vector<uint32_t> regions;           // addresses handed out and not released
    std::vector<ZK_RM_MODESET_PARAMS> notices;   // pre and post notices as received
    std::vector<uint32_t> noticeCodes;
    std::vector<uint32_t> requestCodes;      // the request codes in order: the most recent 4096 to 8191
    // Injected answers.
    uint32_t preModesetStatus = 0;
    uint32_t postModesetStatus = 0;
    bool rejectCalls = false;                // answer every request with a failed call status
    std::set<uint32_t> failCallCodes;        // requests of these codes fail as calls (nothing done)
    std::set<uint32_t> refuseMemoryHandles;  // CREATE_MEMORY_OBJECT of these handles is refused
    bool refuseControl = false;              // every ZK_RM_CONTROL is refused
    int liveObjects() const { return int(objects.size() + dmaChannels.size() + regions.size()) + (fifoAddress != 0); }
};

// Creates the device for the chip (replacing an earlier one) / removes it. The device owns the
// chip's engine: starting places the engine model in the chip's aperture (the FIFO channel is
// aperture + 0x800000) and memory objects are announced to the engine model as they are made
// and freed, so that the engine finds notifiers and command buffers by handle.
void kivZkgfxStart(kiv::ZkChip *chip);
void kivZkgfxStop();
KivZkgfxState &kivZkgfxState();
// One request block, as sent through the device path: returns the NT status of the call.
NTSTATUS kivZkgfxDeviceIoControl(uint32_t code, void *block, uint32_t length);
