// Windows and their geometry, WH_CALLWNDPROC hooks delivering moves, resizes and destruction,
// device contexts, bitmaps, pixel formats and escapes through the machine's display driver.
#include "platform/machine/machine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

struct Seen {
    UINT message;
    HWND hwnd;
    WPARAM wParam;
    WINDOWPOS pos;
    LPARAM lParam;
    DWORD thread;
    int hook;
};
std::vector<Seen> g_seen;
HHOOK g_hooks[2];

LRESULT CALLBACK hookProc(int hookIndex, int code, WPARAM wParam, LPARAM lParam) {
    auto *cwp = reinterpret_cast<CWPSTRUCT *>(lParam);
    Seen s{cwp->message, cwp->hwnd, wParam, {}, cwp->lParam, GetCurrentThreadId(), hookIndex};
    if (cwp->message == WM_WINDOWPOSCHANGED) s.pos = *reinterpret_cast<WINDOWPOS *>(cwp->lParam);
    g_seen.push_back(s);
    return CallNextHookEx(g_hooks[hookIndex], code, wParam, lParam);
}
LRESULT CALLBACK hook0(int code, WPARAM w, LPARAM l) { return hookProc(0, code, w, l); }
LRESULT CALLBACK hook1(int code, WPARAM w, LPARAM l) { return hookProc(1, code, w, l); }

HWND makeWindow(int x, int y, int w, int h, HWND parent = nullptr) {
    return CreateWindowExA(0, "test", "test", parent ? WS_CHILD : WS_OVERLAPPED, x, y, w, h, parent, nullptr,
                           nullptr, nullptr);
}

class Booted : public ::testing::Test {
protected:
    void SetUp() override {
        saved = *kivMachineConfig();
        savedMode = *kivScreenMode();
        ASSERT_TRUE(kivMachineBoot());
    }
    void TearDown() override {
        kivMachineConfigure(&saved);
        kivSetScreenMode(&savedMode);
    }
    KivMachineConfig saved;
    KivScreenMode savedMode;
};

TEST(Windows, ClientRectanglesOriginsAndParents) {
    HWND top = makeWindow(100, 50, 300, 200);
    ASSERT_NE(top, nullptr);
    HWND child = makeWindow(10, 20, 50, 40, top);
    ASSERT_NE(child, nullptr);
    RECT r;
    ASSERT_TRUE(GetClientRect(top, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 300);
    EXPECT_EQ(r.bottom, 200);
    POINT p{0, 0};
    ASSERT_TRUE(ClientToScreen(child, &p));
    EXPECT_EQ(p.x, 110);
    EXPECT_EQ(p.y, 70);
    ASSERT_TRUE(GetWindowRect(child, &r));
    EXPECT_EQ(r.left, 110);
    EXPECT_EQ(r.bottom, 110);
    EXPECT_EQ(GetParent(child), top);
    EXPECT_EQ(GetParent(top), nullptr);
    DWORD pid = 0;
    EXPECT_EQ(GetWindowThreadProcessId(child, &pid), GetCurrentThreadId());
    EXPECT_EQ(pid, GetCurrentProcessId());
    EXPECT_TRUE(DestroyWindow(top));
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));  // children go with their parent
    EXPECT_FALSE(GetClientRect(top, &r));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    HWND next = makeWindow(0, 0, 1, 1);
    EXPECT_NE(next, top);  // window handles are never reused
    DestroyWindow(next);
}

TEST(Windows, NegativeOriginsAndScreenMetrics) {
    HWND w = makeWindow(-30, -40, 2000, 1000);
    POINT p{0, 0};
    ClientToScreen(w, &p);
    EXPECT_EQ(p.x, -30);
    EXPECT_EQ(p.y, -40);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), kivScreenMode()->width);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), kivScreenMode()->height);
    DestroyWindow(w);
}

TEST(Rects, IntersectRect) {
    RECT a{0, 0, 10, 10}, b{5, -5, 20, 7}, out;
    EXPECT_TRUE(IntersectRect(&out, &a, &b));
    EXPECT_EQ(out.left, 5);
    EXPECT_EQ(out.top, 0);
    EXPECT_EQ(out.right, 10);
    EXPECT_EQ(out.bottom, 7);
    RECT c{10, 0, 20, 10};
    EXPECT_FALSE(IntersectRect(&out, &a, &c));  // touching is empty
    EXPECT_EQ(out.right, 0);
}

