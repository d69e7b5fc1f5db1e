// sivd16's messages to the HAL (the error-handler library), the entry-point block and the
// forwarding routines, sent through the thunks as sivd16 sends them.
#include "tests/sivhal/hal_fixture.h"

#include <cstring>

// The error-handler library. The loader hands out the main program for the system's own module
// names, so a test names one of those as the library and the program exports the two routines.
namespace {
struct HandlerCalls {
    int setupCalls, criticalCalls;
    void *setupBlock;
    DWORD setupContext, setupValue;
    void *setupCallback;
    DWORD criticalArgs[5];
    void *criticalBlock;
} g_handler;
}  // namespace

KIV_EXPORT DWORD WINAPI SetupCriticalErrorHandler(void *block, DWORD context, DWORD value, void *callback) {
    g_handler.setupCalls++;
    g_handler.setupBlock = block;
    g_handler.setupContext = context;
    g_handler.setupValue = value;
    g_handler.setupCallback = callback;
    return 0x5E7;
}

KIV_EXPORT DWORD WINAPI CriticalErrorHandler(DWORD a, DWORD b, DWORD c, DWORD d, DWORD e, void *block) {
    g_handler.criticalCalls++;
    DWORD args[5] = {a, b, c, d, e};
    std::memcpy(g_handler.criticalArgs, args, sizeof args);
    g_handler.criticalBlock = block;
    return 0xC417;
}

namespace {

class Messages : public HalMachine {
protected:
    BYTE block[64];
    void SetUp() override {
        HalMachine::SetUp();
        ASSERT_TRUE(Attach());
        g_handler = {};
    }
    DWORD Load(const char *name, DWORD context = 0) {
        std::memset(block, 0, sizeof block);
        std::strncpy(reinterpret_cast<char *>(block + 4), name, sizeof block - 5);
        return kivSivd16Message(context, 0x10004, block);
    }
    DWORD Free() { return kivSivd16Message(0, 0x10005, nullptr); }
};

TEST_F(Messages, FixedAnswers) {
    struct Case {
        DWORD context, message, result;
    } cases[] = {
        {0, 0x10001, 0x203}, {0xFFFFFFFF, 0x10001, 0x203}, {0, 0x10002, 0xF0000000},
        {0, 0x10003, 0xF0000000},   // no library loaded
        {0, 0x10006, 0xF0000000}, {0, 0, 0xF0000000}, {0, 0x10005, 0xF0070000},
    };
    for (const Case &c : cases)
        EXPECT_EQ(kivSivd16Message(c.context, c.message, block), c.result) << std::hex << c.message;
}

TEST_F(Messages, LoadCallsSetupWithTheBlockContextAndCallback) {
    void *context = sivd16->driverBlock;
    EXPECT_EQ(Load("kernel32", static_cast<DWORD>(reinterpret_cast<uintptr_t>(context))), 0x5E7u);
    ASSERT_EQ(g_handler.setupCalls, 1);
    EXPECT_EQ(g_handler.setupBlock, block);   // the 16:16 block reaches the library flat
    EXPECT_EQ(g_handler.setupContext, reinterpret_cast<uintptr_t>(context));
    EXPECT_EQ(g_handler.setupValue, sivd16->results[3]);
    // sivd16's function 3 got the context as a 16:16 pointer to the same memory.
    ASSERT_EQ(sivd16->callCount, 1u);
    EXPECT_EQ(sivd16->calls[0].index, 3u);
    EXPECT_EQ(sivd16->calls[0].flat[0], context);
    EXPECT_NE(sivd16->calls[0].args[0], reinterpret_cast<uintptr_t>(context));
    // The callback is the 32-bit side of sivd16's function 4.
    sivd16->results[4] = 0xF4;
    auto callback = reinterpret_cast<DWORD(WINAPI *)(void *, WORD)>(g_handler.setupCallback);
    EXPECT_EQ(callback(block, 0x1234), 0xF4u);
    ASSERT_EQ(sivd16->callCount, 2u);
    EXPECT_EQ(sivd16->calls[1].index, 4u);
    EXPECT_EQ(sivd16->calls[1].flat[0], block);
    EXPECT_EQ(sivd16->calls[1].args[1], 0x1234u);
    EXPECT_EQ(kivSelectorFixes(), 0);

    // Message 0x10003 goes to the handler with its fixed arguments.
    EXPECT_EQ(kivSivd16Message(9, 0x10003, block), 0xC417u);
    const DWORD expected[5] = {0, 0x10003, 0, 0, 4};
    EXPECT_EQ(std::memcmp(g_handler.criticalArgs, expected, sizeof expected), 0);
    EXPECT_EQ(g_handler.criticalBlock, block);
    EXPECT_EQ(Free(), 0u);
}

TEST_F(Messages, LoadsAreCountedPerNameAndFreedInTurn) {
    EXPECT_EQ(Load("kernel32"), 0x5E7u);
    EXPECT_EQ(Load("KERNEL32"), 0x5E7u);   // the same library, any case: a second load
    EXPECT_EQ(Shared().errorHandlerLoads, 2);
    EXPECT_EQ(Load("gdi32"), 0xF0040000u);   // another library: refused, nothing changes
    EXPECT_EQ(Shared().errorHandlerLoads, 2);
    EXPECT_STREQ(Shared().errorHandlerName, "KERNEL32");   // each load keeps the name it was given
    EXPECT_EQ(Free(), 0xF0050000u);
    EXPECT_EQ(kivSivd16Message(0, 0x10003, block), 0xC417u);   // still loaded
    EXPECT_EQ(Free(), 0u);
    EXPECT_EQ(Free(), 0xF0070000u);
    EXPECT_EQ(kivSivd16Message(0, 0x10003, block), 0xF0000000u);
    EXPECT_STREQ(Shared().errorHandlerName, "");
    EXPECT_EQ(Load("gdi32"), 0x5E7u);   // after the last free any library may be loaded
    EXPECT_EQ(Free(), 0u);
}

TEST_F(Messages, BadLibraryNamesAreRefused) {
    struct Case {
        const char *name;
        DWORD result;
    } cases[] = {
        {"nosuchhandler", 0xF0010000},
        {"", 0xF0030000},
        {"handler-name-16c", 0xF0030000},   // 16 characters do not fit the 16-byte name buffer
        {"a-much-longer-error-handler-name.dll", 0xF0030000},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Load(c.name), c.result) << c.name;
        EXPECT_EQ(Shared().errorHandlerLoads, 0);
        EXPECT_STREQ(Shared().errorHandlerName, "");
    }
    EXPECT_EQ(g_handler.setupCalls, 0);
    EXPECT_EQ(kivSivd16Message(0, 0x10004, nullptr), 0xF0030000u);
}

