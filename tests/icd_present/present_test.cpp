// A program on a double-buffered window draws into DirectDraw surfaces in video memory and swaps
// them onto its part of the screen; lost surfaces, mode changes, refused surfaces, the window
// block's swap kinds, and what is left once everything is gone.
#include <cstring>
#include "tests/icd_state/state_fixture.h"
#include "icd/hw/hw.h"
#include "icd/hw/present.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zk3/zk3.h"

namespace {

class Present : public CurrentContextTest {
protected:
    void SetUp() override {
        IcdTest::SetUp();
        kivDDrawResetInjections();
        kivDDrawResetLog();
        kivDDrawSetVideoBudget(0xFFFFFFFFu);
        kivDDrawOffer(true);
    }
    void TearDown() override {
        kivDDrawResetInjections();
        CurrentContextTest::TearDown();
        kivDDrawSetVideoBudget(0xFFFFFFFFu);
        kivDDrawOffer(true);
    }
    // The CPU's road: the software rasteriser draws into the surfaces and the swap's blits run on
    // the CPU, which shows exactly which rectangles were copied and from where.
    void drawInSoftware() {
        ctx->hw.hardwareLost = 1;
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask |= 0x7FF;
    }
    GlDrawable *drawable() { return ctx->handle->drawable; }
    GlBufferDescriptor &desc(GlDescriptorIndex i) { return drawable()->buffers.descriptors[i]; }
    static int32_t screenPitch() {
        DDSURFACEDESC d{};
        d.dwSize = sizeof d;
        __wglDDrawProcess().primary->GetSurfaceDesc(&d);
        return d.lPitch;
    }
    static uint16_t screenPixel(int x, int y) {
        uint16_t p;
        std::memcpy(&p, __wglDDrawProcess().primaryAddress + y * screenPitch() + x * 2, 2);
        return p;
    }
    static void fillScreen(uint16_t value) {
        uint8_t *row = __wglDDrawProcess().primaryAddress;
        for (int y = 0; y < 768; ++y, row += screenPitch())
            for (int x = 0; x < 1024; ++x) std::memcpy(row + 2 * x, &value, 2);
    }
    void clearTo(float r, float g, float b) {
        windowProjection(ctx, drawable()->width, drawable()->height);
        GL(glDisable)(GL_DITHER);
        GL(glClearColor)(r, g, b, 0.0f);
        GL(glClear)(GL_COLOR_BUFFER_BIT);
    }
    static bool inVideoMemory(const void *p) {
        kiv::ZkChip *chip = kivVideoPortSim().chip.get();
        const uint8_t *b = static_cast<const uint8_t *>(p);
        return b >= chip->videoMemory() && b < chip->videoMemory() + chip->videoMemorySize();
    }
};

TEST_F(Present, AWindowsBuffersAreSurfacesPlacedByTheDeviceHooks) {
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(desc(kGlDescriptorFront).storage, __wglDDrawProcess().primary);
    EXPECT_EQ(drawable()->swap, __glHwSwapBuffers);
    EXPECT_TRUE(drawable()->buffers.topDown);
    // Back and depth where the placement word asks for video memory; stencil in system memory.
    std::vector<DWORD> log;
    for (DWORD caps : kivDDrawCreateLog())
        if (!(caps & DDSCAPS_PRIMARYSURFACE)) log.push_back(caps);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], 0x4040u);
    EXPECT_EQ(log[1], 0x4040u);
    EXPECT_EQ(log[2], 0x840u);
    EXPECT_TRUE(inVideoMemory(desc(kGlDescriptorBack).base));
    EXPECT_TRUE(inVideoMemory(desc(kGlDescriptorDepth).base));
    EXPECT_FALSE(inVideoMemory(desc(kGlDescriptorStencil).base));
    EXPECT_EQ(ctx->hostProcs.getPrimary(ctx), __wglDDrawProcess().primaryAddress);
    EXPECT_EQ(ctx->hw.directDraw != nullptr, true);
}