TEST(Hooks, MovesResizesAndDestructionReachTheThreadsHooksNewestFirst) {
    g_seen.clear();
    HWND w = makeWindow(10, 10, 100, 100);
    g_hooks[0] = SetWindowsHookExA(WH_CALLWNDPROC, hook0, nullptr, GetCurrentThreadId());
    g_hooks[1] = SetWindowsHookExA(WH_CALLWNDPROC, hook1, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hooks[0], nullptr);
    ASSERT_NE(g_hooks[1], nullptr);
    ASSERT_TRUE(MoveWindow(w, 20, 10, 100, 100, TRUE));  // a move
    ASSERT_EQ(g_seen.size(), 4u);                       // WINDOWPOSCHANGED and WM_MOVE, each twice
    EXPECT_EQ(g_seen[0].hook, 1);
    EXPECT_EQ(g_seen[1].hook, 0);
    EXPECT_EQ(g_seen[0].message, (UINT)WM_WINDOWPOSCHANGED);
    EXPECT_EQ(g_seen[0].hwnd, w);
    EXPECT_EQ(g_seen[0].wParam, 1u);  // sent by this thread
    EXPECT_EQ(g_seen[0].pos.hwnd, w);
    EXPECT_EQ(g_seen[0].pos.x, 20);
    EXPECT_EQ(g_seen[0].pos.cx, 100);
    EXPECT_EQ(g_seen[0].pos.flags & (SWP_NOMOVE | SWP_NOSIZE), (UINT)SWP_NOSIZE);
    EXPECT_EQ(g_seen[2].message, (UINT)WM_MOVE);
    g_seen.clear();
    ASSERT_TRUE(MoveWindow(w, 20, 10, 150, 80, TRUE));  // a resize
    ASSERT_EQ(g_seen.size(), 4u);
    EXPECT_EQ(g_seen[0].pos.flags & (SWP_NOMOVE | SWP_NOSIZE), (UINT)SWP_NOMOVE);
    EXPECT_EQ(g_seen[0].pos.cy, 80);
    EXPECT_EQ(g_seen[2].message, (UINT)WM_SIZE);
    EXPECT_EQ(g_seen[2].lParam, (LPARAM)((80 << 16) | 150));
    RECT r;
    GetClientRect(w, &r);
    EXPECT_EQ(r.right, 150);
    g_seen.clear();
    EXPECT_TRUE(UnhookWindowsHookEx(g_hooks[1]));
    EXPECT_FALSE(UnhookWindowsHookEx(g_hooks[1]));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HOOK_HANDLE);
    ASSERT_TRUE(DestroyWindow(w));
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].message, (UINT)WM_DESTROY);
    EXPECT_EQ(g_seen[0].hwnd, w);
    EXPECT_TRUE(UnhookWindowsHookEx(g_hooks[0]));
    g_seen.clear();
    HWND v = makeWindow(0, 0, 10, 10);
    MoveWindow(v, 1, 1, 10, 10, TRUE);
    EXPECT_TRUE(g_seen.empty());
    DestroyWindow(v);
}

TEST(Hooks, HooksOfAnotherThreadSeeNothingOfThisThreadsWindows) {
    g_seen.clear();
    DWORD otherId = 0;
    std::thread t([&] { otherId = GetCurrentThreadId(); });
    t.join();
    g_hooks[0] = SetWindowsHookExA(WH_CALLWNDPROC, hook0, nullptr, otherId);
    HWND w = makeWindow(0, 0, 10, 10);
    MoveWindow(w, 5, 5, 10, 10, TRUE);
    EXPECT_TRUE(g_seen.empty());
    UnhookWindowsHookEx(g_hooks[0]);
    DestroyWindow(w);
}

