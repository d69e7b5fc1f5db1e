// Registry settings (defaults written back, values taken by type, out-of-range values brought
// back and rewritten), the heap limit, and the gamma ramp entries.
#include "tests/icd_hw/hw_fixture.h"

namespace {

constexpr const char *kKey = "SOFTWARE\\QUOR\\TAVRIK\\OpenGL";

struct Value {
    DWORD type = REG_NONE, size = 0;
    uint32_t data = 0;
    bool present = false;
};

Value query(const char *name) {
    Value v;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
    v.size = 4;
    v.present = RegQueryValueExA(key, name, nullptr, &v.type, reinterpret_cast<BYTE *>(&v.data), &v.size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return v;
}

void store(const char *name, DWORD type, uint32_t data, DWORD size) {
    HKEY key;
    DWORD disposition;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(&data), size);
    RegCloseKey(key);
}

class Settings : public HwTest {
protected:
    void SetUp() override {
        HwTest::SetUp();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    }
    void TearDown() override {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
        kivSetPhysicalMemory(128u << 20);
        __glHwGammaTimes1000 = 1000;
        HwTest::TearDown();
    }
};

TEST_F(Settings, AFirstRunCreatesTheKeyWithTheSixDefaultsAndASecondReadsThem) {
    HwState hw{};
    __glHwReadSettings(&hw);
    const struct { const char *name; DWORD type, size; uint32_t value; } defaults[] = {
        {"MaxTexSize", REG_DWORD, 4, 2048},           {"CmdBufSizeWords", REG_DWORD, 4, 0x10000},
        {"CmdBufMinWords", REG_DWORD, 4, 2432},       {"VidMemMinTexWidth", REG_DWORD, 4, 32},
        {"MaxPCITexHeapSize", REG_DWORD, 4, 0x500000}, {"TextureQuality", REG_BINARY, 1, 2}};
    for (const auto &d : defaults) {
        Value v = query(d.name);
        EXPECT_TRUE(v.present) << d.name;
        EXPECT_EQ(v.type, d.type) << d.name;
        EXPECT_EQ(v.size, d.size) << d.name;
        EXPECT_EQ(v.data, d.value) << d.name;
    }
    EXPECT_FALSE(query("GammaTimes1000").present);
    EXPECT_EQ(hw.cmdBufSizeWords, 0x10000u);
    EXPECT_EQ(hw.cmdBufMinWords, 2432u);
    EXPECT_EQ(hw.triangleRegs[2], 0xF40000u);
    EXPECT_EQ(hw.pointRegs[2], 0xF40000u);

    store("CmdBufMinWords", REG_DWORD, 1000, 4);
    HwState again{};
    __glHwReadSettings(&again);
    EXPECT_EQ(again.cmdBufMinWords, 1000u);
    EXPECT_EQ(query("CmdBufMinWords").data, 1000u);
}

TEST_F(Settings, ValuesAreTakenByTypeAndBroughtIntoRange) {
    const struct Case {
        const char *name;
        DWORD type, size;
        uint32_t stored;
        uint32_t HwState::*field;   // null: checked through the gamma global
        uint32_t expect;
        DWORD expectType;
        uint32_t expectStored;      // what the registry holds afterwards
    } cases[] = {
        {"CmdBufSizeWords", REG_DWORD, 4, 0x20000000, &HwState::cmdBufSizeWords, 0x100000, REG_DWORD, 0x100000},
        {"CmdBufSizeWords", REG_DWORD, 4, 16, &HwState::cmdBufSizeWords, 0x1000, REG_DWORD, 0x1000},
        {"CmdBufMinWords", REG_DWORD, 4, 0x20000, &HwState::cmdBufMinWords, 0xFFFF, REG_DWORD, 0xFFFF},
        {"MaxTexSize", REG_DWORD, 4, 0, &HwState::maxTexSize, 1, REG_DWORD, 1},
        {"MaxTexSize", REG_BINARY, 1, 7, &HwState::maxTexSize, 2048, REG_DWORD, 2048},
        {"TextureQuality", REG_DWORD, 4, 3, nullptr, 0xF40000, REG_BINARY, 2},
        {"TextureQuality", REG_BINARY, 1, 3, nullptr, 0xEC0000, REG_BINARY, 3},
        {"TextureQuality", REG_BINARY, 1, 9, nullptr, 0, REG_BINARY, 9},
        {"MaxPCITexHeapSize", REG_DWORD, 4, 0x80400000, &HwState::maxPciTexHeapSize, 0x80400000, REG_DWORD, 0x80400000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.stored));
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
        store(c.name, c.type, c.stored, c.size);
        HwState hw{};
        __glHwReadSettings(&hw);
        EXPECT_EQ(c.field ? hw.*c.field : hw.triangleRegs[2], c.expect);
        Value v = query(c.name);
        EXPECT_EQ(v.type, c.expectType);
        EXPECT_EQ(v.data, c.expectStored);
    }
}

