// A booted machine with the ZK3 chip model and the zkgfx device, and a display driver that
// answers the OpenGL driver's escapes as the real one does: the DMA escape programs the chip
// model's pusher, which executes the pushed words at once (or, on request, later).
#pragma once
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <vector>
#include "tests/icd_core/icd_fixture.h"
#include "icd/hw/hw.h"
#include "include/zk_escape.h"
#include "include/zkgfx.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"
#include "platform/zkgfx/zkgfx.h"

// The display driver's side of the escapes.
struct HwTestDisplay {
    uint32_t counter = 7;                // mode-change counter
    bool depth16 = true;
    uint32_t openGlActive = 0;
    std::vector<uint32_t> activeCounts;  // every OPENGL_ACTIVE count received
    uint16_t ramp[768] = {};
    int rampLoads = 0;
    std::vector<ZK_DMA_PUSH_PARAMS> pushes;   // non-empty records, as received
    int emptyRecords = 0;
    int refuseNext = 0;                  // that many started pushes answer "refused"
    bool refuseActive = false;           // OPENGL_ACTIVE answers 0
    bool deferred = false;               // keep started pushes until runDeferred
    int runAfterEmpty = 0;               // run the kept pushes at this empty record
    std::vector<ZK_DMA_PUSH_PARAMS> kept;
    kiv::ZkChip *chip = nullptr;

    void runPusher(const ZK_DMA_PUSH_PARAMS &r) {
        auto reg = [&](uint32_t off, uint32_t v) { chip->write(0x2000 + off, v, 4); };
        reg(0x1200, 1);
        reg(0x1204, r.dmaObject);
        reg(0x1238, r.param1);
        reg(0x122C, r.param2);
        reg(0x1228, r.startOffset);
        reg(0x1224, r.endOffset - r.startOffset);
        reg(0x1220, 1);
    }
    void runDeferred() {
        for (const auto &r : kept) runPusher(r);
        kept.clear();
    }

    int escape(int code, int inSize, const void *in, int outSize, void *out) {
        switch (code) {
        case ESC_ZK_START_DMA_PUSH: {
            if (!in || !out || inSize != 24 || outSize != 24) return 0;
            ZK_DMA_PUSH_PARAMS r;
            std::memcpy(&r, in, 24);
            auto *o = static_cast<ZK_DMA_PUSH_PARAMS *>(out);
            if (r.endOffset <= r.startOffset) {
                o->param1 = counter;
                if (++emptyRecords == runAfterEmpty) runDeferred();
                return 0;
            }
            pushes.push_back(r);
            if (depth16 && openGlActive != 0 && r.modeCounter == counter) {
                if (refuseNext > 0) {
                    --refuseNext;
                    o->dmaObject = 0;
                } else {
                    if (deferred) kept.push_back(r);
                    else runPusher(r);
                    o->dmaObject = 1;
                }
            }
            o->param1 = counter;
            return 1;
        }
        case ESC_ZK_OPENGL_ACTIVE: {
            if (!in || inSize != 4 || !out || outSize != 4 || refuseActive) return 0;
            uint32_t address;
            std::memcpy(&address, in, 4);
            openGlActive = *reinterpret_cast<const uint32_t *>(uintptr_t(address));
            activeCounts.push_back(openGlActive);
            std::memcpy(out, &counter, 4);
            return 1;
        }
        case ESC_ZK_SET_GAMMA_RAMP:
            if (!in || inSize != 1536) return 0;
            std::memcpy(ramp, in, 1536);
            ++rampLoads;
            return 0;   // the driver answers 0 when it has loaded the ramp
        case ESC_ZK_GET_GAMMA_RAMP:
            if (!out || outSize != 1536) return 0;
            std::memcpy(out, ramp, 1536);
            return 1;
        default: {
            const KivDisplayDevice *d = kivDisplayDriverDouble();
            return d->escape(d->context, nullptr, nullptr, code, inSize, in, outSize, out);
        }
        }
    }
    uint8_t rampByte(int table, int i) const { return uint8_t(ramp[256 * table + i] >> 8); }
};

// Requests of the driver's device path can be made to fail as calls: by code, and for memory
// objects by the low word of their handle.
struct HwInjection {
    uint32_t failCode = 0;
    uint32_t failLowWord = 0xFFFFFFFFu;   // for ZK_RM_CREATE_MEMORY_OBJECT
};