TEST(Hooks, MessagesFromAnotherThreadAreDeliveredOnTheWindowsThread) {
    g_seen.clear();
    HWND w = nullptr;
    DWORD ownerId = 0;
    std::atomic<int> step{0};
    std::thread owner([&] {
        ownerId = GetCurrentThreadId();
        g_hooks[0] = SetWindowsHookExA(WH_CALLWNDPROC, hook0, nullptr, ownerId);
        w = makeWindow(0, 0, 10, 10);
        step = 1;
        while (step != 2) Sleep(1);
        EXPECT_TRUE(g_seen.empty());  // nothing until the owner looks at its messages
        MSG msg;
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        step = 3;
        while (step != 4) Sleep(1);
        EXPECT_TRUE(DestroyWindow(w));
        UnhookWindowsHookEx(g_hooks[0]);
    });
    while (step != 1) Sleep(1);
    EXPECT_TRUE(MoveWindow(w, 7, 8, 30, 40, TRUE));
    EXPECT_FALSE(DestroyWindow(w));  // only the window's own thread destroys it
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    step = 2;
    while (step != 3) Sleep(1);
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0].message, (UINT)WM_WINDOWPOSCHANGED);
    EXPECT_EQ(g_seen[0].thread, ownerId);
    EXPECT_EQ(g_seen[0].wParam, 0u);  // not sent by the window's thread
    EXPECT_EQ(g_seen[0].pos.x, 7);
    EXPECT_EQ(g_seen[0].pos.cy, 40);
    step = 4;
    owner.join();
    EXPECT_EQ(g_seen.back().message, (UINT)WM_DESTROY);
}

TEST(Hooks, OnlyCallWndProcHooks) {
    EXPECT_EQ(SetWindowsHookExA(2 /* WH_KEYBOARD */, hook0, nullptr, GetCurrentThreadId()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HOOK_FILTER);
}

void observer(void *ctx, HWND hwnd, UINT event) {
    static_cast<std::vector<std::pair<HWND, UINT>> *>(ctx)->push_back({hwnd, event});
}

TEST(Windows, ObserversSeeCreationChangesAndDestruction) {
    std::vector<std::pair<HWND, UINT>> events;
    kivAddWindowObserver(observer, &events);
    HWND w = makeWindow(0, 0, 10, 10);
    MoveWindow(w, 1, 2, 3, 4, FALSE);
    DestroyWindow(w);
    kivRemoveWindowObserver(observer, &events);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].second, (UINT)KIV_WINDOW_CREATED);
    EXPECT_EQ(events[1].second, (UINT)KIV_WINDOW_CHANGED);
    EXPECT_EQ(events[2].second, (UINT)KIV_WINDOW_DESTROYED);
    EXPECT_EQ(events[2].first, w);
}

