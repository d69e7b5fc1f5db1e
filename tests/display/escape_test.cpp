// The OpenGL driver's escapes through ExtEscape on a screen DC, the tracking of its windows
// through the engine's window manager, and the palette and gamma paths down to the DAC model.
#include "tests/display/fixture.h"

#include <cstdlib>

#include "include/zk_escape.h"
#include "platform/machine/machine.h"
#include "platform/videoprt/ntkernel.h"

// Found by argument lookup: the rectangle record lives in the global namespace.
static bool operator==(const ZK_RECTL &a, const ZK_RECTL &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream &operator<<(std::ostream &o, const ZK_RECTL &r) {
    return o << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

namespace {

// Memory of the client process: whole pages, registered as user memory.
struct ClientPages {
    uint8_t *base;
    size_t size;
    explicit ClientPages(size_t bytes) : size((bytes + 4095) & ~size_t(4095)) {
        base = static_cast<uint8_t *>(std::aligned_alloc(4096, size));
        std::memset(base, 0, size);
        kivUserMemoryMap(base, size);
    }
    ~ClientPages() {
        kivUserMemoryUnmap(base, size);
        std::free(base);
    }
    uint32_t address(size_t offset = 0) const { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(base + offset)); }
};

struct Window {
    HWND hwnd;
    Window(int x, int y, int w, int h)
        : hwnd(CreateWindowExA(0, "test", "test", WS_VISIBLE, x, y, w, h, nullptr, nullptr, nullptr, nullptr)) {}
    ~Window() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
};

class EscapeTest : public DisplayTest {
protected:
    HDC dc = nullptr;
    void SetUp() override {
        DisplayTest::SetUp();
        if (HasFatalFailure()) return;
        kivMachineRegisterDisplay(kivEngineDisplayDevice());
        dc = GetDC(nullptr);
    }
    void TearDown() override {
        if (dc) ReleaseDC(nullptr, dc);
        DisplayTest::TearDown();
        kivMachineRegisterDisplay(nullptr);
        kivEngSetClock(false, 0);
        kivEngSetClockStep(0);
    }
    int esc(int code, int inSize, const void *in, int outSize, void *out) {
        return ExtEscape(dc, code, inSize, static_cast<LPCSTR>(in), outSize, static_cast<LPSTR>(out));
    }
    // WNDOBJ_SETUP of the block at `block` for `hwnd`; returns the escape's answer.
    int setup(ZK_CLIENT_WINDOW_BLOCK *block, HWND hwnd, uint32_t *counter = nullptr) {
        block->hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hwnd));
        uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block)), out = 0xABCD;
        int r = esc(ESC_WNDOBJ_SETUP, 4, &address, 4, &out);
        if (counter) *counter = out;
        return r;
    }
    std::vector<ZK_RECTL> rects(const ZK_CLIENT_WINDOW_BLOCK *b) {
        return std::vector<ZK_RECTL>(b->rects, b->rects + std::min<uint32_t>(b->rectCount, ZK_WINDOW_MAX_RECTS));
    }
};

}  // namespace

