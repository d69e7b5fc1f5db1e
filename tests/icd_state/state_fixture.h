// A current context on a window, with its live table at hand: GL(name) is the entry in the
// live-table slot of that command, typed as the command.
#pragma once
#include <cstring>
#include <string>
#include <vector>
#include "tests/icd_core/icd_fixture.h"
#include "icd/core/state_entries.h"

namespace slot {
#define GL_ENTRY(offset, ret, name, params, args, bytes) constexpr int name = offset;
#include <GL/gl_entries.inc>
#undef GL_ENTRY
#define GL_EXT_ENTRY(slot, ret, name, doName, compileName, compiled, params, bytes) constexpr int doName = slot;
#include "icd/core/ext_entries.inc"
#undef GL_EXT_ENTRY
}  // namespace slot

#define GL(name) slotAs<decltype(&icd::name)>(&ctx->liveTable, slot::name)

// Procs the entries run, recorded by name in call order.
inline std::vector<std::string> &procLog() {
    static std::vector<std::string> log;
    return log;
}
template <const char *Name>
void recordProc(GlContext *) {
    procLog().push_back(Name);
}

class StateTest : public IcdTest {
protected:
    void open(int format) {
        window = new TestWindow(format);
        handle = DrvCreateContext(window->hdc);
        ASSERT_NE(handle, DHGLRC(0));
        ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
        ctx = contextOf(handle);
        ASSERT_NE(ctx, nullptr);
        // The soft reset of the first make-current sets these defaults once it calls the hook;
        // setting them again is harmless.
        __glSetStateDefaults(ctx);
        procLog().clear();
    }
    void SetUp() override {
        IcdTest::SetUp();
        open(kDoubleFormat);
    }
    void TearDown() override {
        // A context inside glBegin/glEnd or out of render mode cannot be released.
        if (ctx != nullptr) {
            ctx->beginMode = 0;
            ctx->renderMode = GL_RENDER;
        }
        DrvReleaseContext(handle);
        DrvDeleteContext(handle);
        delete window;
        IcdTest::TearDown();
    }
    // Outside glBegin/glEnd with nothing marked and no error pending.
    void settle() {
        ctx->beginMode = 0;
        ctx->dirtyMask = 0;
        ctx->tableDirtyMask = 0;
        ctx->error = GL_NO_ERROR;
        procLog().clear();
    }
    TestWindow *window = nullptr;
    DHGLRC handle = 0;
    GlContext *ctx = nullptr;
};
