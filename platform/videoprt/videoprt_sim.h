// The simulated machine behind the video port: the PCI bus with the card, the chip model, the
// port's registry, mappings and records of the calls a miniport made. Tests and the machine
// read it; failures can be injected before a boot.
#pragma once
#include <memory>
#include "platform/videoprt/videoprt.h"

// Physical layout of the simulated PCI card.
constexpr uint32_t kKivRange0Physical = 0xE0000000u;   // register aperture, 16 MB
constexpr uint32_t kKivRange1Physical = 0xE8000000u;   // frame-buffer aperture, 16 MB
constexpr uint32_t kKivVgaMemoryPhysical = 0xA0000u;
constexpr ULONG kKivPciSlot = 2;

struct KivVideoPortMapping {
    void *address;
    uint32_t physical;
    uint32_t length;
    uint32_t inIoSpace;
    uint32_t process;     // 0 = kernel
};

struct KivVideoPortSim {
    // ---- injected failures (kept across boots; clearFaults() resets them) ----
    std::vector<uint32_t> failDeviceBase;   // physical addresses whose VideoPortGetDeviceBase fails
    bool failVerifyAccessRanges = false;
    bool failMapMemory = false;
    ULONG configInfoLength = sizeof(VIDEO_PORT_CONFIG_INFO);
    void clearFaults() {
        failDeviceBase.clear();
        failVerifyAccessRanges = false;
        failMapMemory = false;
        configInfoLength = sizeof(VIDEO_PORT_CONFIG_INFO);
    }

    // ---- the machine as booted ----
    std::unique_ptr<kiv::ZkChip> chip;            // null without a card
    std::map<std::u16string, std::vector<uint8_t>> registry;
    VIDEO_HW_INITIALIZATION_DATA hwData{};
    std::vector<uint8_t> extension;               // the miniport's device extension
    VIDEO_PORT_CONFIG_INFO configInfo{};          // as HwFindAdapter left it
    VP_STATUS findAdapterStatus = -1;
    bool started = false;                         // HwFindAdapter and HwInitialize succeeded

    // ---- records of the miniport's calls ----
    std::vector<ULONG> int10Eax;
    std::vector<VIDEO_ACCESS_RANGE> trappedPorts;
    std::vector<VIDEO_ACCESS_RANGE> verifiedRanges;
    std::vector<KivVideoPortMapping> mappings;    // live VideoPortMapMemory mappings
    std::vector<KivVideoPortMapping> deviceBases; // live VideoPortGetDeviceBase mappings
    std::vector<std::u16string> registryWrites;   // names in the order they were set

    // Address tokens of I/O space and of the legacy VGA memory window (never dereferenced).
    uint8_t *ioBase = nullptr;
    uint8_t *vgaWindow = nullptr;

    void *deviceExtension() { return extension.empty() ? nullptr : extension.data(); }
};

KivVideoPortSim &kivVideoPortSim();

// Delivers one packet to HwStartIO exactly as given (no buffering); for tests that build their
// own packets. Returns FALSE without a started adapter.
BOOLEAN kivVideoPortStartIo(VIDEO_REQUEST_PACKET *packet);