TEST_F(EscapeTest, TheDriverNamesItsOpenGlDriverAndFormatsOnlyAtSixteenBits) {
    for (uint32_t bpp : {16u, 32u, 8u}) {
        ASSERT_TRUE(boot(1024, 768, bpp, 60)) << bpp;
        const bool gl = bpp == 16;
        struct { uint32_t asked; int answer; } support[] = {
            {ESC_OPENGL_GETINFO, gl ? 1 : 0}, {ESC_WNDOBJ_SETUP, 0}, {ESC_ZK_START_DMA_PUSH, 0}, {0, 0}};
        for (auto c : support) EXPECT_EQ(esc(ESC_QUERYESCSUPPORT, 4, &c.asked, 0, nullptr), c.answer) << c.asked;
        EXPECT_EQ(esc(ESC_QUERYESCSUPPORT, 2, &support[0].asked, 0, nullptr), 0) << "too short to hold the code";

        uint32_t type = 0;
        KivOpenGlInfo info;
        std::memset(&info, 0xEE, sizeof info);
        EXPECT_EQ(esc(ESC_OPENGL_GETINFO, 4, &type, sizeof info, &info), gl ? 1 : 0);
        PIXELFORMATDESCRIPTOR pfd{};
        EXPECT_EQ(DescribePixelFormat(dc, 2, sizeof pfd, &pfd), gl ? 2 : 0);
        EXPECT_EQ(kivEngineDescribePixelFormat(2, sizeof pfd, &pfd), gl ? 2 : 0);
        EXPECT_EQ(pfd.dwFlags, 0x425u) << "the driver describes the format at every depth";
        if (!gl) continue;
        EXPECT_EQ(info.version, 2u);
        EXPECT_EQ(info.driverVersion, 0x10000u);
        std::string name;
        for (int i = 0; info.name[i]; ++i) name += static_cast<char>(info.name[i]);
        EXPECT_EQ(name, KIV_ICD_NAME);
        EXPECT_EQ(info.name[name.size() + 1], 0xEEEE) << "nothing written past the name";
        // The output must hold the whole record; the request type must be 0.
        std::memset(&info, 0xEE, sizeof info);
        EXPECT_EQ(esc(ESC_OPENGL_GETINFO, 4, &type, 8 + 2 * 19, &info), 0);
        EXPECT_EQ(info.version, 0xEEEEEEEEu);
        type = 1;
        EXPECT_EQ(esc(ESC_OPENGL_GETINFO, 4, &type, sizeof info, &info), 0);
        EXPECT_EQ(esc(0x1100, 4, &type, sizeof info, &info), 0);
        EXPECT_EQ(esc(0x4321, 4, &type, sizeof info, &info), 0);

        EXPECT_EQ(DescribePixelFormat(dc, 1, sizeof pfd, &pfd), 2);
        EXPECT_EQ(pfd.dwFlags, 0x34u);
        EXPECT_EQ(pfd.cColorBits, 16);
        EXPECT_EQ(pfd.cRedShift, 10);
        EXPECT_EQ(pfd.cGreenBits, 5);
        EXPECT_EQ(pfd.cAccumBits, 64);
        EXPECT_EQ(pfd.cDepthBits, 16);
        EXPECT_EQ(pfd.cStencilBits, 8);
        PIXELFORMATDESCRIPTOR part;
        std::memset(&part, 0x55, sizeof part);
        EXPECT_EQ(DescribePixelFormat(dc, 2, 6, &part), 2);
        EXPECT_EQ(part.dwFlags & 0xFFFF, 0x0425u) << "six bytes: size, version and the low flags";
        EXPECT_EQ(part.iPixelType, 0x55);
    }
}

TEST_F(EscapeTest, TheFrameBufferIsMappedForTheCallerOnly) {
    ASSERT_TRUE(boot());
    uint32_t self = 0xFFFFFFFFu, other = 0x44, address = 0;
    EXPECT_EQ(esc(ESC_ZK_MAP_FRAME_BUFFER, 4, &other, 4, &address), 0);
    EXPECT_EQ(address, 0u);
    EXPECT_EQ(esc(ESC_ZK_MAP_FRAME_BUFFER, 4, &self, 2, &address), 0);
    const size_t mappings = kivVideoPortSim().mappings.size();
    ASSERT_EQ(esc(ESC_ZK_MAP_FRAME_BUFFER, 4, &self, 4, &address), 1);
    EXPECT_NE(address, 0u);
    EXPECT_EQ(kivVideoPortSim().mappings.size(), mappings + 1);
    // Asked again, the process gets the view it has.
    uint32_t again = 0;
    ASSERT_EQ(esc(ESC_ZK_MAP_FRAME_BUFFER, 4, &self, 4, &again), 1);
    EXPECT_EQ(again, address);
    EXPECT_EQ(kivVideoPortSim().mappings.size(), mappings + 1);
}