TEST_F(Settings, GammaTimes1000IsReadButNeverWrittenAndZeroOrBelowMeansOne) {
    for (int32_t stored : {2200, 0, -5}) {
        SCOPED_TRACE(stored);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
        store("GammaTimes1000", REG_DWORD, uint32_t(stored), 4);
        HwState hw{};
        __glHwReadSettings(&hw);
        EXPECT_EQ(__glHwGammaTimes1000, stored > 0 ? stored : 1000);
        EXPECT_EQ(int32_t(query("GammaTimes1000").data), stored);
    }
    BYTE one[256], zero[256];
    __glHwBuildGammaTable(1000, one);
    __glHwBuildGammaTable(0, zero);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(one[i], i * 255 / 256) << i;
    EXPECT_EQ(std::memcmp(one, zero, 256), 0) << "no black screen";
}

// The heap limit is an eighth of the memory counted in 16 MB steps; a value with its top bit set
// is taken without it and not limited.
TEST_F(Settings, TheHeapSizeIsLimitedByTheMachinesMemoryAndWrittenBack) {
    kivSetPhysicalMemory((64u << 20) + 0x123456);
    store("MaxPCITexHeapSize", REG_DWORD, 0x10000000, 4);
    DHGLRC id;
    ASSERT_NE(createContext(&id), nullptr);
    EXPECT_EQ(query("MaxPCITexHeapSize").data, 0x800000u);
    deleteContext(id);

    store("MaxPCITexHeapSize", REG_DWORD, 0x80400000, 4);
    ASSERT_NE(createContext(&id), nullptr);
    EXPECT_EQ(query("MaxPCITexHeapSize").data, 0x80400000u) << "no write-back";
}

// ---- gamma ----------------------------------------------------------------------------------

using SetRamp = BOOL(WINAPI *)(const BYTE *, const BYTE *, const BYTE *);
using GetRamp = BOOL(WINAPI *)(BYTE *, BYTE *, BYTE *);

TEST_F(HwTest, GammaEntriesReachTheDisplayDriverAndReportTheirResult) {
    DHGLRC id;
    ASSERT_NE(createContext(&id), nullptr);
    makeCurrent(id);
    auto set = reinterpret_cast<SetRamp>(DrvGetProcAddress("wglSetDeviceGammaRampZORVEK"));
    auto get = reinterpret_cast<GetRamp>(DrvGetProcAddress("wglGetDeviceGammaRampZORVEK"));
    ASSERT_NE(set, nullptr);
    ASSERT_NE(get, nullptr);
    BYTE r[256], g[256], b[256];
    for (int i = 0; i < 256; ++i) {
        r[i] = BYTE(255 - i);
        g[i] = BYTE(i / 2);
        b[i] = BYTE(i ^ 0x5A);
    }
    EXPECT_TRUE(set(r, g, b)) << "the driver loaded it (it answers 0 when it has)";
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(display.ramp[i], r[i] << 8);
        ASSERT_EQ(display.rampByte(1, i), g[i]);
        ASSERT_EQ(display.rampByte(2, i), b[i]);
    }
    BYTE r2[256] = {}, g2[256] = {}, b2[256] = {};
    EXPECT_TRUE(get(r2, g2, b2));
    EXPECT_EQ(std::memcmp(r, r2, 256), 0);
    EXPECT_EQ(std::memcmp(g, g2, 256), 0);
    EXPECT_EQ(std::memcmp(b, b2, 256), 0);
    EXPECT_FALSE(set(r, nullptr, b));
    EXPECT_FALSE(get(r2, g2, nullptr));

    // A display driver without the gamma escapes: both fail, and the tables stay as they were.
    kivMachineRegisterDisplay(kivDisplayDriverDouble());
    EXPECT_FALSE(set(r, g, b));
    std::memset(r2, 0x77, sizeof r2);
    EXPECT_FALSE(get(r2, g2, b2));
    EXPECT_EQ(r2[10], 0x77);
}

TEST_F(HwTest, StartUpLoadsTheRampAndTheLastContextPutsTheIdentityBack) {
    DHGLRC id;
    ASSERT_NE(createContext(&id), nullptr);
    ASSERT_GE(display.rampLoads, 1);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 256; ++i) ASSERT_EQ(display.rampByte(k, i), i * 255 / 256) << k << " " << i;
    deleteContext(id);
    // Other processes of the machine may still hold contexts; when none does, the ramp is back.
    if (display.activeCounts.back() == 0) {
        for (int i = 0; i < 256; ++i) ASSERT_EQ(display.rampByte(0, i), i);
    }
}

}  // namespace
