// Entries with rules of their own: draw-buffer resolution per visual, lights, the light model
// and materials, the procs that enables and colour material run at once, and glClear.
#include <climits>
#include <functional>
#include "tests/icd_state/state_fixture.h"

namespace {

constexpr GLenum kBogus = 0x1234;

// ---- glDrawBuffer ------------------------------------------------------------------------------

struct DrawBufferRow {
    GLenum mode;
    GLenum doubleResult;  // resolved buffer, or the error (GL_INVALID_*) on a double-buffered visual
    GLenum singleResult;
};

bool isError(GLenum v) { return v >= GL_INVALID_ENUM && v <= GL_INVALID_OPERATION; }

const DrawBufferRow kDrawBuffers[] = {
    {GL_NONE, GL_NONE, GL_NONE},
    {GL_FRONT_LEFT, GL_FRONT, GL_FRONT},
    {GL_FRONT, GL_FRONT, GL_FRONT},
    {GL_BACK_LEFT, GL_BACK, GL_INVALID_OPERATION},
    {GL_BACK, GL_BACK, GL_INVALID_OPERATION},
    {GL_LEFT, GL_FRONT_AND_BACK, GL_FRONT},
    {GL_FRONT_AND_BACK, GL_FRONT_AND_BACK, GL_FRONT},
    {GL_FRONT_RIGHT, GL_INVALID_OPERATION, GL_INVALID_OPERATION},
    {GL_BACK_RIGHT, GL_INVALID_OPERATION, GL_INVALID_OPERATION},
    {GL_RIGHT, GL_INVALID_OPERATION, GL_INVALID_OPERATION},
    {GL_AUX0, GL_INVALID_OPERATION, GL_INVALID_OPERATION},
    {GL_AUX3, GL_INVALID_OPERATION, GL_INVALID_OPERATION},
    {GL_AUX3 + 1, GL_INVALID_ENUM, GL_INVALID_ENUM},
    {GL_COLOR, GL_INVALID_ENUM, GL_INVALID_ENUM},
};

class DrawBuffer : public StateTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        IcdTest::SetUp();
        open(GetParam());
    }
};