TEST_F(EscapeTest, OpenGlActiveIsReadThroughALockOfTheClientsPage) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    ClientPages client(4096);
    const int locked = kivKernelCounters().lockedMdls;
    uint32_t *count = reinterpret_cast<uint32_t *>(client.base + 100);
    *count = 2;
    uint32_t address = client.address(100), out = 0xFFFF;
    EXPECT_EQ(esc(ESC_ZK_SET_OPENGL_ACTIVE, 4, &address, 4, &out), 1);
    EXPECT_EQ(p->bOpenGlActive, 2u);
    EXPECT_EQ(out, p->modeChangeCounter);
    EXPECT_EQ(kivKernelCounters().lockedMdls, locked) << "the page is unlocked again";

    // An address that is not the client's memory is never read.
    uint32_t kernelWord = 7;
    address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&kernelWord));
    out = 0xFFFF;
    EXPECT_EQ(esc(ESC_ZK_SET_OPENGL_ACTIVE, 4, &address, 4, &out), 0);
    EXPECT_EQ(out, 0xFFFFu);
    EXPECT_EQ(p->bOpenGlActive, 2u);
    address = 0;
    EXPECT_EQ(esc(ESC_ZK_SET_OPENGL_ACTIVE, 4, &address, 4, &out), 0);
    EXPECT_EQ(esc(ESC_ZK_SET_OPENGL_ACTIVE, 4, &address, 3, &out), 0);
    p->bOpenGlActive = 0;
}

TEST_F(EscapeTest, DmaPushEscapeChecksTheRecordAndTheModeCounter) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    alignas(16) uint32_t words[8] = {1u << 18 | 3u << 13 | 0x304, 0x7C1F};
    ZK_RM_MEMORY_OBJECT_PARAMS mo{0x5100, ZK_RM_CLASS_BUFFER, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(words)),
                                  sizeof words - 1, 0, 0xFFFF};
    ASSERT_EQ(kivZkgfxDeviceIoControl(ZK_RM_CREATE_MEMORY_OBJECT, &mo, sizeof mo), STATUS_SUCCESS);
    ASSERT_TRUE(kivEngineAssertMode(false));
    ASSERT_TRUE(kivEngineAssertMode(true));
    ASSERT_EQ(p->modeChangeCounter, 1u);

    struct Case { int inSize, outSize; uint32_t start, end, counter; int answer; uint32_t out0; size_t runs; };
    const Case cases[] = {
        {23, 24, 0, 8, 1, 0, 0xAAAA, 0},    // wrong sizes: nothing written
        {24, 25, 0, 8, 1, 0, 0xAAAA, 0},
        {24, 24, 8, 8, 1, 0, 0xAAAA, 0},    // nothing to push: only the counter
        {24, 24, 8, 0, 1, 0, 0xAAAA, 0},
        {24, 24, 0, 8, 0, 1, 0xAAAA, 0},    // stale counter: answered, not pushed
        {24, 24, 0, 8, 1, 1, 1, 1},         // pushed
    };
    for (const Case &c : cases) {
        ZK_DMA_PUSH_PARAMS in{0x5100, 0, 0, c.start, c.end, c.counter};
        ZK_DMA_PUSH_PARAMS out{0xAAAA, 0xBBBB, 0, 0, 0, 0};
        const size_t before = zk3EnginePusherRuns().size();
        EXPECT_EQ(esc(ESC_ZK_START_DMA_PUSH, c.inSize, &in, c.outSize, &out), c.answer) << c.start << "-" << c.end;
        EXPECT_EQ(out.dmaObject, c.out0);
        EXPECT_EQ(out.param1, c.inSize == 24 && c.outSize == 24 ? 1u : 0xBBBBu);
        EXPECT_EQ(zk3EnginePusherRuns().size() - before, c.runs);
    }
    EXPECT_EQ(zk3EngineFind(0xA0003)->method(0x304), 0x7C1Fu) << "the client's command reached the engine";
    ZK_RM_OBJECT_HANDLE_PARAMS fo{0x5100, 0xFFFF, 0};
    kivZkgfxDeviceIoControl(ZK_RM_FREE_OBJECT, &fo, sizeof fo);
}

