// Drives the display driver the way the graphics engine does, over the real video port,
// miniport and zkgfx device, with the engine model in the chip's aperture. Failures are
// injected into zkgfx itself.
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
#include "platform/zkgfx/zkgfx.h"

struct RmRequest {
    DWORD code;
    std::vector<uint8_t> block;   // as zkgfx left it
    // ZK_RM_CONTROL: the first words its input parameters pointed at during the call (the
    // driver's parameter block is gone once the call returns).
    std::vector<uint32_t> controlIn;
    template <typename T> T as() const {
        T t{};
        std::memcpy(&t, block.data(), std::min(sizeof t, block.size()));
        return t;
    }
};

// What the display driver sent towards zkgfx (every ZK_RM_* request at EngDeviceIoControl,
// with its block as it came back) and a view of the real zkgfx device's state.
class ZkgfxView {
public:
    std::vector<RmRequest> log;

    KivZkgfxState &state() const { return kivZkgfxState(); }
    std::vector<std::string> &deviceNames() const { return state().deviceNames; }
    std::set<uint32_t> liveMemory() const {
        std::set<uint32_t> s;
        for (const auto &o : state().objects) s.insert(o.handle);
        return s;
    }
    bool fifoOpen() const { return state().fifoAddress != 0; }
    bool linkOpen() const { return ZkRmLinkOpen(); }
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
    ZkgfxView zk;
    bool stopped_ = false;   // SetUp failed and shut the video port down: nothing to release
    KivVideoCard card_ = KivVideoCard::ZK3;   // the card the machine boots with
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