TEST_P(DrawBuffer, ResolvesPerVisual) {
    bool twoBuffers = GetParam() == kDoubleFormat;
    for (const DrawBufferRow &row : kDrawBuffers) {
        SCOPED_TRACE(testing::Message() << "mode 0x" << std::hex << row.mode);
        settle();
        ctx->state.mode.drawBuffer = GL_FRONT;
        ctx->state.color.drawBufferRequested = GL_FRONT_LEFT;
        GLenum want = twoBuffers ? row.doubleResult : row.singleResult;
        GL(glDrawBuffer)(row.mode);
        if (isError(want)) {
            EXPECT_EQ(ctx->error, want);
            EXPECT_EQ(ctx->state.mode.drawBuffer, GLenum(GL_FRONT));
            EXPECT_EQ(ctx->state.color.drawBufferRequested, GLenum(GL_FRONT_LEFT));
            EXPECT_EQ(ctx->dirtyMask, 0u);
        } else {
            EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
            EXPECT_EQ(ctx->state.mode.drawBuffer, want);
            EXPECT_EQ(ctx->state.color.drawBufferRequested, row.mode);
            EXPECT_EQ(ctx->dirtyMask, 0x1u);
            EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Visuals, DrawBuffer, ::testing::Values(kSingleFormat, kDoubleFormat),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::string(info.param == kDoubleFormat ? "DoubleBuffered" : "SingleBuffered");
                         });

// ---- lights, light model, materials ------------------------------------------------------------

class Lighting : public StateTest {
protected:
    GlLightSource &light(int i) { return __glLightSources(ctx)[i]; }
    GlMaterial &front() { return ctx->state.lighting.frontMaterial; }
    GlMaterial &back() { return ctx->state.lighting.backMaterial; }
};

// Colours are scaled by the colour-buffer scales (255 here) without clamping; integer colours
// map i to (2i + 1) / (2^32 - 1) first, so the largest integer is exactly 1.
TEST_F(Lighting, LightColoursAndRanges) {
    settle();
    const GLfloat diffuse[4] = {1.0f, 0.5f, -0.25f, 2.0f};
    GL(glLightfv)(GL_LIGHT1, GL_DIFFUSE, diffuse);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    EXPECT_EQ(ctx->dirtyMask, 0x20u);
    EXPECT_EQ(light(1).diffuse[0], 255.0f);
    EXPECT_EQ(light(1).diffuse[1], 127.5f);
    EXPECT_EQ(light(1).diffuse[2], -63.75f);
    EXPECT_EQ(light(1).diffuse[3], 510.0f);
    const GLint ambient[4] = {INT_MAX, INT_MIN, 0, -1};
    GL(glLightiv)(GL_LIGHT7, GL_AMBIENT, ambient);
    EXPECT_EQ(light(7).ambient[0], 255.0f);
    EXPECT_EQ(light(7).ambient[1], -255.0f);
    EXPECT_NEAR(light(7).ambient[2], 255.0 / 4294967295.0, 1e-12);
    EXPECT_NEAR(light(7).ambient[3], -255.0 / 4294967295.0, 1e-12);

    struct Row {
        GLenum pname;
        float value;
        GLenum error;
    } rows[] = {
        {GL_SPOT_CUTOFF, 180.0f, GL_NO_ERROR}, {GL_SPOT_CUTOFF, 90.0f, GL_NO_ERROR},
        {GL_SPOT_CUTOFF, -0.0f, GL_NO_ERROR},  {GL_SPOT_CUTOFF, 91.0f, GL_INVALID_VALUE},
        {GL_SPOT_CUTOFF, 179.0f, GL_INVALID_VALUE}, {GL_SPOT_CUTOFF, -1.0f, GL_INVALID_VALUE},
        {GL_SPOT_EXPONENT, 128.0f, GL_NO_ERROR}, {GL_SPOT_EXPONENT, 128.00002f, GL_INVALID_VALUE},
        {GL_QUADRATIC_ATTENUATION, 0.0f, GL_NO_ERROR}, {GL_LINEAR_ATTENUATION, -0.5f, GL_INVALID_VALUE},
        {GL_POSITION, 1.0f, GL_INVALID_ENUM},  {GL_AMBIENT, 1.0f, GL_INVALID_ENUM},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "pname 0x" << std::hex << r.pname << " value " << r.value);
        settle();
        GlLightSource before = light(0);
        GL(glLightf)(GL_LIGHT0, r.pname, r.value);
        EXPECT_EQ(ctx->error, r.error);
        if (r.error != GL_NO_ERROR) {
            EXPECT_EQ(std::memcmp(&before, &light(0), sizeof(before)), 0);
            EXPECT_EQ(ctx->dirtyMask, 0u);
        } else {
            EXPECT_EQ(ctx->dirtyMask, 0x20u);
        }
    }
    EXPECT_EQ(light(0).spotExponent, 128.0f);
    settle();
    GL(glLighti)(GL_LIGHT0 + 8, GL_SPOT_EXPONENT, 1);
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_ENUM));
}

// Position and spot direction are taken into eye space with the modelview matrix in force at
// the call; a later matrix change does not move them.
TEST_F(Lighting, PositionAndSpotDirectionInEyeSpace) {
    settle();
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glLoadIdentity)();
    GL(glTranslatef)(1.0f, 2.0f, 3.0f);
    GL(glRotatef)(90.0f, 0.0f, 0.0f, 1.0f);
    const GLfloat position[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    GL(glLightfv)(GL_LIGHT2, GL_POSITION, position);
    const GLint direction[3] = {1, 0, 0};
    GL(glLightiv)(GL_LIGHT2, GL_SPOT_DIRECTION, direction);
    EXPECT_EQ(ctx->dirtyMask & 0x20u, 0x20u);
    GL(glLoadIdentity)();  // validates the changes before the matrix changes
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    const GlLightSource &l = light(2);
    EXPECT_EQ(l.position[0], 1.0f);
    const float eye[4] = {1.0f, 3.0f, 3.0f, 1.0f};  // rotated to (0, 1, 0), then translated
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(l.eyePosition[i], eye[i], 1e-6) << i;
    // The direction turns with the rotation; being a direction, the translation leaves it.
    EXPECT_NEAR(l.spotDirection[0], 0.0f, 1e-6);
    EXPECT_NEAR(l.spotDirection[1], 1.0f, 1e-6);
    EXPECT_NEAR(l.spotDirection[2], 0.0f, 1e-6);
    EXPECT_EQ(l.spotDirection[3], 0.0f);
}