// A refused back surface falls back to memory and the swap copies on the CPU, within the part of
// the window that another window does not cover; the next resize gets a surface again.
TEST_F(Present, ARefusedBackSurfaceSwapsByCopyAndTheNextResizeTriesAgain) {
    kivDDrawFailCreate(0x4040, 1);
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    GlDrawable *dr = drawable();
    EXPECT_EQ(desc(kGlDescriptorBack).resize, __wglDDrawBackBufferUpdateHook);
    EXPECT_EQ(dr->swap, __wglSwapBuffersCopy);
    TestWindow cover(0, 100, 100);  // client (10, 20)-(110, 120), above ours
    fillScreen(0x1234);
    clearTo(0.0f, 0.0f, 1.0f);
    EXPECT_EQ(DrvSwapLayerBuffers(window->hdc, 1), TRUE);
    EXPECT_EQ(screenPixel(200, 200), 0x001F) << "inside the window, uncovered";
    EXPECT_EQ(screenPixel(329, 259), 0x001F) << "the window's last pixel";
    EXPECT_EQ(screenPixel(50, 50), 0x1234) << "under the covering window";
    EXPECT_EQ(screenPixel(330, 200), 0x1234) << "right of the window";
    EXPECT_EQ(screenPixel(200, 260), 0x1234) << "below the window";

    ASSERT_NE(desc(kGlDescriptorBack).resize(&desc(kGlDescriptorBack), &dr->buffers, dr->width, dr->height,
                                             kGlBufferBack),
              0);
    EXPECT_EQ(desc(kGlDescriptorBack).resize, __wglDDrawUpdateBackBuffer);
    EXPECT_TRUE(inVideoMemory(desc(kGlDescriptorBack).base));
    EXPECT_EQ(dr->swap, __glHwSwapBuffers);
}

// The chip's swap blits the rectangles the display driver reported; with the device lost the
// blits run on the CPU, which shows exactly which rectangles were copied and from where.
TEST_F(Present, TheHardwareSwapBlitsWhatTheWindowBlockShows) {
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    GlDrawable *dr = drawable();
    drawInSoftware();
    clearTo(1.0f, 0.0f, 0.0f);
    // A green mark at the back buffer's top-left pixel.
    std::memset(desc(kGlDescriptorBack).base, 0, 2);
    ZK_CLIENT_WINDOW_BLOCK *block = dr->windowState;
    ASSERT_NE(block, nullptr);
    const ZK_CLIENT_WINDOW_BLOCK saved = *block;
    struct Case {
        uint32_t kind;
        int16_t originX, originY;
        std::vector<ZK_RECTL> rects;
        int checkX, checkY;  // a screen pixel that must be red afterwards
        BOOL result;
    } cases[] = {
        {ZK_WINDOW_WHOLE_CLIENT, 10, 20, {}, 300, 250, TRUE},
        {ZK_WINDOW_ONE_RECT, 10, 20, {{50, 60, 100, 90}}, 99, 89, TRUE},
        // A window reaching past the left edge: its origin is negative.
        {ZK_WINDOW_ONE_RECT, -20, 20, {{0, 30, 40, 50}}, 0, 30, TRUE},
        {ZK_WINDOW_RECT_LIST, 10, 20, {{10, 20, 30, 30}, {200, 100, 210, 110}}, 209, 109, TRUE},
        {ZK_WINDOW_INVISIBLE, 10, 20, {}, -1, -1, TRUE},
    };
    for (const Case &c : cases) {
        fillScreen(0x1234);
        block->changeKind = c.kind;
        block->clientOrigin = uint32_t(uint16_t(c.originX)) << 16 | uint16_t(c.originY);
        block->rectCount = uint32_t(c.rects.size());
        for (size_t i = 0; i < c.rects.size(); ++i) block->rects[i] = c.rects[i];
        block->changeCounter = block->changeCounter + 1;
        EXPECT_EQ(__glHwSwapBuffers(dr), c.result) << c.kind;
        if (c.checkX >= 0) {
            EXPECT_EQ(screenPixel(c.checkX, c.checkY), 0x7C00) << c.kind;
        }
        if (c.kind == ZK_WINDOW_ONE_RECT && c.originX < 0) {
            EXPECT_EQ(screenPixel(0, 20), 0x1234);
        }
        if (c.kind == ZK_WINDOW_INVISIBLE) {
            EXPECT_EQ(screenPixel(200, 200), 0x1234) << "nothing copied";
        }
        if (c.kind == ZK_WINDOW_WHOLE_CLIENT) {
            EXPECT_EQ(screenPixel(10, 20), 0x0000) << "the mark at the origin";
        }
        if (c.kind == ZK_WINDOW_RECT_LIST) {
            EXPECT_EQ(screenPixel(100, 100), 0x1234) << "between the rectangles";
        }
    }
    *block = saved;
}

