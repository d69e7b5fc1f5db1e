// glTexParameter and glTexEnv: every error, the stored values and the marks they leave.
#include <climits>
#include <functional>
#include "tests/icd_texture/texture_fixture.h"

namespace {

using TextureParams = TextureTest;

TEST_F(TextureParams, EachParameterStoresItsValueAndMarksTheObject) {
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    GlTextureObject *tex = bound(GL_TEXTURE_2D);
    struct Case {
        const char *what;
        std::function<void()> set;
        std::function<bool()> stored;
    } cases[] = {
        {"mag filter", [&] { GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST); },
         [&] { return tex->magFilter == GL_NEAREST; }},
        {"min filter from a float", [&] { GL(glTexParameterf)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, float(GL_LINEAR_MIPMAP_LINEAR) + 0.75f); },
         [&] { return tex->minFilter == GL_LINEAR_MIPMAP_LINEAR; }},
        {"wrap s", [&] { GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP); },
         [&] { return tex->wrapS == GL_CLAMP && tex->wrapT == GL_REPEAT; }},
        {"wrap t by vector", [&] { const GLint v = GL_CLAMP; GL(glTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &v); },
         [&] { return tex->wrapT == GL_CLAMP; }},
        {"border colour clamped", [&] { const GLfloat c[4] = {-0.0f, 0.5f, 2.0f, -3.0f}; GL(glTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, c); },
         [&] { return tex->borderColor[0] == 0.0f && tex->borderColor[1] == 0.5f && tex->borderColor[2] == 1.0f && tex->borderColor[3] == 0.0f; }},
        {"border colour from integers", [&] { const GLint c[4] = {INT_MAX, 0, INT_MIN, INT_MAX / 2}; GL(glTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, c); },
         [&] { return tex->borderColor[0] == 1.0f && tex->borderColor[1] > 0.0f && tex->borderColor[1] < 1e-9f && tex->borderColor[2] == 0.0f && std::abs(tex->borderColor[3] - 0.5f) < 1e-6f; }},
        {"priority", [&] { GL(glTexParameterf)(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, 1.5f); },
         [&] { return tex->priority == 1.0f && ctx->state.textures.cache[0][1].priority == 1.0f; }},
        {"priority from an integer", [&] { GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, INT_MAX / 4); },
         [&] { return std::abs(ctx->state.textures.cache[0][1].priority - 0.25f) < 1e-6f; }},
    };
    for (const Case &c : cases) {
        settle();
        tex->consistencyDirty = 0;
        c.set();
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR)) << c.what;
        EXPECT_TRUE(c.stored()) << c.what;
        EXPECT_EQ(tex->consistencyDirty, 1) << c.what;
        EXPECT_EQ(ctx->beginMode, kGlNeedValidate) << c.what;
        EXPECT_TRUE(ctx->dirtyMask & kGlDirtyGeneral) << c.what;
    }
    GLint v = 0;
    GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &v);
    EXPECT_EQ(v, GL_CLAMP);
}

