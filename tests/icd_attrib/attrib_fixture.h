// A current context whose state is set and read back through the GL entries of its live table,
// for the attribute stacks and the context copy.
#pragma once
#include <functional>
#include <vector>
#include "tests/icd_state/state_fixture.h"
#include "icd/core/attrib.h"

class AttribTest : public StateTest {
protected:
    std::vector<double> get(GLenum pname, int n) {
        double v[16] = {};
        GL(glGetDoublev)(pname, v);
        return std::vector<double>(v, v + n);
    }
    double enabled(GLenum cap) { return GL(glIsEnabled)(cap); }
    GLint depth(GLenum pname) {
        GLint v = -1;
        GL(glGetIntegerv)(pname, &v);
        return v;
    }
    GLenum takeError() {
        GLenum e = ctx->error;
        ctx->error = GL_NO_ERROR;
        return e;
    }
    GlAttribEntry *entry(int i) { return static_cast<GlAttribEntry *>(ctx->arrays.attribStack[i]); }
};