TEST_F(Messages, FillEntryPointsWritesOnlyItsWords) {
    std::memset(sivd16->entryBlock, 0xA5, 128);
    EXPECT_EQ(kivSivd16FillEntryPoints(), 1u);
    const BYTE *b = sivd16->entryBlock;
    EXPECT_EQ(LoadField<uint32_t>(b + 68), reinterpret_cast<uintptr_t>(&ForwardToDriver16A));
    EXPECT_EQ(LoadField<uint32_t>(b + 72), reinterpret_cast<uintptr_t>(&ForwardToDriver16B));
    for (int i = 0; i < 128; i++) {
        if (i >= 68 && i < 76)
            continue;
        EXPECT_EQ(b[i], (i >= 76 && i < 100) ? 0 : 0xA5) << i;
    }
    EXPECT_EQ(kivSelectorFixes(), 0);
}

TEST_F(Messages, ForwardersPassTheRecordPointerToSivd16) {
    ASSERT_EQ(kivSivd16FillEntryPoints(), 1u);
    auto forwardA = reinterpret_cast<DWORD(WINAPI *)(BYTE *, DWORD, void *)>(LoadField<uint32_t>(sivd16->entryBlock + 68));
    auto forwardB = reinterpret_cast<DWORD(WINAPI *)(BYTE *, DWORD)>(LoadField<uint32_t>(sivd16->entryBlock + 72));
    BYTE record[112] = {}, target[8], extra[8];
    StoreField<uint32_t>(record + 108, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(target)));
    sivd16->results[6] = 0x66;
    sivd16->results[5] = 0x55;
    EXPECT_EQ(forwardA(record, 17, extra), 0x66u);
    EXPECT_EQ(forwardB(record, 18), 0x55u);
    StoreField<uint32_t>(record + 108, 0);
    EXPECT_EQ(forwardB(record, 19), 0x55u);
    ASSERT_EQ(sivd16->callCount, 3u);
    const Sivd16Call &a = sivd16->calls[0], &b = sivd16->calls[1], &c = sivd16->calls[2];
    EXPECT_EQ(a.index, 6u);
    EXPECT_EQ(a.flat[0], target);
    EXPECT_EQ(a.args[1], 17u);
    EXPECT_EQ(a.flat[2], extra);
    EXPECT_EQ(b.index, 5u);
    EXPECT_EQ(b.flat[0], target);
    EXPECT_EQ(b.args[1], 18u);
    EXPECT_EQ(c.args[0], 0u);   // a null record pointer goes down as a null 16:16 pointer
    EXPECT_EQ(kivSelectorsLive(), 7);   // only sivd16's own segments remain
}

// sivd16 offers the HAL its functions 0 and 1, which no road of the HAL calls: each still reaches
// sivd16 through the thunk with its arguments in declaration order and brings back its answer.
TEST_F(Messages, Sivd16FunctionsNoRoadCallsPassTheirArgumentsAndAnswer) {
    sivd16->results[0] = 0xA0000000;
    sivd16->results[1] = 0xA1000001;
    EXPECT_EQ(Driver16Fn0(0x11223344, 0x55667788), 0xA0000000u);
    EXPECT_EQ(Driver16Fn1(0x99AABBCC), 0xA1000001u);
    const Sivd16Call expected[] = {{0, {0x11223344, 0x55667788, 0}, {}}, {1, {0x99AABBCC, 0, 0}, {}}};
    ASSERT_EQ(sivd16->callCount, 2u);
    for (DWORD k = 0; k < 2; k++) {
        EXPECT_EQ(sivd16->calls[k].index, expected[k].index);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(sivd16->calls[k].args[i], expected[k].args[i]) << k << " argument " << i;
    }
    EXPECT_EQ(kivSelectorsLive(), 7);   // no segment left mapped
}

TEST_F(Messages, ReleaseContextFreesTheDriverContext) {
    ASSERT_TRUE(CreateDriverContext(Block()));
    DWORD own = Shared().ownContextHandle;
    ASSERT_NE(own, 0u);
    EXPECT_EQ(Block()->currentContext(), own);
    EXPECT_EQ(kivSivd16ReleaseContext(), 1);
    EXPECT_EQ(Shared().ownContextHandle, 0u);
    EXPECT_EQ(LookupHandle(Shared().contextTableId, own), nullptr);
}

}  // namespace