TEST_F(TextureParams, ParameterErrorsChangeNothing) {
    GL(glBindTexture)(GL_TEXTURE_1D, 1);
    GlTextureObject *tex = bound(GL_TEXTURE_1D);
    const GLfloat four[4] = {1, 1, 1, 1};
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum error;
    } cases[] = {
        {"proxy target", [&] { GL(glTexParameteri)(GL_PROXY_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP); }, GL_INVALID_ENUM},
        {"env target", [&] { GL(glTexParameteri)(GL_TEXTURE_ENV, GL_TEXTURE_WRAP_S, GL_CLAMP); }, GL_INVALID_ENUM},
        {"scalar border colour", [&] { GL(glTexParameteri)(GL_TEXTURE_1D, GL_TEXTURE_BORDER_COLOR, 1); }, GL_INVALID_ENUM},
        {"unknown pname", [&] { GL(glTexParameterfv)(GL_TEXTURE_1D, GL_TEXTURE_WIDTH, four); }, GL_INVALID_ENUM},
        {"mipmap mag filter", [&] { GL(glTexParameteri)(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR_MIPMAP_LINEAR); }, GL_INVALID_ENUM},
        {"min filter below", [&] { GL(glTexParameteri)(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST - 1); }, GL_INVALID_ENUM},
        {"min filter above", [&] { GL(glTexParameterf)(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, float(GL_LINEAR_MIPMAP_LINEAR + 1)); }, GL_INVALID_ENUM},
        {"wrap value", [&] { GL(glTexParameteri)(GL_TEXTURE_1D, GL_TEXTURE_WRAP_T, GL_REPEAT + 1); }, GL_INVALID_ENUM},
    };
    for (const Case &c : cases) {
        settle();
        tex->consistencyDirty = 0;
        c.call();
        EXPECT_EQ(error(), c.error) << c.what;
        EXPECT_EQ(tex->wrapS, GLenum(GL_REPEAT)) << c.what;
        EXPECT_EQ(tex->wrapT, GLenum(GL_REPEAT)) << c.what;
        EXPECT_EQ(tex->minFilter, GLenum(GL_NEAREST_MIPMAP_LINEAR)) << c.what;
        EXPECT_EQ(tex->magFilter, GLenum(GL_LINEAR)) << c.what;
        EXPECT_EQ(tex->borderColor[0], 0.0f) << c.what;
        EXPECT_EQ(tex->consistencyDirty, 0) << c.what;
        EXPECT_EQ(ctx->beginMode, kGlOutsideBegin) << c.what;
    }
    settle();
    ctx->beginMode = kGlInsideBegin;
    GL(glTexParameteri)(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    ctx->beginMode = kGlOutsideBegin;
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(tex->wrapS, GLenum(GL_REPEAT));
    // Bound on both units the object is read-only.
    ctx->state.unitSelect.activeTexture = 1;
    GL(glBindTexture)(GL_TEXTURE_1D, 1);
    GL(glTexParameteri)(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(tex->wrapS, GLenum(GL_REPEAT));
    EXPECT_EQ(__glTexParameterParamCount(GL_TEXTURE_BORDER_COLOR), 4);
    EXPECT_EQ(__glTexParameterivParamCount(GL_TEXTURE_PRIORITY), 1);
    EXPECT_EQ(__glTexParameterParamCount(GL_TEXTURE_WIDTH), -1);
}

TEST_F(TextureParams, EnvironmentModesColoursAndErrors) {
    GlTexEnvRecord *env0 = ctx->state.textures.env[0];
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum error;
        GLenum mode;  // unit 0's mode afterwards
    } cases[] = {
        {"decal", [&] { GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL); }, GL_NO_ERROR, GL_DECAL},
        {"blend from a float", [&] { GL(glTexEnvf)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, float(GL_BLEND)); }, GL_NO_ERROR, GL_BLEND},
        {"replace by vector", [&] { const GLfloat m = GL_REPLACE; GL(glTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &m); }, GL_NO_ERROR, GL_REPLACE},
        {"add from an integer", [&] { GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD); }, GL_NO_ERROR, GL_ADD},
        {"add from a float", [&] { GL(glTexEnvf)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, float(GL_ADD)); }, GL_INVALID_ENUM, GL_MODULATE},
        {"unknown mode", [&] { GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE + 2); }, GL_INVALID_ENUM, GL_MODULATE},
        {"second environment target", [&] { GL(glTexEnvi)(GL_TEXTURE_ENV + 1, GL_TEXTURE_ENV_MODE, GL_DECAL); }, GL_INVALID_ENUM, GL_MODULATE},
        {"scalar colour", [&] { GL(glTexEnvf)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, 1.0f); }, GL_INVALID_ENUM, GL_MODULATE},
        {"unknown pname", [&] { const GLint m = GL_DECAL; GL(glTexEnviv)(GL_TEXTURE_ENV, GL_TEXTURE_WRAP_S, &m); }, GL_INVALID_ENUM, GL_MODULATE},
    };
    for (const Case &c : cases) {
        settle();
        env0->mode = GL_MODULATE;
        ctx->state.pick.texEnvMode = GL_MODULATE;
        c.call();
        EXPECT_EQ(error(), c.error) << c.what;
        EXPECT_EQ(env0->mode, c.mode) << c.what;
        EXPECT_EQ(ctx->state.pick.texEnvMode, c.mode) << c.what;
        EXPECT_EQ(ctx->beginMode, c.error == GL_NO_ERROR ? kGlNeedValidate : kGlOutsideBegin) << c.what;
        if (c.error == GL_NO_ERROR) {
            EXPECT_TRUE(ctx->dirtyMask & kGlDirtyTexture) << c.what;
        }
    }
    // Unit 1 has an environment of its own.
    ctx->state.unitSelect.activeTexture = 1;
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    EXPECT_EQ(ctx->state.textures.env[1][0].mode, GLenum(GL_DECAL));
    EXPECT_EQ(env0->mode, GLenum(GL_MODULATE));
    // Colours are clamped and kept in fragment colour units.
    const GLfloat c[4] = {1.0f, 0.5f, -1.0f, 4.0f};
    GL(glTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
    const GlColorScales &s = ctx->scales;
    const GlTexEnvRecord &e1 = ctx->state.textures.env[1][0];
    EXPECT_FLOAT_EQ(e1.color[0], s.redScale * s.redMaxOverScale);
    EXPECT_FLOAT_EQ(e1.color[1], 0.5f * s.greenScale * s.greenMaxOverScale);
    EXPECT_EQ(e1.color[2], 0.0f);
    // Without alpha bits, fragment alpha stays in the context's units.
    EXPECT_FLOAT_EQ(e1.color[3], ctx->visual.alphaBits > 0 ? s.alphaScale * s.alphaMaxOverScale : s.alphaScale);
    const GLint ci[4] = {INT_MAX, 0, INT_MIN, -5};
    GL(glTexEnviv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, ci);
    EXPECT_FLOAT_EQ(e1.color[0], s.redScale * s.redMaxOverScale);
    EXPECT_EQ(e1.color[2], 0.0f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    settle();
    ctx->beginMode = kGlInsideBegin;
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    ctx->beginMode = kGlOutsideBegin;
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->state.textures.env[1][0].mode, GLenum(GL_DECAL));
    EXPECT_EQ(__glTexEnvParamCount(GL_TEXTURE_ENV_COLOR), 4);
    EXPECT_EQ(__glTexEnvivParamCount(GL_TEXTURE_ENV_MODE), 1);
    EXPECT_EQ(__glTexEnvParamCount(GL_TEXTURE_WRAP_S), -1);
}

TEST_F(TextureParams, QueriesAnswerFromTheUnitsEnvironmentAndTheObject) {
    const GLfloat c[4] = {0.25f, 0.5f, 1.0f, 0.0f};
    GL(glTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
    ctx->state.unitSelect.activeTexture = 1;
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    GLint mode = 0;
    GL(glGetTexEnviv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_REPLACE);
    GLfloat back[4] = {-1, -1, -1, -1};
    GL(glGetTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, back);
    EXPECT_EQ(back[0], 0.0f);  // unit 1 keeps its own colour
    ctx->state.unitSelect.activeTexture = 0;
    GL(glGetTexEnviv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_MODULATE);
    GL(glGetTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, back);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(back[i], c[i], 1e-6f) << i;
    // A fresh object is not loaded on the chip, and its levels answer as empty.
    GL(glBindTexture)(GL_TEXTURE_2D, 9);
    GLint v = -1;
    GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_RESIDENT, &v);
    EXPECT_EQ(v, GL_FALSE);
    GL(glGetTexLevelParameteriv)(GL_TEXTURE_2D, 10, GL_TEXTURE_WIDTH, &v);
    EXPECT_EQ(v, 0);
    GL(glGetTexLevelParameteriv)(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPONENTS, &v);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

}  // namespace