TEST(DeviceContexts, WindowScreenAndMemoryDCs) {
    HWND w = makeWindow(0, 0, 64, 32);
    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetObjectType(dc), (DWORD)OBJ_DC);
    EXPECT_EQ(WindowFromDC(dc), w);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetObjectType(screen), (DWORD)OBJ_DC);
    EXPECT_EQ(WindowFromDC(screen), nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), kivScreenMode()->bpp);
    EXPECT_EQ(GetDeviceCaps(screen, HORZRES), kivScreenMode()->width);
    HDC mem = CreateCompatibleDC(dc);
    EXPECT_EQ(GetObjectType(mem), (DWORD)OBJ_MEMDC);
    EXPECT_EQ(WindowFromDC(mem), nullptr);
    HGDIOBJ stock = GetCurrentObject(mem, OBJ_BITMAP);
    EXPECT_EQ(GetObjectType(stock), (DWORD)OBJ_BITMAP);
    HBITMAP bm = CreateCompatibleBitmap(dc, 16, 8);  // the screen's depth
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(SelectObject(mem, bm), stock);
    EXPECT_EQ(GetCurrentObject(mem, OBJ_BITMAP), bm);
    HDC mem2 = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(mem2, bm), nullptr);  // already in another DC
    EXPECT_FALSE(DeleteObject(bm));              // still selected
    EXPECT_EQ(SelectObject(mem, stock), bm);
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_EQ(GetObjectType(bm), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_TRUE(DeleteDC(mem));
    EXPECT_TRUE(DeleteDC(mem2));
    EXPECT_FALSE(DeleteDC(mem));
    EXPECT_EQ(ReleaseDC(w, dc), 1);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(GetObjectType(dc), 0u);
    // A released DC's handle value comes back for the next DC, as on the platform.
    HDC again = GetDC(w);
    EXPECT_EQ(again, dc);
    DestroyWindow(w);
    EXPECT_EQ(WindowFromDC(again), nullptr);  // its window is gone
    ReleaseDC(w, again);
    EXPECT_EQ(GetDC(w), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST(DeviceContexts, NewMemoryDCsMakeMonochromeCompatibleBitmaps) {
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateCompatibleBitmap(mem, 4, 4);
    HDC screen = GetDC(nullptr);
    HDC other = CreateCompatibleDC(screen);
    EXPECT_NE(SelectObject(other, bm), nullptr);  // 1 bit per pixel goes into any memory DC
    SelectObject(other, GetCurrentObject(mem, OBJ_BITMAP));
    DeleteObject(bm);
    DeleteDC(other);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

TEST_F(Booted, PixelFormatsComeFromTheDisplayDriver) {
    HWND w = makeWindow(0, 0, 64, 64);
    HDC dc = GetDC(w);
    EXPECT_EQ(DescribePixelFormat(dc, 0, 0, nullptr), 2);
    PIXELFORMATDESCRIPTOR p;
    ASSERT_EQ(DescribePixelFormat(dc, 1, sizeof p, &p), 2);
    EXPECT_EQ(p.dwFlags, 0x34u);
    EXPECT_EQ(p.cColorBits, 16);
    EXPECT_EQ(p.cRedShift, 10);
    EXPECT_EQ(p.cDepthBits, 16);
    EXPECT_EQ(p.cStencilBits, 8);
    EXPECT_EQ(p.cAccumBits, 64);
    ASSERT_EQ(DescribePixelFormat(dc, 2, sizeof p, &p), 2);
    EXPECT_EQ(p.dwFlags, 0x425u);
    EXPECT_EQ(DescribePixelFormat(dc, 3, sizeof p, &p), 0);
    PIXELFORMATDESCRIPTOR want;
    std::memset(&want, 0, sizeof want);
    want.nSize = sizeof want;
    want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    want.cColorBits = 24;
    want.cDepthBits = 24;
    EXPECT_EQ(ChoosePixelFormat(dc, &want), 2);
    want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    EXPECT_EQ(ChoosePixelFormat(dc, &want), 1);
    want.dwFlags = PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL;
    EXPECT_EQ(ChoosePixelFormat(dc, &want), 0);
    EXPECT_EQ(GetPixelFormat(dc), 0);
    EXPECT_TRUE(SetPixelFormat(dc, 2, nullptr));
    EXPECT_EQ(GetPixelFormat(dc), 2);
    EXPECT_TRUE(SetPixelFormat(dc, 2, nullptr));   // the same again is fine
    EXPECT_FALSE(SetPixelFormat(dc, 1, nullptr));  // a window's format is set once
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PIXEL_FORMAT);
    EXPECT_FALSE(SetPixelFormat(dc, 3, nullptr));
    HDC dc2 = GetDC(w);  // the format belongs to the window
    EXPECT_EQ(GetPixelFormat(dc2), 2);
    HDC screen = GetDC(nullptr);
    EXPECT_FALSE(SetPixelFormat(screen, 1, nullptr));
    ReleaseDC(w, dc2);
    ReleaseDC(nullptr, screen);
    ReleaseDC(w, dc);
    DestroyWindow(w);
}

TEST_F(Booted, TheDisplayDriverNamesTheIcdAndTheRegistryMapsIt) {
    HDC dc = GetDC(nullptr);
    uint32_t esc = OPENGL_GETINFO;
    EXPECT_EQ(ExtEscape(dc, QUERYESCSUPPORT, 4, reinterpret_cast<LPCSTR>(&esc), 0, nullptr), 1);
    esc = 0x7001;
    EXPECT_EQ(ExtEscape(dc, QUERYESCSUPPORT, 4, reinterpret_cast<LPCSTR>(&esc), 0, nullptr), 0);
    uint32_t type = 0;
    KivOpenGlInfo info;
    std::memset(&info, 0xFF, sizeof info);
    ASSERT_EQ(ExtEscape(dc, OPENGL_GETINFO, 4, reinterpret_cast<LPCSTR>(&type), sizeof info,
                        reinterpret_cast<LPSTR>(&info)),
              1);
    EXPECT_EQ(info.version, 2u);
    EXPECT_EQ(info.driverVersion, 0x10000u);
    std::string name;
    for (int i = 0; info.name[i]; ++i) name += static_cast<char>(info.name[i]);
    EXPECT_EQ(name, "QUOR HALCYNE TAVRIK");
    // Too small an output buffer: refused (nothing written past it).
    char small[16];
    EXPECT_EQ(ExtEscape(dc, OPENGL_GETINFO, 4, reinterpret_cast<LPCSTR>(&type), sizeof small, small), 0);
    type = 1;
    EXPECT_EQ(ExtEscape(dc, OPENGL_GETINFO, 4, reinterpret_cast<LPCSTR>(&type), sizeof info,
                        reinterpret_cast<LPSTR>(&info)),
              0);
    EXPECT_EQ(ExtEscape(reinterpret_cast<HDC>(0x999), OPENGL_GETINFO, 0, nullptr, 0, nullptr), -1);
    HKEY k;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kivOpenGlDriversKey(), 0, KEY_READ, &k), ERROR_SUCCESS);
    char lib[32];
    DWORD size = sizeof lib, rtype = 0;
    ASSERT_EQ(RegQueryValueExA(k, name.c_str(), nullptr, &rtype, reinterpret_cast<BYTE *>(lib), &size), ERROR_SUCCESS);
    EXPECT_EQ(rtype, (DWORD)REG_SZ);
    EXPECT_STREQ(lib, "kivgl");
    RegCloseKey(k);
    ReleaseDC(nullptr, dc);
}

