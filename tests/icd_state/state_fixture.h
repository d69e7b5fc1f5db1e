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

// One unit per pixel over a w x h window, origin at the bottom left, z in [-1, 1]; the scissor box
// is the window and the modelview the identity.
inline void windowProjection(GlContext *ctx, int w, int h) {
    GL(glViewport)(0, 0, w, h);
    GL(glScissor)(0, 0, w, h);
    GL(glMatrixMode)(GL_PROJECTION);
    GL(glLoadIdentity)();
    GL(glOrtho)(0, w, 0, h, -1, 1);
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glLoadIdentity)();
}

// Procs the entries run, recorded by name in call order.
inline std::vector<std::string> &procLog() {
    static std::vector<std::string> log;
    return log;
}
template <const char *Name>
void recordProc(GlContext *) {
    procLog().push_back(Name);
}

class StateTest : public CurrentContextTest {
protected:
    void open(int format) {
        openContext(format);
        if (HasFatalFailure()) return;
        // The soft reset of the first make-current sets these defaults once it calls the hook;
        // setting them again is harmless.
        __glSetStateDefaults(ctx);
        procLog().clear();
    }
    void SetUp() override {
        IcdTest::SetUp();
        open(kDoubleFormat);
    }
    // Outside glBegin/glEnd with nothing marked and no error pending.
    void settle() {
        ctx->beginMode = kGlOutsideBegin;
        ctx->dirtyMask = 0;
        ctx->tableDirtyMask = 0;
        ctx->error = GL_NO_ERROR;
        procLog().clear();
    }
};

// The front buffer's w x h pixels as a program reads them (glReadPixels, 8-bit RGB), each packed
// as R << 16 | G << 8 | B, bottom row first: equal words are equal pixels.
inline std::vector<uint32_t> readRgbWords(GlContext *ctx, int w, int h) {
    std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
    GL(glReadBuffer)(GL_FRONT);
    GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    GL(glReadPixels)(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    std::vector<uint32_t> words(size_t(w) * size_t(h));
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    return words;
}