TEST_F(Present, LostSurfacesAreRestoredAndTheNextLockSucceeds) {
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    drawInSoftware();
    clearTo(0.0f, 1.0f, 0.0f);
    kivDDrawLoseSurfaces();
    // The first lock finds the surface lost, makes the buffers again and refuses; the second works.
    EXPECT_FALSE(__glPrepareBuffers(ctx, kGlBufferBack));
    EXPECT_EQ(drawable()->flags & kGlDrawableBuffersInvalid, 0u);
    ASSERT_TRUE(__glPrepareBuffers(ctx, kGlBufferBack));
    __glReleaseBuffers(ctx, kGlBufferBack);
    drawInSoftware();
    EXPECT_EQ(static_cast<IDirectDrawSurface *>(desc(kGlDescriptorBack).storage)->IsLost(), DD_OK);
    EXPECT_EQ(__wglDDrawProcess().primary->IsLost(), DD_OK) << "the front resize restored the primary";
    clearTo(0.0f, 0.0f, 1.0f);
    uint16_t p;
    std::memcpy(&p, desc(kGlDescriptorBack).base, 2);
    EXPECT_EQ(p, 0x001F);
}

TEST_F(Present, ABusyPrimaryIsWaitedForThenTheLockGivesUp) {
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    GlBufferDescriptor &front = desc(kGlDescriptorFront);
    kivDDrawBusyLocks(3);
    ASSERT_TRUE(front.lock(&front, &drawable()->buffers));
    front.unlock(&front, &drawable()->buffers);
    kivDDrawBusyLocks(1 << 20);
    EXPECT_FALSE(front.lock(&front, &drawable()->buffers)) << "a primary that stays busy fails the lock";
    EXPECT_NE(drawable()->flags & kGlDrawableBuffersInvalid, 0u);
    // Once the primary answers again the first lock makes the buffers again and works.
    kivDDrawBusyLocks(0);
    EXPECT_TRUE(front.lock(&front, &drawable()->buffers));
    EXPECT_EQ(drawable()->flags & kGlDrawableBuffersInvalid, 0u);
    front.unlock(&front, &drawable()->buffers);
}

// A mode change seen through the window block: at the same depth the buffers are made again;
// at another depth every lock fails and the mismatch stays marked until the depth matches.
TEST_F(Present, AModeChangeRevalidatesAtTheSameDepthAndRefusesAnother) {
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    GlDrawable *dr = drawable();
    GlBufferDescriptor &front = desc(kGlDescriptorFront);
    ++dr->windowState->modeChangeCounter;
    EXPECT_FALSE(front.lock(&front, &dr->buffers));
    EXPECT_EQ(dr->flags & (kGlDrawableBuffersInvalid | kGlDrawableDeviceFlag), 0u);
    EXPECT_TRUE(front.lock(&front, &dr->buffers));
    front.unlock(&front, &dr->buffers);

    front.elementSize = 4;  // the buffers were made for another depth than the screen's
    ++dr->windowState->modeChangeCounter;
    EXPECT_FALSE(front.lock(&front, &dr->buffers));
    EXPECT_NE(dr->flags & kGlDrawableDeviceFlag, 0u);
    EXPECT_FALSE(front.lock(&front, &dr->buffers));
    front.elementSize = 2;
    ++dr->windowState->modeChangeCounter;
    EXPECT_FALSE(front.lock(&front, &dr->buffers));
    EXPECT_EQ(dr->flags & kGlDrawableDeviceFlag, 0u);
    EXPECT_TRUE(front.lock(&front, &dr->buffers));
    front.unlock(&front, &dr->buffers);

    // The stencil buffer's lock may be the first to see a change: its one-byte pixels are not
    // the screen's, and the screen's depth is still the colour buffers'.
    GlBufferDescriptor &stencil = desc(kGlDescriptorStencil);
    ASSERT_EQ(stencil.elementSize, 1);
    ++dr->windowState->modeChangeCounter;
    EXPECT_FALSE(stencil.lock(&stencil, &dr->buffers));
    EXPECT_EQ(dr->flags & kGlDrawableDeviceFlag, 0u);
    EXPECT_TRUE(front.lock(&front, &dr->buffers));
    front.unlock(&front, &dr->buffers);
}

// A window over the whole screen swaps without locking its front buffer, but not across a mode
// change its buffers have not seen: that swap takes the lock's mode-change step and copies
// nothing; once the buffers are made again the swaps copy.
TEST_F(Present, AWholeScreenSwapAfterAModeChangeCopiesNothing) {
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    GlDrawable *dr = drawable();
    drawInSoftware();
    ZK_CLIENT_WINDOW_BLOCK *block = dr->windowState;
    ASSERT_NE(block, nullptr);
    const ZK_CLIENT_WINDOW_BLOCK saved = *block;
    block->changeKind = ZK_WINDOW_WHOLE_CLIENT | ZK_WINDOW_FULL_SCREEN;
    block->clientOrigin = 10u << 16 | 20u;
    block->changeCounter = block->changeCounter + 1;
    fillScreen(0x1234);
    ++block->modeChangeCounter;
    EXPECT_FALSE(__glHwSwapBuffers(dr));
    EXPECT_EQ(screenPixel(200, 200), 0x1234) << "nothing copied";
    clearTo(1.0f, 0.0f, 0.0f);
    EXPECT_TRUE(__glHwSwapBuffers(dr));
    EXPECT_EQ(screenPixel(200, 200), 0x7C00);
    *block = saved;
}