TEST_F(Booted, OpenGlIsOfferedOnlyAtSixteenBitsOnTheZk3) {
    HDC dc = GetDC(nullptr);
    uint32_t esc = OPENGL_GETINFO;
    KivScreenMode m32{1024, 768, 32};
    kivSetScreenMode(&m32);
    EXPECT_EQ(ExtEscape(dc, QUERYESCSUPPORT, 4, reinterpret_cast<LPCSTR>(&esc), 0, nullptr), 0);
    EXPECT_EQ(DescribePixelFormat(dc, 0, 0, nullptr), 0);
    kivSetScreenMode(&savedMode);
    KivMachineConfig siv = saved;
    siv.card = KIV_CARD_SIV;
    kivMachineConfigure(&siv);
    EXPECT_EQ(ExtEscape(dc, QUERYESCSUPPORT, 4, reinterpret_cast<LPCSTR>(&esc), 0, nullptr), 0);
    ReleaseDC(nullptr, dc);
}

TEST(Machine, ParsesConfigurations) {
    KivMachineConfig c;
    ASSERT_TRUE(kivMachineParse(nullptr, &c));
    EXPECT_EQ(c.os, KIV_OS_NT);
    EXPECT_EQ(c.card, KIV_CARD_ZK3);
    EXPECT_EQ(c.bus, KIV_BUS_AGP);
    ASSERT_TRUE(kivMachineParse("9x,siv,pci,8mb", &c));
    EXPECT_EQ(c.os, KIV_OS_9X);
    EXPECT_EQ(c.card, KIV_CARD_SIV);
    EXPECT_EQ(c.bus, KIV_BUS_PCI);
    EXPECT_EQ(c.videoMemoryBytes, 8u << 20);
    ASSERT_TRUE(kivMachineParse("NT-ZK3", &c));
    EXPECT_EQ(c.os, KIV_OS_NT);
    EXPECT_FALSE(kivMachineParse("nt,vga", &c));
    EXPECT_EQ(c.card, KIV_CARD_ZK3);
    EXPECT_FALSE(kivMachineParse("1000mb", &c));
}

}  // namespace
