// Drives the display driver the way the graphics engine does, over the real video port and
// miniport, with a zkgfx double on the relay path. The double answers the ZK_RM_* requests the
// way the resource manager does (device names, memory objects announced to the engine model,
// the FIFO channel, regions, control), records every block it was sent, and fails requests on
// demand.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "display/ddi.h"
#include "display/driver.h"
#include "miniport/kivport.h"
#include "platform/ntgdi/ntgdi.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"

struct RmRequest {
    DWORD code;
    std::vector<uint8_t> block;   // as zkgfx left it
    template <typename T> T as() const {
        T t{};
        std::memcpy(&t, block.data(), std::min(sizeof t, block.size()));
        return t;
    }
};

class ZkgfxDouble {
public:
    std::vector<std::string> deviceNames{"ZK3"};
    std::map<DWORD, uint16_t> failStatus;       // request code -> status to answer
    std::set<uint32_t> failMemoryHandles;      // CREATE_MEMORY_OBJECT of these handles fails
    bool dropTransfer = false;                 // GET_MEMORY_REGION never reaches zkgfx
    uint32_t controlStatus = 0;
    std::vector<RmRequest> log;
    std::set<uint32_t> liveMemory;
    bool linkOpen = false;
    int fifoOpen = 0;

    bool handle(DWORD code, void *in, DWORD inSize, DWORD outSize, DWORD *status);
    std::vector<DWORD> codes() const {
        std::vector<DWORD> v;
        for (const auto &r : log) v.push_back(r.code);
        return v;
    }
    size_t count(DWORD code) const {
        size_t n = 0;
        for (const auto &r : log) n += r.code == code;
        return n;
    }
};

class DisplayTest : public ::testing::Test {
protected:
    ZkgfxDouble zk;
    bool skipped_ = false;
    std::vector<DWORD> ioctls;   // every EngDeviceIoControl code, in order

    void SetUp() override;
    void TearDown() override;
    bool boot(uint32_t w = 1024, uint32_t h = 768, uint32_t bpp = 16, uint32_t hz = 60);
    ZK_PDEV *pdev() const {
        const KivEngineDisplay *d = kivEngineDisplay();
        return d ? reinterpret_cast<ZK_PDEV *>(d->dhpdev) : nullptr;
    }
    kiv::ZkChip *chip() const { return kivVideoPortSim().chip.get(); }
};