TEST_F(Lighting, LightModel) {
    const GlLightModel &m = ctx->state.lighting.lightModel;
    settle();
    GL(glLightModelf)(GL_LIGHT_MODEL_TWO_SIDE, 0.25f);
    EXPECT_EQ(m.twoSide, 1);
    GL(glLightModelf)(GL_LIGHT_MODEL_TWO_SIDE, -0.0f);
    EXPECT_EQ(m.twoSide, 0);
    GL(glLightModeli)(GL_LIGHT_MODEL_LOCAL_VIEWER, 7);
    EXPECT_EQ(m.localViewer, 1);
    const GLfloat ambient[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    GL(glLightModelfv)(GL_LIGHT_MODEL_AMBIENT, ambient);
    EXPECT_EQ(m.ambient[1], 0.4f * 255.0f);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    EXPECT_EQ(ctx->dirtyMask, 0x20u);
    settle();
    GL(glLightModeli)(GL_LIGHT_MODEL_AMBIENT, 1);
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_ENUM));
    settle();
    GL(glLightModelfv)(kBogus, ambient);
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(ctx->dirtyMask, 0u);
}

// Materials are stored back first, then front; they mark nothing (they are allowed inside
// glBegin/glEnd), the emission is kept in colour-buffer units and the indexes in the order
// ambient, specular, diffuse.
TEST_F(Lighting, MaterialStores) {
    settle();
    const GLfloat color[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    GL(glMaterialfv)(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, color);
    for (GlMaterial *m : {&front(), &back()}) {
        EXPECT_EQ(m->ambient[2], 0.3f);
        EXPECT_EQ(m->diffuse[3], 0.4f);
    }
    const GLint white[4] = {INT_MAX, INT_MAX, INT_MAX, INT_MAX};
    GL(glMaterialiv)(GL_BACK, GL_SPECULAR, white);
    EXPECT_EQ(back().specular[0], 1.0f);
    EXPECT_EQ(front().specular[0], 0.0f);
    const GLfloat emission[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    GL(glMaterialfv)(GL_FRONT, GL_EMISSION, emission);
    EXPECT_EQ(front().emission[1], 127.5f);
    const GLfloat indexes[3] = {1.0f, 2.0f, 3.0f};
    GL(glMaterialfv)(GL_FRONT, GL_COLOR_INDEXES, indexes);
    EXPECT_EQ(front().ambientIndex, 1.0f);
    EXPECT_EQ(front().diffuseIndex, 2.0f);
    EXPECT_EQ(front().specularIndex, 3.0f);
    GL(glMateriali)(GL_FRONT, GL_SHININESS, 128);
    EXPECT_EQ(front().shininess, 128.0f);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    EXPECT_EQ(ctx->dirtyMask, 0u);
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
    // The index shift and offset choose between the colour-index lighting procs: setting either
    // asks for the lighting to be validated again.
    GL(glMateriali)(GL_BACK, GL_INDEX_SHIFT, -2);
    GL(glMateriali)(GL_BACK, GL_INDEX_OFFSET, 5);
    EXPECT_EQ(back().indexShift, -2.0f);
    EXPECT_EQ(back().indexOffset, 5.0f);
    EXPECT_EQ(ctx->dirtyMask, uint32_t(kGlDirtyLighting));
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    settle();

    const GLfloat negative = -1.0f;
    struct Row {
        const char *what;
        std::function<void()> call;
        GLenum error;
    } rows[] = {
        {"shininess above 128", [&] { GL(glMaterialf)(GL_FRONT, GL_SHININESS, 128.5f); }, GL_INVALID_VALUE},
        {"integer shininess above 128", [&] { GL(glMateriali)(GL_FRONT, GL_SHININESS, 129); }, GL_INVALID_VALUE},
        {"negative shininess", [&] { GL(glMaterialfv)(GL_BACK, GL_SHININESS, &negative); }, GL_INVALID_VALUE},
        {"index shift as a float scalar", [&] { GL(glMaterialf)(GL_FRONT, GL_INDEX_SHIFT, 1.0f); }, GL_INVALID_ENUM},
        {"bad face", [&] { GL(glMaterialfv)(GL_LEFT, GL_AMBIENT, color); }, GL_INVALID_ENUM},
        {"bad pname", [&] { GL(glMaterialfv)(GL_FRONT, GL_POSITION, color); }, GL_INVALID_ENUM},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        settle();
        GlLightingState before = ctx->state.lighting;
        r.call();
        EXPECT_EQ(ctx->error, r.error);
        if (r.error != GL_NO_ERROR) {
            EXPECT_EQ(std::memcmp(&before, &ctx->state.lighting, sizeof(before)), 0);
        }
    }
}

// Inside glBegin/glEnd the open primitive's vertices are finished with the old material first;
// with colour material on, the material takes the current colour again afterwards.
float seenShininess = -1.0f;
void finishPending(GlContext *ctx) {
    seenShininess = ctx->state.lighting.frontMaterial.shininess;
    procLog().push_back("completePending");
}
constexpr char kApplyColor[] = "applyColor";

TEST_F(Lighting, MaterialInsideBeginFinishesPendingVertices) {
    settle();
    ctx->slots.completePending = finishPending;
    ctx->slots.applyColor = recordProc<kApplyColor>;
    ctx->state.lighting.frontMaterial.shininess = 10.0f;
    ctx->beginMode = kGlInsideBegin;
    ctx->state.need.needMaskPending = 0;
    GL(glMaterialf)(GL_FRONT, GL_SHININESS, 20.0f);
    EXPECT_TRUE(procLog().empty());  // nothing pending, colour material off
    ctx->state.need.needMaskPending = 0x1;
    ctx->state.enable.enables |= kGlEnableColorMaterial;
    GL(glMaterialf)(GL_FRONT, GL_SHININESS, 30.0f);
    EXPECT_EQ(seenShininess, 20.0f);
    EXPECT_EQ(procLog(), (std::vector<std::string>{"completePending", "applyColor"}));
    EXPECT_EQ(ctx->state.lighting.frontMaterial.shininess, 30.0f);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    EXPECT_EQ(ctx->beginMode, kGlInsideBegin);
}

// ---- procs run at once -------------------------------------------------------------------------

constexpr char kPick[] = "pickColorMaterial";
constexpr char kClipBox[] = "computeClipBox";
constexpr char kScissor[] = "scissorChanged";

class RunsAtOnce : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        ctx->slots.pickColorMaterial = recordProc<kPick>;
        ctx->slots.applyColor = recordProc<kApplyColor>;
        ctx->slots.computeClipBox = recordProc<kClipBox>;
        ctx->slots.scissorChanged = recordProc<kScissor>;
    }
    std::vector<std::string> logOf(const std::function<void()> &call) {
        settle();
        call();
        return procLog();
    }
    using Log = std::vector<std::string>;
};

