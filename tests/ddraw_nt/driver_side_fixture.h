// The NT machine booted as a program finds it, with the DirectDraw runtime's driver side enabled
// on its display: surfaces of any format made, locked and unlocked through the display driver's
// callbacks, as DirectDraw makes them for a program.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "platform/ddraw_nt/ddraw_nt_hal.h"
#include "platform/machine/machine.h"

class DdNtDriverSide : public ::testing::Test {
protected:
    KivMachineConfig saved{};
    KivDirectDrawNt dd;

    void SetUp() override {
        saved = *kivMachineConfig();
        KivMachineConfig c;
        ASSERT_EQ(kivMachineParse("nt,zk3,16mb", &c), 1);
        kivMachineConfigure(&c);
        ASSERT_EQ(kivMachineBoot(), 1);
        ASSERT_TRUE(dd.enable());
    }
    void TearDown() override {
        dd.disable();
        kivMachineConfigure(&saved);
        kivMachineBoot();
    }
    // One surface of `caps`, w x h, in the display's format or of a FOURCC code; null (with the
    // result in *code) when DirectDraw or the driver refuses it.
    KivDdNtSurface *make(DWORD w, DWORD h, DWORD caps, uint32_t fourCc = 0, HRESULT_DD *code = nullptr) {
        ZK_DDSURFACEDESC d{};
        d.dwFlags = ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT;
        d.dwWidth = w;
        d.dwHeight = h;
        d.ddsCaps.dwCaps = caps;
        if (fourCc) {
            d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
            d.ddpfPixelFormat.dwFlags = ZK_DDPF_FOURCC;
            d.ddpfPixelFormat.dwFourCC = fourCc;
        }
        std::vector<KivDdNtSurface *> out;
        const KivDdNtResult r = dd.create(d, 1, &out);
        if (code) *code = r.code;
        return r.code == ZK_DD_OK && !out.empty() ? out[0] : nullptr;
    }
};