TEST_F(Present, AMovedWindowGetsANewBaseAndClipList) {
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    GlDrawable *dr = drawable();
    GlBufferDescriptor &front = desc(kGlDescriptorFront);
    ASSERT_TRUE(front.lock(&front, &dr->buffers));
    uint8_t *before = front.base;
    front.unlock(&front, &dr->buffers);
    MoveWindow(window->hwnd, 40, 50, 320, 240, FALSE);
    __wglUpdateWindowGeometry(dr);
    dr->moved = 1;
    ASSERT_TRUE(front.lock(&front, &dr->buffers));
    EXPECT_EQ(front.base, before + 30 * 2 + 30 * front.pitchBytes);
    front.unlock(&front, &dr->buffers);
    ASSERT_NE(dr->clipList, nullptr);
    ASSERT_GE(dr->clipList->rdh.nCount, 1u);
    EXPECT_EQ(dr->clipList->rects[0].left, 0);
    EXPECT_EQ(dr->clipList->rects[0].top, 0);
    EXPECT_EQ(dr->moved, 0);
}

TEST_F(Present, AFailedCreationTakesNoReferenceAndEverythingIsGivenBack) {
    ASSERT_EQ(__wglDDrawProcess().refs, 0) << "no context or drawable is alive";
    kivDDrawFailObjects(true, false);
    EXPECT_EQ(__wglDDrawAllocate(), nullptr);
    EXPECT_EQ(__wglDDrawProcess().refs, 0);
    EXPECT_STREQ(__wglLastDDrawReport(), "WGL: DDraw: Allocate: DirectDrawCreate: DDERROR = DDERR_NODIRECTDRAWHW\n");
    kivDDrawFailObjects(false, true);
    EXPECT_EQ(__wglDDrawAllocate(), nullptr);
    EXPECT_EQ(__wglDDrawProcess().refs, 0);
    EXPECT_EQ(kivDDrawCounts().objects, 0);
    kivDDrawFailObjects(false, false);
    IDirectDraw *dd = __wglDDrawAllocate();
    ASSERT_NE(dd, nullptr);
    EXPECT_EQ(__wglDDrawAllocate(), dd);
    __wglDDrawRelease();
    __wglDDrawRelease();
    EXPECT_EQ(__wglDDrawProcess().object, nullptr);

    // A whole program: context, window, drawing, swaps; then nothing of DirectDraw is left.
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    clearTo(1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(DrvSwapLayerBuffers(window->hdc, 1));
    closeContext();
    ctx = nullptr;
    handle = 0;
    const KivDDrawCounts left = kivDDrawCounts();
    EXPECT_EQ(left.objects, 0);
    EXPECT_EQ(left.surfaces, 0);
    EXPECT_EQ(left.clippers, 0);
    EXPECT_EQ(left.videoBytes, 0u);
    EXPECT_EQ(__wglDDrawProcess().refs, 0);
}

// Without DirectDraw on the machine the device still starts and windows draw into memory.
TEST_F(Present, WithoutDirectDrawWindowsKeepMemoryBuffers) {
    kivDDrawOffer(false);
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(ctx->hw.deviceOpen, 1u);
    EXPECT_EQ(ctx->hw.directDraw, nullptr);
    // The front buffer too: drawing into it never writes through a buffer without storage.
    EXPECT_EQ(desc(kGlDescriptorFront).resize, __glMemBufferResize);
    EXPECT_NE(desc(kGlDescriptorFront).storage, nullptr);
    EXPECT_EQ(desc(kGlDescriptorBack).resize, __glMemBufferResize);
    EXPECT_EQ(ctx->tail.drawableBuffers->drawable->swap, __wglSwapBuffersCopy);
    EXPECT_EQ(__wglDDrawProcess().refs, 0);
}

TEST(PresentReport, NamesTheResultAndTheStep) {
    EXPECT_STREQ(__wglReportDDrawError("DDraw: Free", DDERR_SURFACELOST),
                 "WGL: DDraw: Free: DDERROR = DDERR_SURFACELOST\n");
    EXPECT_STREQ(__wglDDrawErrorName(DDERR_WRONGMODE), "DDERR_WRONGMODE");
    EXPECT_STREQ(__wglDDrawErrorName(HRESULT(0x88769999)), "Unknown");
}

}  // namespace
