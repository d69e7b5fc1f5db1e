#include <gtest/gtest.h>

#include <cstring>

#include "platform/ntgdi/ntgdi.h"
#include "platform/zk3/zk3_engine.h"

TEST(EngineServices, TaggedMemoryIsReportedUntilFreed) {
    const ULONG tag = 0x20204B5A;
    auto *p = static_cast<uint8_t *>(EngAllocMem(FL_ZERO_MEMORY, 100, tag));
    auto *q = static_cast<uint8_t *>(EngAllocMem(0, 10, 0x64444D4D));
    ASSERT_TRUE(p && q);
    EXPECT_EQ(p[0] | p[99], 0);
    EXPECT_EQ(kivEngLiveAllocations(tag), 1u);
    EXPECT_NE(kivEngLeakReport().find("'ZK  ': 100 bytes"), std::string::npos);
    kivEngFailAllocAfter(1);
    EXPECT_EQ(EngAllocMem(0, 4, tag), nullptr);
    EngFreeMem(p);
    EngFreeMem(q);
    EXPECT_EQ(kivEngLeakReport(), "");
    EngFreeMem(p);
    ASSERT_EQ(kivEngErrors().size(), 1u) << "a second free is noticed, not done";
    kivEngClearErrors();
}

TEST(EngineServices, SemaphoresAreReentrantAndMisuseIsRecorded) {
    HSEMAPHORE s = EngCreateSemaphore();
    EngAcquireSemaphore(s);
    EngAcquireSemaphore(s);
    EngReleaseSemaphore(s);
    EngReleaseSemaphore(s);
    EXPECT_TRUE(kivEngErrors().empty());
    EngReleaseSemaphore(s);
    EXPECT_EQ(kivEngErrors().size(), 1u);
    EngDeleteSemaphore(s);
    EXPECT_EQ(kivEngLiveSemaphores(), 0u);
    kivEngClearErrors();
}

TEST(EngineServices, SurfacesKeepTheirHooksAndBitmapsTheirLayout) {
    HSURF h = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(0x10), SIZEL{640, 480}, BMF_16BPP);
    ASSERT_TRUE(h);
    EXPECT_TRUE(EngAssociateSurface(h, reinterpret_cast<HDEV>(0x20), 0x5539));
    SURFOBJ *so = EngLockSurface(h);
    ASSERT_TRUE(so);
    EXPECT_EQ(so->hsurf, h);
    EXPECT_EQ(so->iType, STYPE_DEVICE);
    EngUnlockSurface(so);
    EXPECT_TRUE(EngDeleteSurface(h));
    HSURF b = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{3, 2}, 0, BMF_16BPP, 0, nullptr));
    so = EngLockSurface(b);
    EXPECT_EQ(so->lDelta, -8) << "bottom-up, dword-aligned rows";
    EXPECT_EQ(static_cast<uint8_t *>(so->pvScan0), static_cast<uint8_t *>(so->pvBits) + 8);
    EngUnlockSurface(so);
    EngDeleteSurface(b);
    EXPECT_EQ(kivEngLiveSurfaces(), 0u);
    EXPECT_TRUE(kivEngErrors().empty());
}

namespace {
void put(unsigned sub, uint32_t m, uint32_t v) { WRITE_REGISTER_ULONG(zk3EngineFifo() + sub * 0x2000 + m, v); }
}  // namespace

TEST(Zk3EngineModel, ObjectsAreCreatedDestroyedAndCheckedThroughClassObjects) {
    zk3EngineAttachChip(nullptr);
    put(1, 0, 0x0E);
    put(1, 0x300, 0xB0000);
    put(1, 0, 0x13);
    put(1, 0x300, 0xA0010);
    put(2, 0, 0xA0010);
    put(2, 0x200, 0xB0000);
    EXPECT_TRUE(zk3EngineErrors().empty());
    put(2, 0x204, 0xB0099);                  // not created
    put(1, 0x300, 0xA0010);                  // created twice
    put(3, 0, 0xA0099);                      // never created
    EXPECT_EQ(zk3EngineErrors().size(), 3u);
    EXPECT_EQ(READ_REGISTER_USHORT(zk3EngineFifo() + 0x10), 124);
    put(1, 0x304, 0xA0010);
    EXPECT_EQ(zk3EngineBound(2), 0u) << "a destroyed object leaves its subchannel";
    EXPECT_EQ(zk3EngineLiveInstances(), 1u);
    zk3EngineReset();
    EXPECT_EQ(zk3EngineLiveInstances(), 0u);
}

TEST(Zk3EngineModel, ThePusherDecodesMethodHeadersAndStopsAtATruncatedOne) {
    zk3EngineAttachChip(nullptr);
    put(1, 0, 0x1E);
    put(1, 0x300, 0xA0003);
    alignas(16) uint32_t buf[8] = {1u << 18 | 3u << 13 | 0, 0xA0003, 2u << 18 | 3u << 13 | 0x400, 5, 6,
                                   3u << 18 | 3u << 13 | 0x304, 7};
    zk3EngineDefineMemory(0x20, 3, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buf)), sizeof buf - 1);
    uint8_t *d = zk3EnginePusherRegs();
    auto w = [&](uint32_t off, uint32_t v) { WRITE_REGISTER_ULONG(d + off, v); };
    w(0x1204, 0x20);
    w(0x1228, 0);
    w(0x1224, 5 * 4);
    w(0x1200, 1);
    w(0x1220, 1);
    ASSERT_EQ(zk3EnginePusherRuns().size(), 1u);
    EXPECT_TRUE(zk3EnginePusherRuns()[0].ok);
    EXPECT_EQ(zk3EngineFind(0xA0003)->method(0x404), 6u);
    EXPECT_EQ(READ_REGISTER_ULONG(d + 0x1220), 0u);
    w(0x1224, 7 * 4);
    w(0x1220, 1);
    EXPECT_FALSE(zk3EnginePusherRuns()[1].ok);
    EXPECT_EQ(zk3EngineErrors().size(), 1u);
    zk3EngineReset();
}
