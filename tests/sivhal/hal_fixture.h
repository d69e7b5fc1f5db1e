// A 9x machine with the SIV card: the card model, sivd16 and the HAL (linked in; process
// attach and detach are sent to its entry the way the loader sends them).
#pragma once
#include <gtest/gtest.h>

#include "drv/siv/display/sivhal.h"
#include "platform/siv/siv_chip.h"
#include "platform/sivd16/sivd16.h"

inline HMODULE HalModule() { return reinterpret_cast<HMODULE>(0x10000000); }

class HalMachine : public ::testing::Test {
protected:
    SivChip *chip = nullptr;
    Sivd16 *sivd16 = nullptr;
    int attached = 0;

    void StartMachine(const SivCardConfig &card, const Sivd16Options &options) {
        chip = kivSivPowerOn(&card);
        ASSERT_NE(chip, nullptr);
        sivd16 = kivSivd16Start(chip, &options);
        ASSERT_NE(sivd16, nullptr);
    }
    void SetUp() override { StartMachine(SivCardConfig{}, Sivd16Options{}); }
    void TearDown() override {
        while (attached > 0)
            Detach();
        kivFailHeapAllocAfter(0);
        kivThunkFailConnect("I1632_ThunkData16", 0);
        kivThunkFailConnect("I3216_ThunkData16", 0);
        kivSivd16Stop();
        kivSivPowerOff();
        EXPECT_EQ(Shared().attachCount, 0);
    }
    BOOL Attach() {
        attached++;
        return HalDllEntry(HalModule(), DLL_PROCESS_ATTACH, nullptr);
    }
    BOOL Detach() {
        attached--;
        return HalDllEntry(HalModule(), DLL_PROCESS_DETACH, nullptr);
    }
    DriverBlock *Block() { return reinterpret_cast<DriverBlock *>(sivd16->driverBlock); }
};
