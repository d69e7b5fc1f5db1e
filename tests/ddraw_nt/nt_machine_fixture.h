// The NT machine with the ZK3 card and 16 MB of video memory, booted for a test as a program
// finds it; the machine's configuration is put back afterwards.
#pragma once
#include <gtest/gtest.h>

#include "platform/machine/machine.h"

class NtMachineTest : public ::testing::Test {
protected:
    KivMachineConfig saved{};

    void SetUp() override {
        saved = *kivMachineConfig();
        KivMachineConfig c;
        ASSERT_EQ(kivMachineParse("nt,zk3,16mb", &c), 1);
        kivMachineConfigure(&c);
        ASSERT_EQ(kivMachineBoot(), 1);
    }
    void TearDown() override {
        kivMachineConfigure(&saved);
        kivMachineBoot();
    }
};