class HwTest : public IcdTest {
protected:
    static HwTest *current;
    std::unique_ptr<kiv::ZkChip> chip;
    HwTestDisplay display;
    KivDisplayDevice device{};
    const KivDisplayDevice *previousDisplay = nullptr;
    HwInjection inject;
    std::vector<DHGLRC> contexts;
    std::vector<std::unique_ptr<TestWindow>> windows;

    static int escapeThunk(void *c, HDC, HWND, int code, int inSize, const void *in, int outSize, void *out) {
        return static_cast<HwTestDisplay *>(c)->escape(code, inSize, in, outSize, out);
    }
    static void *openThunk(void *, DWORD) { return reinterpret_cast<void *>(1); }
    static BOOL controlThunk(void *, void *, DWORD code, LPVOID in, DWORD inSize, LPVOID, DWORD, LPDWORD returned) {
        const HwInjection &j = current->inject;
        if (code == j.failCode) {
            if (code != ZK_RM_CREATE_MEMORY_OBJECT ||
                (static_cast<const ZK_RM_MEMORY_OBJECT_PARAMS *>(in)->Handle & 0xFFFF) == (j.failLowWord & 0xFFFF))
                return FALSE;
        }
        *returned = inSize;
        return kivZkgfxDeviceIoControl(code, in, inSize) == 0;
    }

    void SetUp() override {
        IcdTest::SetUp();
        current = this;
        chip = std::make_unique<kiv::ZkChip>(kiv::ZkChipConfig{});
        kivZkgfxStart(chip.get());
        zk3EngineSetSpinGuard(0);
        static const KivDeviceOps ops{openThunk, controlThunk, nullptr, nullptr};
        kivRegisterDevice(ZKGFX_USER_PATH, &ops);
        display.chip = chip.get();
        previousDisplay = kivMachineDisplay();
        device = *kivDisplayDriverDouble();
        device.name = "test display (ZK3 escapes)";
        device.context = &display;
        device.escape = escapeThunk;
        kivMachineRegisterDisplay(&device);
    }
    void TearDown() override {
        IcdTest::TearDown();
        for (DHGLRC id : contexts) DrvDeleteContext(id);
        contexts.clear();
        windows.clear();
        kivMachineRegisterDisplay(previousDisplay);
        kivZkgfxStop();
        kivRegisterDevice(ZKGFX_USER_PATH, nullptr);
        chip.reset();
        kivFailVirtualAllocAfter(0);
        current = nullptr;
    }

    // A context on a double-buffered window, as opengl32 creates it.
    GlContext *createContext(DHGLRC *idOut = nullptr) {
        windows.push_back(std::make_unique<TestWindow>(kDoubleFormat));
        DHGLRC id = DrvCreateContext(windows.back()->hdc);
        if (id == 0) return nullptr;
        contexts.push_back(id);
        if (idOut) *idOut = id;
        return contextOf(id);
    }
    void deleteContext(DHGLRC id) {
        DrvDeleteContext(id);
        for (auto it = contexts.begin(); it != contexts.end(); ++it)
            if (*it == id) {
                contexts.erase(it);
                break;
            }
    }
    void makeCurrent(DHGLRC id) { ASSERT_NE(DrvSetContext(windows.back()->hdc, id, nullptr), nullptr); }

    // The words the engine received from the pusher since the log was cleared.
    static std::vector<Zk3FifoWrite> pushedWrites() {
        std::vector<Zk3FifoWrite> v;
        for (const Zk3FifoWrite &w : zk3EngineLog())
            if (w.fromPusher) v.push_back(w);
        return v;
    }
    static uint8_t status(const GlContext *ctx) { return ctx->hw.notifier[15]; }
};
inline HwTest *HwTest::current = nullptr;

// A word the engine received, as the tests compare them.
struct Write {
    uint32_t sub, method, value;
    bool operator==(const Write &) const = default;
};
inline std::ostream &operator<<(std::ostream &o, const Write &w) {
    return o << std::hex << "{" << w.sub << ", 0x" << w.method << ", 0x" << w.value << "}";
}
inline std::vector<Write> decoded(const std::vector<Zk3FifoWrite> &log) {
    std::vector<Write> v;
    for (const Zk3FifoWrite &w : log) v.push_back({w.subchannel, w.method, w.value});
    return v;
}