TEST_F(EscapeTest, TrackedWindowsFollowMovesCoversAndDestruction) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    ClientPages client(3 * 4096);
    auto *block = reinterpret_cast<ZK_CLIENT_WINDOW_BLOCK *>(client.base);
    std::memset(block, 0x5A, sizeof *block);
    Window w(100, 80, 320, 240);
    const int lockedBefore = kivKernelCounters().lockedMdls;
    uint32_t counter = 0;
    ASSERT_EQ(setup(block, w.hwnd, &counter), 1);
    EXPECT_EQ(counter, p->modeChangeCounter);
    EXPECT_EQ(p->cClientBlocks, 1u);
    EXPECT_EQ(kivKernelCounters().lockedMdls, lockedBefore + 1);
    EXPECT_NE(block->lockHandle, 0u);
    EXPECT_EQ(block->lock, 0u);
    EXPECT_EQ(block->modeChangeCounter, p->modeChangeCounter);
    // The engine announces the window's region right after the escape.
    EXPECT_EQ(block->changeCounter, 2u);
    EXPECT_EQ(block->changeKind, (uint32_t)ZK_WINDOW_WHOLE_CLIENT);
    EXPECT_EQ(block->clientOrigin, 100u << 16 | 80u);
    EXPECT_EQ(rects(block), (std::vector<ZK_RECTL>{{100, 80, 420, 320}}));

    MoveWindow(w.hwnd, 200, 100, 320, 240, TRUE);
    EXPECT_EQ(block->changeCounter, 3u);
    EXPECT_EQ(block->clientOrigin, 200u << 16 | 100u);
    EXPECT_EQ(rects(block), (std::vector<ZK_RECTL>{{200, 100, 520, 340}}));

    // Half off the screen: one rectangle cut to the screen, which it reaches to the last column
    // (rectangles are exclusive at right and bottom).
    MoveWindow(w.hwnd, 900, 100, 320, 240, TRUE);
    EXPECT_EQ(block->changeKind, (uint32_t)ZK_WINDOW_ONE_RECT);
    EXPECT_EQ(rects(block), (std::vector<ZK_RECTL>{{900, 100, 1024, 340}}));
    MoveWindow(w.hwnd, -50, 700, 320, 240, TRUE);
    EXPECT_EQ(block->changeKind, (uint32_t)ZK_WINDOW_ONE_RECT);
    EXPECT_EQ(rects(block), (std::vector<ZK_RECTL>{{0, 700, 270, 768}}));

    // Exactly the screen, or past it on every side: full screen. One pixel less either way is not.
    struct Cover { int x, y, w, h; uint32_t kind; ZK_RECTL rect; };
    const Cover covers[] = {
        {0, 0, 1024, 768, ZK_WINDOW_WHOLE_CLIENT | ZK_WINDOW_FULL_SCREEN, {0, 0, 1024, 768}},
        {-10, -5, 1040, 780, ZK_WINDOW_ONE_RECT | ZK_WINDOW_FULL_SCREEN, {0, 0, 1024, 768}},
        {0, 0, 1023, 768, ZK_WINDOW_WHOLE_CLIENT, {0, 0, 1023, 768}},
        {0, 0, 1024, 767, ZK_WINDOW_WHOLE_CLIENT, {0, 0, 1024, 767}},
        {1, 0, 1023, 768, ZK_WINDOW_WHOLE_CLIENT, {1, 0, 1024, 768}},
    };
    for (const Cover &c : covers) {
        MoveWindow(w.hwnd, c.x, c.y, c.w, c.h, TRUE);
        EXPECT_EQ(block->changeKind, c.kind) << c.x << "," << c.y << " " << c.w << "x" << c.h;
        EXPECT_EQ(rects(block), (std::vector<ZK_RECTL>{c.rect})) << c.x << "," << c.y << " " << c.w << "x" << c.h;
    }

    // A window over the middle leaves a rectangle list.
    MoveWindow(w.hwnd, 100, 100, 300, 200, TRUE);
    {
        Window cover(150, 150, 100, 50);
        EXPECT_EQ(block->changeKind, (uint32_t)ZK_WINDOW_RECT_LIST);
        EXPECT_EQ(rects(block), (std::vector<ZK_RECTL>{
                                    {100, 100, 400, 150}, {100, 150, 150, 200}, {250, 150, 400, 200}, {100, 200, 400, 300}}));
        EXPECT_EQ(block->clientOrigin, 100u << 16 | 100u);
        // Covered whole: nothing visible.
        MoveWindow(cover.hwnd, 50, 50, 600, 600, TRUE);
        EXPECT_EQ(block->changeKind, (uint32_t)ZK_WINDOW_INVISIBLE);
        EXPECT_EQ(block->rectCount, 1u);
    }
    EXPECT_EQ(block->changeKind, (uint32_t)ZK_WINDOW_WHOLE_CLIENT) << "the cover went away";

    // The block's lock word is honoured; a change that cannot get it is not counted.
    kivEngSetClock(true, 5000);
    kivEngSetClockStep(1);
    block->lock = 1;
    const uint32_t changes = block->changeCounter;
    MoveWindow(w.hwnd, 10, 10, 300, 200, TRUE);
    EXPECT_EQ(block->changeCounter, changes);
    EXPECT_EQ(block->clientOrigin, 100u << 16 | 100u);
    block->lock = 0;
    MoveWindow(w.hwnd, 20, 10, 300, 200, TRUE);
    EXPECT_EQ(block->changeCounter, changes + 1);
    EXPECT_EQ(block->clientOrigin, 20u << 16 | 10u);

    // Mode changes reach the block whether or not OpenGL said it is active.
    ASSERT_TRUE(kivEngineAssertMode(false));
    EXPECT_EQ(block->modeChangeCounter, p->modeChangeCounter);
    ASSERT_TRUE(kivEngineAssertMode(true));

    // The client may scribble over the lock handle: the driver unlocks what it locked.
    block->lockHandle = 0x12345678;
    DestroyWindow(w.hwnd);
    EXPECT_EQ(p->cClientBlocks, 0u);
    EXPECT_EQ(kivKernelCounters().lockedMdls, lockedBefore);
    EXPECT_EQ(kivEngLiveWindowObjects(), 0u);
}

