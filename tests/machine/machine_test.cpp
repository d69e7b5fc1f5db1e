// The simulated PC boots as the platform does and hands programs its display driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "include/zk_escape.h"
#include "platform/machine/machine.h"
#include "platform/ntgdi/ntgdi.h"
#include "platform/videoprt/videoprt_sim.h"

namespace {

class Machine : public ::testing::Test {
protected:
    KivMachineConfig saved;
    KivScreenMode savedMode;
    HDC dc = nullptr;
    void SetUp() override {
        saved = *kivMachineConfig();
        savedMode = *kivScreenMode();
        KivMachineConfig nt;
        kivMachineParse("nt,zk3", &nt);
        kivMachineConfigure(&nt);
        ASSERT_EQ(kivMachineBoot(), 1);
        dc = GetDC(nullptr);
    }
    void TearDown() override {
        ReleaseDC(nullptr, dc);
        kivMachineConfigure(&saved);
        kivSetScreenMode(&savedMode);
        kivMachineBoot();
    }
    int openGlOffered() {
        uint32_t asked = ESC_OPENGL_GETINFO;
        return ExtEscape(dc, ESC_QUERYESCSUPPORT, 4, reinterpret_cast<LPCSTR>(&asked), 0, nullptr);
    }
};

}  // namespace

TEST_F(Machine, NtBootsTheMiniportAndTheDisplayDriver) {
    EXPECT_TRUE(kivVideoPortSim().started);
    ASSERT_TRUE(kivEngineRunning());
    EXPECT_EQ(kivMachineDisplay(), kivEngineDisplayDevice());
    EXPECT_EQ(kivEngineDescribeMode(), "1024 x 768, 16 bits per pixel, 60 Hz");
    EXPECT_EQ(openGlOffered(), 1);
    PIXELFORMATDESCRIPTOR pfd{};
    EXPECT_EQ(DescribePixelFormat(dc, 1, sizeof pfd, &pfd), 2);
    EXPECT_EQ(pfd.dwFlags, 0x34u);
    // A second boot starts over and leaves one engine behind.
    ASSERT_EQ(kivMachineBoot(), 1);
    EXPECT_TRUE(kivEngineRunning());
    EXPECT_EQ(openGlOffered(), 1);
}

TEST_F(Machine, ScreenModesChangeThroughTheEngine) {
    KivScreenMode m32{800, 600, 32};
    kivSetScreenMode(&m32);
    EXPECT_EQ(kivEngineDescribeMode(), "800 x 600, 32 bits per pixel, 60 Hz");
    EXPECT_EQ(openGlOffered(), 0) << "OpenGL only at 16 bits per pixel";
    KivScreenMode odd{1000, 700, 16};
    kivSetScreenMode(&odd);
    EXPECT_EQ(kivScreenMode()->width, 800) << "a mode the driver refuses keeps the old one";
    EXPECT_EQ(kivEngineDescribeMode(), "800 x 600, 32 bits per pixel, 60 Hz");
    kivSetScreenMode(&savedMode);
    EXPECT_EQ(openGlOffered(), 1);
}

TEST_F(Machine, OtherSystemsAndCardsGetTheirOwnDisplay) {
    KivMachineConfig c = *kivMachineConfig();
    c.os = KIV_OS_9X;
    kivMachineConfigure(&c);
    EXPECT_EQ(kivMachineDisplay(), kivDisplayDriverDouble());
    ASSERT_EQ(kivMachineBoot(), 1);
    EXPECT_FALSE(kivEngineRunning());
    EXPECT_EQ(openGlOffered(), 1) << "the ZK3 offers OpenGL on 9x too";
    c.card = KIV_CARD_SIV;
    kivMachineConfigure(&c);
    EXPECT_EQ(openGlOffered(), 0);
}

// On the booted machine a program's own memory is what the display driver locks for a window.
TEST_F(Machine, AProgramsWindowBlockIsTracked) {
    auto block = std::make_unique<ZK_CLIENT_WINDOW_BLOCK>();
    std::memset(block.get(), 0, sizeof *block);
    HWND hwnd = CreateWindowExA(0, "t", "t", WS_VISIBLE, 40, 30, 200, 100, nullptr, nullptr, nullptr, nullptr);
    block->hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hwnd));
    uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block.get())), counter = 0xFFFF;
    ASSERT_EQ(ExtEscape(dc, ESC_WNDOBJ_SETUP, 4, reinterpret_cast<LPCSTR>(&address), 4, reinterpret_cast<LPSTR>(&counter)), 1);
    EXPECT_EQ(counter, 0u);
    EXPECT_EQ(block->changeKind, (uint32_t)ZK_WINDOW_WHOLE_CLIENT);
    EXPECT_EQ(block->clientOrigin, 40u << 16 | 30u);
    MoveWindow(hwnd, 50, 30, 200, 100, TRUE);
    EXPECT_EQ(block->clientOrigin, 50u << 16 | 30u);
    DestroyWindow(hwnd);
    EXPECT_EQ(kivEngLiveWindowObjects(), 0u);
}

