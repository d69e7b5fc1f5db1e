// Direct3D on the 9x machine with the SIV card: each cycle makes a render target and a Z buffer
// through DirectDraw's callbacks and a context on them, draws a triangle with DrawPrimitive and
// reads it back, then destroys the context and the surfaces. Further cycles leave the heap, the
// mappings and the shared-memory objects as they found them (tests/growth/footprint.h).
#include <cstring>

#include "platform/ddraw/ddraw9x_d3d.h"
#include "platform/siv/siv_engine3d.h"
#include "tests/growth/footprint.h"
#include "tests/sivhal_blit/siv_machine.h"

namespace {

class D3dGrowth : public ::testing::Test, protected SivMachine {
protected:
    D3d9xDevice dev{};

    void SetUp() override {
        BootSiv(640, 480, 16);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(kivD3d9xCreateDevice(&drv, 0x1234, &dev));
    }
    void TearDown() override {
        if (dev.drv) kivD3d9xDestroyAllContexts(&dev);
        kivDdraw9xUnloadHal(hal);
        kivSivd16Stop();
        kivSivPowerOff();
    }

    struct Surface {
        DDRAWI_DDRAWSURFACE_LCL lcl{};
        DDRAWI_DDRAWSURFACE_GBL gbl{};
    };
    bool create(Surface &s, DWORD caps, WORD w, WORD h) {
        s.lcl.lpGbl = &s.gbl;
        s.gbl.wWidth = w;
        s.gbl.wHeight = h;
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = caps;
        DDRAWI_DDRAWSURFACE_LCL *list[1] = {&s.lcl};
        return kivDdraw9xCreateSurfaces(&drv, &desc, list, 1) == DD_OK;
    }
    void destroy(Surface &s) { kivDdraw9xDestroySurface(&drv.gbl, drv.surfaceCallbacks.DestroySurface, &s.lcl); }
    static uint16_t at(const Surface &s, int x, int y) {
        uint16_t p;
        std::memcpy(&p, reinterpret_cast<const uint8_t *>(s.gbl.fpVidMem) + y * s.gbl.lPitch + 2 * x, 2);
        return p;
    }
    static void fill(const Surface &s, uint16_t v) {
        for (int y = 0; y < s.gbl.wHeight; ++y)
            for (int x = 0; x < s.gbl.wWidth; ++x)
                std::memcpy(reinterpret_cast<uint8_t *>(s.gbl.fpVidMem) + y * s.gbl.lPitch + 2 * x, &v, 2);
    }
};

TEST_F(D3dGrowth, ContextCyclesLeaveNothingBehind) {
    constexpr WORD w = 32, h = 24;
    expectNoGrowth(50, growthCycles(300), [this](int i) {
        kivSiv3dClearStats();
        Surface target, z;
        ASSERT_TRUE(create(target, DDSCAPS_OFFSCREENPLAIN | 0x2000 /* 3DDEVICE */, w, h));
        ASSERT_TRUE(create(z, DDSCAPS_ZBUFFER, w, h));
        fill(target, 0);
        fill(z, 0xFFFF);
        ULONG_PTR ctx = 0;
        ASSERT_EQ(kivD3d9xCreateContext(&dev, &target.lcl, &z.lcl, &ctx).result, DD_OK);
        // White over the upper left half of the target (x + y * 4/3 = 32 is its long edge).
        const D3DTLVERTEX v[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0xFF000000, 0, 0},
                                  {float(w), 0, 0.5f, 1, 0xFFFFFFFF, 0xFF000000, 0, 0},
                                  {0, float(h), 0.5f, 1, 0xFFFFFFFF, 0xFF000000, 0, 0}};
        const bool drawn = kivD3d9xDrawPrimitive(&dev, ctx, D3DPT_TRIANGLELIST, v, 3).result == DD_OK;
        const uint16_t in = at(target, 3, 3), out = at(target, w - 2, h - 2);
        EXPECT_EQ(kivD3d9xDestroyContext(&dev, ctx).result, DD_OK);
        destroy(z);
        destroy(target);
        ASSERT_TRUE(drawn) << "cycle " << i;
        ASSERT_EQ(in, 0xFFFF) << "5-6-5 white inside the triangle";
        ASSERT_EQ(out, 0) << "nothing beyond its long edge";
    });
}

}  // namespace