TEST_F(EscapeTest, AComplexRegionKeepsTheFirstTwoHundredFiftyRectangles) {
    ASSERT_TRUE(boot());
    ClientPages client(4096);
    auto *block = reinterpret_cast<ZK_CLIENT_WINDOW_BLOCK *>(client.base);
    Window w(0, 100, 1000, 50);
    ASSERT_EQ(setup(block, w.hwnd), 1);
    std::vector<std::unique_ptr<Window>> bars;   // 299 one-pixel bars leave 300 pieces
    for (int i = 0; i < 299; ++i) bars.push_back(std::make_unique<Window>(3 * i + 2, 0, 1, 400));
    EXPECT_EQ(block->changeKind, (uint32_t)ZK_WINDOW_RECT_LIST);
    ASSERT_EQ(block->rectCount, 250u);
    for (int i = 0; i < 250; ++i) EXPECT_EQ(block->rects[i], (ZK_RECTL{i ? 3 * i : 0, 100, 3 * i + 2, 150})) << i;
    bars.clear();
}

TEST_F(EscapeTest, RefusedSetUpsRegisterNothing) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    Window w(10, 10, 100, 100);
    // A block outside the client's memory is not locked and not tracked.
    ZK_CLIENT_WINDOW_BLOCK notClient{};
    EXPECT_EQ(setup(&notClient, w.hwnd), 0);
    EXPECT_EQ(p->cClientBlocks, 0u);
    EXPECT_EQ(kivEngLiveWindowObjects(), 0u);
    uint32_t zero = 0, out = 0;
    EXPECT_EQ(esc(ESC_WNDOBJ_SETUP, 4, &zero, 4, &out), 0);
    // No window behind the handle: the lock is given back.
    ClientPages client(33 * 4096);
    auto block = [&](int i) { return reinterpret_cast<ZK_CLIENT_WINDOW_BLOCK *>(client.base + 4096 * i); };
    const int locked = kivKernelCounters().lockedMdls;
    EXPECT_EQ(setup(block(0), reinterpret_cast<HWND>(0x777)), 0);
    EXPECT_EQ(kivKernelCounters().lockedMdls, locked);
    // Thirty-two windows are tracked; the thirty-third is refused.
    std::vector<std::unique_ptr<Window>> windows;
    for (int i = 0; i < 33; ++i) {
        windows.push_back(std::make_unique<Window>(i, i, 50, 50));
        EXPECT_EQ(setup(block(i), windows.back()->hwnd), i < 32 ? 1 : 0) << i;
    }
    EXPECT_EQ(p->cClientBlocks, 32u);
    EXPECT_EQ(block(32)->changeCounter, 0u);
    windows.clear();
    EXPECT_EQ(p->cClientBlocks, 0u);
    EXPECT_EQ(kivKernelCounters().lockedMdls, locked);
}