TEST_F(RunsAtOnce, ColourMaterialAndScissor) {
    EXPECT_EQ(logOf([&] { GL(glEnable)(GL_LIGHTING); }), (Log{kPick, kApplyColor}));
    EXPECT_EQ(logOf([&] { GL(glDisable)(GL_LIGHTING); }), (Log{kPick, kApplyColor}));
    EXPECT_EQ(logOf([&] { GL(glColorMaterial)(GL_FRONT, GL_EMISSION); }), Log{});  // colour material off
    EXPECT_EQ(ctx->state.mode.colorMaterialParam, GLenum(GL_EMISSION));
    EXPECT_EQ(ctx->dirtyMask, 0u);
    EXPECT_EQ(logOf([&] { GL(glEnable)(GL_COLOR_MATERIAL); }), (Log{kPick, kApplyColor}));
    EXPECT_EQ(ctx->dirtyMask, 0x20u);
    EXPECT_EQ(logOf([&] { GL(glColorMaterial)(GL_BACK, GL_DIFFUSE); }), (Log{kPick, kApplyColor}));
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
    EXPECT_EQ(logOf([&] { GL(glColorMaterial)(GL_BACK, GL_SHININESS); }), Log{});
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(ctx->state.mode.colorMaterialFace, GLenum(GL_BACK));
    EXPECT_EQ(logOf([&] { GL(glDisable)(GL_COLOR_MATERIAL); }), (Log{kPick}));

    EXPECT_EQ(logOf([&] { GL(glEnable)(GL_SCISSOR_TEST); }), (Log{kClipBox, kScissor}));
    EXPECT_EQ(ctx->dirtyMask, 0x101u);
    EXPECT_EQ(logOf([&] { GL(glEnable)(GL_SCISSOR_TEST); }), Log{});  // already on
    EXPECT_EQ(ctx->dirtyMask, 0u);
    EXPECT_EQ(logOf([&] { GL(glDisable)(GL_SCISSOR_TEST); }), (Log{kClipBox, kScissor}));
}