// A machine no card makes: more video memory than the card carries. It is refused with the reason,
// naming what each card supports, and the boot answers failure instead of throwing from the chip.
TEST_F(Machine, AMachineTheCardCannotBeIsRefused) {
    KivMachineConfig c;
    EXPECT_EQ(kivMachineParse("nt,zk3,32mb", &c), 0);
    const std::string why = kivMachineRefusal();
    EXPECT_NE(why.find("32 MB"), std::string::npos) << why;
    EXPECT_NE(why.find("ZK3 card carries 1 to 16 MB"), std::string::npos) << why;
    EXPECT_NE(why.find("SIV card carries 1 to 16 MB"), std::string::npos) << why;
    EXPECT_EQ(c.videoMemoryBytes, 16u << 20) << "left at the default";
    ASSERT_EQ(kivMachineParse("nt,zk3,16mb", &c), 1);
    EXPECT_EQ(kivMachineCheck(&c), 1);

    c.videoMemoryBytes = 32u << 20;
    EXPECT_EQ(kivMachineCheck(&c), 0);
    kivMachineConfigure(&c);
    testing::internal::CaptureStderr();
    int booted = -1;
    EXPECT_NO_THROW(booted = kivMachineBoot());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(booted, 0);
    EXPECT_NE(said.find("ZK3 card carries 1 to 16 MB"), std::string::npos) << said;
    EXPECT_FALSE(kivEngineRunning());
}

// Descriptions with a bad word: the bad word is reported (an unknown one with the words the
// machine knows), and every good word still counts.
TEST(MachineWords, BadWordsAreReportedAndGoodOnesKept) {
    struct Case {
        const char *text;
        int accepted;
        KivOs os;
        KivCard card;
        KivBus bus;
        int noDirectDraw;
        uint32_t mb;
        std::vector<const char *> says;
    } cases[] = {
        {"9x,win98,siv,pci,8mb,noddraw", 1, KIV_OS_9X, KIV_CARD_SIV, KIV_BUS_PCI, 1, 8, {}},
        {"9x,foo", 0, KIV_OS_9X, KIV_CARD_ZK3, KIV_BUS_AGP, 0, 16,
         {"\"foo\" is not a word it knows", "nt, nt4, winnt, 9x", "zk3, siv, agp, pci, noddraw, ddraw, <n>mb"}},
        {"agp,pci,9x", 0, KIV_OS_9X, KIV_CARD_ZK3, KIV_BUS_AGP, 0, 16, {"\"agp\" and \"pci\" contradict each other"}},
        {"nt-9x pci", 0, KIV_OS_NT, KIV_CARD_ZK3, KIV_BUS_PCI, 0, 16, {"\"nt\" and \"9x\" contradict each other"}},
        {"ddraw;noddraw;siv", 0, KIV_OS_NT, KIV_CARD_SIV, KIV_BUS_AGP, 0, 16, {"\"ddraw\" and \"noddraw\""}},
        {"4mb,8mb", 0, KIV_OS_NT, KIV_CARD_ZK3, KIV_BUS_AGP, 0, 16, {"\"4mb\" and \"8mb\""}},
        {"9x,32mb", 0, KIV_OS_9X, KIV_CARD_ZK3, KIV_BUS_AGP, 0, 16, {"no ZK3 card has 32 MB", "1 to 16 MB"}},
        {"pci,xmb,0mb", 0, KIV_OS_NT, KIV_CARD_ZK3, KIV_BUS_PCI, 0, 16, {"\"xmb\" is no memory size", "\"0mb\""}},
    };
    for (const Case &c : cases) {
        KivMachineConfig got;
        EXPECT_EQ(kivMachineParse(c.text, &got), c.accepted) << c.text;
        EXPECT_EQ(got.os, c.os) << c.text;
        EXPECT_EQ(got.card, c.card) << c.text;
        EXPECT_EQ(got.bus, c.bus) << c.text;
        EXPECT_EQ(got.noDirectDraw, c.noDirectDraw) << c.text;
        EXPECT_EQ(got.videoMemoryBytes, c.mb << 20) << c.text;
        const std::string why = kivMachineRefusal();
        for (const char *s : c.says) EXPECT_NE(why.find(s), std::string::npos) << c.text << ": " << why;
        if (c.accepted) {
            EXPECT_EQ(why, "") << c.text;
        }
    }
}

// The 1024 x 768 desktop at 16 bits per pixel takes 1.5 MB: 1 MB is refused with what it needs,
// 2 MB boots.
TEST_F(Machine, TheDesktopMustFitInVideoMemory) {
    KivMachineConfig c;
    ASSERT_EQ(kivMachineParse("nt,zk3,1mb", &c), 1) << "the card comes with 1 MB";
    kivMachineConfigure(&c);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kivMachineBoot(), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("1024 x 768 desktop at 16 bits per pixel needs 1.50 MB"), std::string::npos) << said;
    EXPECT_NE(said.find("2mb or more"), std::string::npos) << said;
    ASSERT_EQ(kivMachineParse("nt,zk3,2mb", &c), 1);
    kivMachineConfigure(&c);
    EXPECT_EQ(kivMachineBoot(), 1);
    EXPECT_TRUE(kivEngineRunning());
}

// A module folder without the miniport: one line names the file, the folders searched and the
// variable; an empty KIV_MODULE_PATH counts as unset.
TEST_F(Machine, AMissingMiniportIsNamedWithWhereItWasLookedFor) {
    setenv("KIV_MODULE_PATH", "/nonexistent-kiv-a:/nonexistent-kiv-b", 1);
    testing::internal::CaptureStderr();
    const int booted = kivMachineBoot();
    const std::string said = testing::internal::GetCapturedStderr();
    setenv("KIV_MODULE_PATH", "", 1);
    EXPECT_EQ(booted, 0);
    EXPECT_NE(said.find("no file kivport.so in /nonexistent-kiv-a:/nonexistent-kiv-b (the folders of KIV_MODULE_PATH)"),
              std::string::npos)
        << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(kivMachineBoot(), 1) << "empty: the build's module folder";
    unsetenv("KIV_MODULE_PATH");
}