TEST_F(EscapeTest, GammaRampsReachTheDacAndComeBackWithoutTheirLowBytes) {
    ASSERT_TRUE(boot());
    uint16_t ramp[768];
    ASSERT_EQ(esc(ESC_ZK_GET_GAMMA_RAMP, 0, nullptr, sizeof ramp, ramp), 1);
    for (int n = 0; n < 256; ++n)
        ASSERT_TRUE(ramp[n] == n << 8 && ramp[256 + n] == n << 8 && ramp[512 + n] == n << 8) << "identity at " << n;

    for (int n = 0; n < 256; ++n) {
        ramp[n] = static_cast<uint16_t>(n * 0x101 ^ 0x00FF);        // blue
        ramp[256 + n] = static_cast<uint16_t>((255 - n) << 8 | 3);  // green
        ramp[512 + n] = static_cast<uint16_t>(n / 2 << 8);          // red
    }
    const uint64_t loads = zk3EngineDacLoads();
    EXPECT_EQ(esc(ESC_ZK_SET_GAMMA_RAMP, sizeof ramp, ramp, 0, nullptr), 1);
    EXPECT_EQ(zk3EngineDacLoads(), loads + 1);
    for (int n : {0, 1, 77, 255}) {
        const uint8_t *e = chip()->dacEntry(static_cast<uint8_t>(n));
        EXPECT_EQ(e[0], n / 2) << n;
        EXPECT_EQ(e[1], 255 - n);
        EXPECT_EQ(e[2], (n * 0x101 ^ 0xFF) >> 8);
    }
    uint16_t back[768];
    ASSERT_EQ(esc(ESC_ZK_GET_GAMMA_RAMP, 0, nullptr, sizeof back, back), 1);
    for (int i = 0; i < 768; ++i) ASSERT_EQ(back[i], ramp[i] & 0xFF00) << i;
    EXPECT_EQ(zk3EngineBound(1), 0xA0001u) << "the blit object is back in its subchannel";

    EXPECT_EQ(esc(ESC_ZK_SET_GAMMA_RAMP, sizeof ramp - 2, ramp, 0, nullptr), 0);
    EXPECT_EQ(esc(ESC_ZK_GET_GAMMA_RAMP, 0, nullptr, sizeof back + 2, back), 0);
    EXPECT_EQ(zk3EngineDacLoads(), loads + 1);

    // The last tracked window going away brings the identity back.
    ClientPages client(4096);
    auto *block = reinterpret_cast<ZK_CLIENT_WINDOW_BLOCK *>(client.base);
    {
        Window w(10, 10, 64, 64);
        ASSERT_EQ(setup(block, w.hwnd), 1);
    }
    ASSERT_EQ(esc(ESC_ZK_GET_GAMMA_RAMP, 0, nullptr, sizeof back, back), 1);
    for (int n = 0; n < 256; ++n) ASSERT_EQ(back[512 + n], n << 8);
    EXPECT_EQ(chip()->dacEntry(200)[0], 200);
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
}

TEST_F(EscapeTest, AtEightBitsThePaletteGoesToTheDac) {
    ASSERT_TRUE(boot(1024, 768, 8, 60));
    ZK_PDEV *p = pdev();
    const ULONG shift = p->cPaletteShift;
    // The default palette: the colour cube with the static colours at both ends.
    struct { int index; uint8_t r, g, b; } defaults[] = {
        {0, 0, 0, 0}, {7, 192, 192, 192}, {9, 166, 202, 240}, {10, 64, 32, 0}, {100, 128, 128, 64},
        {245, 160, 192, 192}, {246, 255, 251, 240}, {255, 255, 255, 255}};
    for (auto d : defaults) {
        const uint8_t *e = chip()->dacEntry(static_cast<uint8_t>(d.index));
        EXPECT_EQ(e[0], d.r >> shift) << d.index;
        EXPECT_EQ(e[1], d.g >> shift) << d.index;
        EXPECT_EQ(e[2], d.b >> shift) << d.index;
    }
    const ULONG colors[3] = {0x00332211, 0x00FFFFFF, 0x00000080};   // PALETTEENTRY: red, green, blue, flags
    ASSERT_TRUE(kivEngineSetPalette(20, 3, colors));
    EXPECT_EQ(chip()->dacEntry(20)[0], 0x11 >> shift);
    EXPECT_EQ(chip()->dacEntry(20)[2], 0x33 >> shift);
    EXPECT_EQ(chip()->dacEntry(22)[0], 0x80 >> shift);
    EXPECT_EQ(zk3EngineBound(0), 0xA0000u);
    EXPECT_FALSE(kivEngineSetPalette(255, 3, colors)) << "past the end of the DAC";
    EXPECT_EQ(chip()->dacEntry(255)[0], 255 >> shift);
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
}