TEST_F(RunsAtOnce, CullFaceMarksOnlyAChange) {
    settle();
    GL(glEnable)(GL_CULL_FACE);
    EXPECT_EQ(ctx->dirtyMask, 0x4u);
    settle();
    GL(glEnable)(GL_CULL_FACE);
    EXPECT_EQ(ctx->dirtyMask, 0u);
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
    GL(glDisable)(GL_CULL_FACE);
    EXPECT_EQ(ctx->dirtyMask, 0x4u);
    settle();
    GL(glDisable)(GL_CULL_FACE);
    EXPECT_EQ(ctx->dirtyMask, 0u);
}

// ---- glClear -----------------------------------------------------------------------------------

GLbitfield redispatchedMask = 0;
int redispatchCount = 0;
void APIENTRY deviceClear(GLbitfield mask) {
    redispatchedMask = mask;
    redispatchCount += 1;
}
constexpr char kValidate[] = "validate";

TEST_F(RunsAtOnce, ClearValidatesThenGoesThroughTheLiveSlot) {
    settle();
    ctx->slots.validate = recordProc<kValidate>;
    ctx->liveTable.slot[slot::glClear] = reinterpret_cast<GlEntry>(deviceClear);
    ctx->beginMode = kGlNeedValidate;
    redispatchCount = 0;
    icd::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    EXPECT_EQ(procLog(), (Log{kValidate}));
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
    EXPECT_EQ(redispatchCount, 1);
    EXPECT_EQ(redispatchedMask, GLbitfield(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    // Validated: the clear goes ahead without validating again.
    settle();
    icd::glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(procLog().empty());
    EXPECT_EQ(redispatchCount, 1);
}

TEST_F(RunsAtOnce, ClearErrorsAndRenderMode) {
    struct Row {
        const char *what;
        GlBeginMode beginMode;
        GLenum renderMode;
        GLbitfield mask;
        GLenum error;
    } rows[] = {
        {"inside begin", kGlInsideBegin, GL_RENDER, GL_COLOR_BUFFER_BIT, GL_INVALID_OPERATION},
        {"bit outside the four buffers", kGlOutsideBegin, GL_RENDER, GL_COLOR_BUFFER_BIT | 0x1, GL_INVALID_VALUE},
        {"all four buffers", kGlOutsideBegin, GL_RENDER, 0x4700, GL_NO_ERROR},
        {"select mode does nothing", kGlOutsideBegin, GL_SELECT, GL_COLOR_BUFFER_BIT, GL_NO_ERROR},
        {"feedback mode still checks the mask", kGlOutsideBegin, GL_FEEDBACK, 0x8000, GL_INVALID_VALUE},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        settle();
        ctx->beginMode = r.beginMode;
        ctx->renderMode = r.renderMode;
        GL(glClear)(r.mask);
        EXPECT_EQ(ctx->error, r.error);
        EXPECT_EQ(ctx->beginMode, r.beginMode);
        EXPECT_EQ(ctx->dirtyMask, 0u);
    }
    ctx->renderMode = GL_RENDER;
}

}  // namespace
