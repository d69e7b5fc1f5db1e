// Boots the simulated machine with the miniport linked into the test and gives the tests its
// device extension, chip model and request path.
#pragma once
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "miniport/kivport.h"
#include "platform/videoprt/videoprt_sim.h"

inline std::vector<uint8_t> regDword(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

struct MiniportTest : ::testing::Test {
    KivVideoPortConfig config;
    MiniportTest() { config.driverEntry = DriverEntry; }
    void TearDown() override {
        // A test that opened the zkgfx link closes it as the display driver would at its end;
        // the next boot's driver entry starts without it.
        ZkCloseRmLink();
        kivVideoPortShutdown();
        kivVideoPortSim().clearFaults();
    }
    bool boot() { return kivVideoPortBoot(config); }
    KivVideoPortSim &sim() { return kivVideoPortSim(); }
    kiv::ZkChip &chip() { return *sim().chip; }
    ZK_DEVICE_EXTENSION *ext() { return static_cast<ZK_DEVICE_EXTENSION *>(sim().deviceExtension()); }
    // A request as the video port delivers it; returns the status block (Information also on failure).
    STATUS_BLOCK request(ULONG code, void *in, ULONG inSize, void *out, ULONG outSize) {
        STATUS_BLOCK sb{0xFFFFFFFF, 0};
        VIDEO_REQUEST_PACKET p{code, &sb, in, inSize, out, outSize};
        EXPECT_TRUE(kivVideoPortStartIo(&p));
        return sb;
    }
    std::vector<uint8_t> registryValue(const char16_t *name) {
        auto it = sim().registry.find(name);
        return it == sim().registry.end() ? std::vector<uint8_t>{} : it->second;
    }
};
