// A current context whose queries are called through its live table as opengl32 calls them,
// with every answer read in all four types into sentinel-filled arrays, so that a short write
// or an overrun shows.
#pragma once
#include <cmath>
#include <cstring>
#include "tests/icd_state/state_fixture.h"

constexpr int kQuerySlots = 20;
constexpr GLint kIntSentinel = -0x3C3C3C3D;
constexpr GLboolean kBoolSentinel = 0xA5;
constexpr float kFloatSentinel = -12345.5f;
constexpr double kDoubleSentinel = -54321.25;

struct AllTypes {
    GLboolean b[kQuerySlots];
    GLint i[kQuerySlots];
    GLfloat f[kQuerySlots];
    GLdouble d[kQuerySlots];
    AllTypes() {
        std::memset(b, kBoolSentinel, sizeof(b));
        for (int k = 0; k < kQuerySlots; ++k) i[k] = kIntSentinel, f[k] = kFloatSentinel, d[k] = kDoubleSentinel;
    }
    // Values written in each type (counted up to the first untouched slot).
    int written(int type) const {
        int n = 0;
        while (n < kQuerySlots && !untouched(type, n)) ++n;
        return n;
    }
    bool untouched(int type, int k) const {
        switch (type) {
        case 0: return b[k] == kBoolSentinel;
        case 1: return i[k] == kIntSentinel;
        case 2: return f[k] == kFloatSentinel;
        default: return d[k] == kDoubleSentinel;
        }
    }
    bool allUntouched() const {
        for (int t = 0; t < 4; ++t)
            for (int k = 0; k < kQuerySlots; ++k)
                if (!untouched(t, k)) return false;
        return true;
    }
};

class QueryTest : public CurrentContextTest {
protected:
    void SetUp() override {
        IcdTest::SetUp();
        openContext(kDoubleFormat);
        if (HasFatalFailure()) return;
        ctx->error = GL_NO_ERROR;
    }
    GLenum error() {
        GLenum e = ctx->error;
        ctx->error = GL_NO_ERROR;
        return e;
    }
    AllTypes get(GLenum pname) {
        AllTypes a;
        GL(glGetBooleanv)(pname, a.b);
        GL(glGetIntegerv)(pname, a.i);
        GL(glGetFloatv)(pname, a.f);
        GL(glGetDoublev)(pname, a.d);
        return a;
    }
};

// floor(v x 4294964992 x 0.5): a normalised value over the integer range.
inline GLint normalisedInt(double v) { return GLint(std::floor(v * 4294964992.0 * 0.5)); }
