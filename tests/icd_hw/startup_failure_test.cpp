// A start-up that fails at any step leaves nothing behind: no zkgfx object, channel or region,
// no chip object, no handle, no command buffer; the context is created and draws in software.
#include "tests/icd_hw/hw_fixture.h"

namespace {

struct FailureCase {
    const char *step;
    std::function<bool(HwTest &, HwInjection &, HwTestDisplay &)> arrange;   // false: cannot arrange here
};

class StartUpFailure : public HwTest {
public:
    HANDLE blocker = nullptr;
    void TearDown() override {
        if (blocker) CloseHandle(blocker);
        HwTest::TearDown();
    }
};

TEST_F(StartUpFailure, EveryFailingStepIsUndoneCompletely) {
    auto createFails = [](uint32_t low) {
        return [low](HwTest &, HwInjection &j, HwTestDisplay &) {
            j.failCode = ZK_RM_CREATE_MEMORY_OBJECT;
            j.failLowWord = low;
            return true;
        };
    };
    auto callFails = [](uint32_t code) {
        return [code](HwTest &, HwInjection &j, HwTestDisplay &) {
            j.failCode = code;
            return true;
        };
    };
    StartUpFailure *self = this;
    const FailureCase cases[] = {
        // A name already taken by an object of another kind cannot be opened as a mutex or mapping.
        {"mutex", [self](HwTest &, HwInjection &, HwTestDisplay &) {
             self->blocker = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "ZkOglNT_SharedMutex");
             return self->blocker != nullptr;
         }},
        {"mapping", [self](HwTest &, HwInjection &, HwTestDisplay &) {
             self->blocker = CreateMutexA(nullptr, FALSE, "ZkOglNT_SharedMemoryNotifier");
             return self->blocker != nullptr;
         }},
        {"device", [](HwTest &, HwInjection &, HwTestDisplay &) {
             kivRegisterDevice(ZKGFX_USER_PATH, nullptr);
             return true;
         }},
        {"frame-buffer region", callFails(ZK_RM_GET_MEMORY_REGION)},
        {"channel notifier", createFails(uint32_t(-0xF003))},
        {"private notifier", createFails(0x1001)},
        {"shared notifier", createFails(0x1002)},
        {"command buffer", [](HwTest &, HwInjection &, HwTestDisplay &) {
             kivFailVirtualAllocAfter(1);
             return true;
         }},
        {"push-buffer object", createFails(0x1007)},
        {"frame buffer for surfaces", createFails(0x1003)},
        {"frame buffer for textures", createFails(0x1006)},
        {"DMA channel", callFails(ZK_RM_OPEN_DMA_CHANNEL)},
        {"channel words", callFails(ZK_RM_CONTROL)},
        {"OpenGL active", [](HwTest &, HwInjection &, HwTestDisplay &d) {
             d.refuseActive = true;
             return true;
         }},
        {"object creation refused", [](HwTest &, HwInjection &, HwTestDisplay &d) {
             d.refuseNext = 2;   // the push and its second try
             return true;
         }},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.step);
        // Fresh device, chip and display for every case.
        TearDown();
        SetUp();
        const int liveBefore = kivZkgfxState().liveObjects();
        const int vmBefore = kivVirtualAllocLive();
        if (!c.arrange(*this, inject, display)) {
            // The name is held by another process of the machine right now: this row cannot run.
            std::printf("note: '%s' skipped: the name is in use by another process\n", c.step);
            continue;
        }
        DHGLRC id = 0;
        GlContext *ctx = createContext(&id);
        ASSERT_NE(ctx, nullptr) << "the context exists without the chip";
        kivFailVirtualAllocAfter(0);
        const HwState &hw = ctx->hw;
        EXPECT_EQ(ctx->tail.hwPresent, 0);
        EXPECT_EQ(hw.deviceOpen, 0u);
        EXPECT_EQ(hw.hardwareLost, 1);
        EXPECT_EQ(hw.progress, 0u);
        EXPECT_EQ(hw.deviceHandle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(hw.sharedMutex, INVALID_HANDLE_VALUE);
        EXPECT_EQ(hw.sharedHeader, nullptr);
        EXPECT_EQ(hw.cmdBufAlloc, nullptr);
        EXPECT_EQ(hw.notifierBlock, nullptr);
        EXPECT_EQ(kivZkgfxState().liveObjects(), liveBefore);
        EXPECT_EQ(kivVirtualAllocLive(), vmBefore);
        EXPECT_EQ(zk3EngineLiveInstances(), 0u);
        // Destroying the context afterwards sends nothing more.
        const size_t requests = kivZkgfxState().requestCodes.size();
        deleteContext(id);
        EXPECT_EQ(kivZkgfxState().requestCodes.size(), requests);
        if (blocker) {
            CloseHandle(blocker);
            blocker = nullptr;
        }
    }
}

// The notifier block comes from the context's allocator: a refusal there is a failed step too.
TEST_F(HwTest, NotifierBlockRefusedByTheContextAllocator) {
    static int refusals;
    GlContext *ctx = static_cast<GlContext *>(std::calloc(1, sizeof(GlContext)));
    ctx->hostProcs = __wglHostProcs.procs;
    ctx->hostProcs.calloc = [](GlContext *, size_t n, size_t size) -> void * {
        if (n * size == 48) {
            ++refusals;
            return nullptr;
        }
        return std::calloc(n, size);
    };
    const int liveBefore = kivZkgfxState().liveObjects();
    EXPECT_FALSE(__glHwOpenDevice(ctx));
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(ctx->hw.progress, 0u);
    EXPECT_EQ(ctx->hw.hardwareLost, 1);
    EXPECT_EQ(kivZkgfxState().liveObjects(), liveBefore);
    std::free(ctx);
}

}  // namespace
