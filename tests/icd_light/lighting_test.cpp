// Lit RGBA colours of both faces against the double-precision lighting equation, for a table of
// light, material and light-model set-ups made through the GL entries; the lighting proc each
// set-up installs; the spot direction under a non-uniform modelview matrix.
#include <array>
#include "tests/icd_light/light_fixture.h"

namespace {

struct LightSetup {
    const char *name;
    std::vector<RefLight> lights;  // GL_LIGHT0.. in order, all enabled
    RefMaterial front, back;
    RefModel model;
    GlFaceColorProc expected;
};

RefLight directional(std::array<double, 3> dir, std::array<double, 3> diffuse, std::array<double, 3> specular,
                     std::array<double, 3> ambient = {0, 0, 0}) {
    RefLight l;
    for (int i = 0; i < 3; ++i) {
        l.position[i] = dir[i];
        l.diffuse[i] = diffuse[i];
        l.specular[i] = specular[i];
        l.ambient[i] = ambient[i];
    }
    l.position[3] = 0;
    return l;
}

RefLight positional(std::array<double, 3> at, std::array<double, 3> attenuation, std::array<double, 3> diffuse = {1, 1, 1}) {
    RefLight l = directional(at, diffuse, {0.8, 0.8, 0.8}, {0.05, 0.05, 0.05});
    l.position[3] = 1;
    for (int i = 0; i < 3; ++i) l.attenuation[i] = attenuation[i];
    return l;
}

RefLight spot(std::array<double, 3> at, std::array<double, 3> direction, double cutoff, double exponent) {
    RefLight l = positional(at, {1, 0, 0});
    for (int i = 0; i < 3; ++i) l.spotDirection[i] = direction[i];
    l.spotCutoff = cutoff;
    l.spotExponent = exponent;
    return l;
}

RefMaterial shiny(double shininess, std::array<double, 3> specular = {0.6, 0.6, 0.6}) {
    RefMaterial m;
    for (int i = 0; i < 3; ++i) m.specular[i] = specular[i];
    m.shininess = shininess;
    return m;
}

RefMaterial backMaterial() {
    RefMaterial m;
    double ambient[4] = {0.1, 0.3, 0.1, 1}, diffuse[4] = {0.2, 0.9, 0.2, 0.4}, specular[4] = {0.7, 0.5, 0.7, 1},
           emission[4] = {0.05, 0, 0.02, 1};
    std::copy(ambient, ambient + 4, m.ambient);
    std::copy(diffuse, diffuse + 4, m.diffuse);
    std::copy(specular, specular + 4, m.specular);
    std::copy(emission, emission + 4, m.emission);
    m.shininess = 5;
    return m;
}

RefMaterial frontWithEmission() {
    RefMaterial m = shiny(30);
    m.emission[1] = 0.1;
    m.diffuse[3] = 0.75;
    return m;
}

RefModel localViewer() {
    RefModel m;
    m.localViewer = true;
    return m;
}

RefModel darkModel() {
    RefModel m;
    m.ambient[0] = 0.3, m.ambient[1] = 0.1, m.ambient[2] = 0.0;
    return m;
}

std::vector<RefLight> eightLights() {
    std::vector<RefLight> l;
    l.push_back(directional({0, 0, 1}, {0.3, 0.1, 0.1}, {0.2, 0.2, 0.2}, {0.02, 0, 0}));
    l.push_back(positional({1, 2, 0}, {0.5, 0.1, 0.05}, {0.1, 0.3, 0.1}));
    l.push_back(spot({0, 3, -3}, {0, -1, 0}, 35, 8));
    l.push_back(directional({-1, 1, 0.5}, {0.1, 0.1, 0.3}, {0.3, 0.3, 0.3}));
    l.push_back(positional({-2, 0, -1}, {1, 0, 0.2}, {0.2, 0.2, 0.0}));
    l.push_back(spot({0, 0, 0}, {0, 0, -1}, 20, 0));
    l.push_back(directional({0.5, -1, 1}, {0.1, 0.2, 0.1}, {0, 0, 0}));
    l.push_back(positional({0, 0, -8}, {0, 0.25, 0}, {0.1, 0.1, 0.1}));
    return l;
}

const LightSetup kSetups[] = {
    {"Directional", {directional({1, 2, 3}, {0.9, 0.8, 0.7}, {1, 1, 1}, {0.1, 0.1, 0.1})}, shiny(20), RefMaterial(),
     RefModel(), __glLightVertexRgbaInfinite},
    {"TwoDirectionalShininess128",
     {directional({0, 0, 1}, {0.5, 0.2, 0.2}, {1, 1, 1}), directional({-1, 1, 0.5}, {0.2, 0.2, 0.6}, {0.5, 1, 0.5})},
     shiny(128, {1, 1, 1}), shiny(1), RefModel(), __glLightVertexRgbaInfinite},
    {"PositionalAttenuated", {positional({1, 2, 0}, {0.5, 0.1, 0.05})}, shiny(10), RefMaterial(), RefModel(),
     __glLightVertexRgba},
    {"Spot", {spot({0, 3, -3}, {0, -1, 0}, 35, 8)}, shiny(16), RefMaterial(), RefModel(), __glLightVertexRgba},
    {"SpotHalfSpace", {spot({0, 0, -4}, {1, 0, 0}, 90, 0)}, RefMaterial(), RefMaterial(), RefModel(),
     __glLightVertexRgba},
    {"LocalViewer", {directional({1, 2, 3}, {0.9, 0.8, 0.7}, {1, 1, 1})}, shiny(40), RefMaterial(), localViewer(),
     __glLightVertexRgba},
    {"TwoSidedMaterials", {directional({0, 1, 1}, {1, 1, 1}, {1, 1, 1}), positional({0, -2, -3}, {1, 0.2, 0})},
     frontWithEmission(), backMaterial(), darkModel(), __glLightVertexRgba},
    {"EightLights", eightLights(), shiny(60), backMaterial(), RefModel(), __glLightVertexRgba},
    {"NoLights", {}, frontWithEmission(), backMaterial(), darkModel(), __glLightVertexRgbaInfinite},
};

const double kEyes[][4] = {{-1, -1, -5, 1}, {0, 0, -3, 1},   {1, 0.5, -4, 1},
                           {0.3, -0.7, -2, 1}, {2, 1, -6, 1}, {3, 0, -2, 1}};
// Vertices at infinity take the per-vertex path whatever the lights.
const double kEyesAtInfinity[][4] = {{0.5, 0.2, -1, 0}, {-0.3, 0.4, -1, 0}};
const double kNormals[][3] = {{0, 0, 1}, {0, 1, 0}, {1, 1, 1}, {-1, 0.5, 1}, {0.2, -0.3, 1}, {0, 0, -1}, {1, 0, 0.2}};

class Lighting : public LightTest, public ::testing::WithParamInterface<LightSetup> {
protected:
    void setMaterial(GLenum face, const RefMaterial &m) {
        float v[4];
        toFloats(v, m.ambient);
        GL(glMaterialfv)(face, GL_AMBIENT, v);
        toFloats(v, m.diffuse);
        GL(glMaterialfv)(face, GL_DIFFUSE, v);
        toFloats(v, m.specular);
        GL(glMaterialfv)(face, GL_SPECULAR, v);
        toFloats(v, m.emission);
        GL(glMaterialfv)(face, GL_EMISSION, v);
        GL(glMaterialf)(face, GL_SHININESS, float(m.shininess));
    }
    void apply(const LightSetup &s) {
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glLoadIdentity)();
        for (int i = 0; i < 8; ++i) {
            GLenum light = GL_LIGHT0 + i;
            if (size_t(i) >= s.lights.size()) {
                GL(glDisable)(light);
                continue;
            }
            const RefLight &l = s.lights[i];
            float v[4];
            toFloats(v, l.ambient);
            GL(glLightfv)(light, GL_AMBIENT, v);
            toFloats(v, l.diffuse);
            GL(glLightfv)(light, GL_DIFFUSE, v);
            toFloats(v, l.specular);
            GL(glLightfv)(light, GL_SPECULAR, v);
            toFloats(v, l.position);
            GL(glLightfv)(light, GL_POSITION, v);
            const float d[3] = {float(l.spotDirection[0]), float(l.spotDirection[1]), float(l.spotDirection[2])};
            GL(glLightfv)(light, GL_SPOT_DIRECTION, d);
            GL(glLightf)(light, GL_SPOT_EXPONENT, float(l.spotExponent));
            GL(glLightf)(light, GL_SPOT_CUTOFF, float(l.spotCutoff));
            GL(glLightf)(light, GL_CONSTANT_ATTENUATION, float(l.attenuation[0]));
            GL(glLightf)(light, GL_LINEAR_ATTENUATION, float(l.attenuation[1]));
            GL(glLightf)(light, GL_QUADRATIC_ATTENUATION, float(l.attenuation[2]));
            GL(glEnable)(light);
        }
        setMaterial(GL_FRONT, s.front);
        setMaterial(GL_BACK, s.back);
        float ambient[4];
        toFloats(ambient, s.model.ambient);
        GL(glLightModelfv)(GL_LIGHT_MODEL_AMBIENT, ambient);
        GL(glLightModeli)(GL_LIGHT_MODEL_LOCAL_VIEWER, s.model.localViewer);
        GL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 1);
        GL(glEnable)(GL_LIGHTING);
        ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        validate();
    }
    void check(const LightSetup &s, const double eye[4]) {
        for (const auto &raw : kNormals) {
            double n[3] = {raw[0], raw[1], raw[2]};
            normalise(n);
            GlVertex v = litVertex(eye, n);
            faceColor()(ctx, 0, &v);
            faceColor()(ctx, 1, &v);
            double back[3] = {-n[0], -n[1], -n[2]};
            RefColor front = refLightRgba(s.lights, s.front, s.model, eye, n);
            RefColor rear = refLightRgba(s.lights, s.back, s.model, eye, back);
            SCOPED_TRACE(testing::Message() << "eye (" << eye[0] << ", " << eye[1] << ", " << eye[2] << ", " << eye[3]
                                            << ") normal (" << n[0] << ", " << n[1] << ", " << n[2] << ")");
            for (int i = 0; i < 3; ++i) {
                expectWithin(v.frontColor[i], front.rgb[i], "front");
                expectWithin(v.backColor[i], rear.rgb[i], "back");
            }
            EXPECT_FLOAT_EQ(v.frontColor[3], float(front.alpha));
            EXPECT_FLOAT_EQ(v.backColor[3], float(rear.alpha));
        }
    }
};

TEST_P(Lighting, MatchesTheLightingEquation) {
    const LightSetup &s = GetParam();
    apply(s);
    EXPECT_EQ(faceColor(), s.expected);
    EXPECT_EQ(ctx->slots.primitive.rasterFaceColor, s.expected);
    for (const auto &eye : kEyes) check(s, eye);
    if (s.expected == __glLightVertexRgba)
        for (const auto &eye : kEyesAtInfinity) check(s, eye);
}

INSTANTIATE_TEST_SUITE_P(Setups, Lighting, ::testing::ValuesIn(kSetups),
                         [](const ::testing::TestParamInfo<LightSetup> &info) { return std::string(info.param.name); });

// The spot direction is a direction: under a non-uniform scale it goes through the matrix
// (diag(2, 1, 1) takes (1, 1, 0) to (2, 1, 0)), not through its inverse transpose, which would
// give (0.5, 1, 0) and light the wrong cone.
TEST_F(LightTest, SpotDirectionTakesTheModelviewAsADirection) {
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glLoadIdentity)();
    GL(glScalef)(2.0f, 1.0f, 1.0f);
    const float position[4] = {0, 0, 0, 1};
    const float direction[3] = {1, 1, 0};
    GL(glLightfv)(GL_LIGHT0, GL_POSITION, position);
    GL(glLightfv)(GL_LIGHT0, GL_SPOT_DIRECTION, direction);
    GL(glLightf)(GL_LIGHT0, GL_SPOT_CUTOFF, 15.0f);
    GL(glLoadIdentity)();
    const GlLightSource &l = __glLightSources(ctx)[0];
    EXPECT_FLOAT_EQ(l.spotDirection[0], 2.0f);
    EXPECT_FLOAT_EQ(l.spotDirection[1], 1.0f);
    EXPECT_FLOAT_EQ(l.spotDirection[2], 0.0f);
    EXPECT_FLOAT_EQ(l.spotDirection[3], 0.0f);
    GL(glEnable)(GL_LIGHT0);
    GL(glEnable)(GL_LIGHTING);
    validate();
    const GlLightCache &cache = __glLightCaches(ctx)[0];
    EXPECT_NEAR(cache.spotDirection[0], 2.0 / std::sqrt(5.0), 1e-5);
    EXPECT_NEAR(cache.spotDirection[1], 1.0 / std::sqrt(5.0), 1e-5);

    RefLight ref = spot({0, 0, 0}, {2, 1, 0}, 15, 0);
    ref.position[3] = 1;
    ref.ambient[0] = ref.ambient[1] = ref.ambient[2] = 0;
    ref.diffuse[0] = ref.diffuse[1] = ref.diffuse[2] = 1;
    ref.specular[0] = ref.specular[1] = ref.specular[2] = 1;
    const double eye[4] = {4, 2, -0.1, 1};  // on the transformed axis
    const double n[3] = {-2 / std::sqrt(5.0), -1 / std::sqrt(5.0), 0};
    GlVertex v = litVertex(eye, n);
    faceColor()(ctx, 0, &v);
    RefColor want = refLightRgba({ref}, RefMaterial(), RefModel(), eye, n);
    EXPECT_GT(want.rgb[0].lo, 150.0);  // inside the cone: lit
    for (int i = 0; i < 3; ++i) expectWithin(v.frontColor[i], want.rgb[i], "spot");
}

// A light with all three attenuation factors 0 is not attenuated: no division by zero, no
// infinite or undefined colour.
TEST_F(LightTest, ZeroAttenuationLeavesTheLightUnattenuated) {
    const float position[4] = {0, 0, 0, 1};
    GL(glLightfv)(GL_LIGHT0, GL_POSITION, position);
    GL(glLightf)(GL_LIGHT0, GL_CONSTANT_ATTENUATION, 0.0f);
    GL(glEnable)(GL_LIGHT0);
    GL(glEnable)(GL_LIGHTING);
    validate();
    const double eye[4] = {0, 0, -10, 1}, n[3] = {0, 0, 1};
    GlVertex v = litVertex(eye, n);
    faceColor()(ctx, 0, &v);
    RefLight ref = positional({0, 0, 0}, {1, 0, 0});
    ref.ambient[0] = ref.ambient[1] = ref.ambient[2] = 0;
    ref.specular[0] = ref.specular[1] = ref.specular[2] = 1;
    RefColor want = refLightRgba({ref}, RefMaterial(), RefModel(), eye, n);
    for (int i = 0; i < 3; ++i) expectWithin(v.frontColor[i], want.rgb[i], "unattenuated");
}

// Which lighting proc validation installs, by mode and lights.
TEST_F(LightTest, PickerChoosesByModeAndLights) {
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexNone);  // lighting off
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_LIGHT0);
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexRgbaInfinite);
    GL(glLightModeli)(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexRgba);
    GL(glLightModeli)(GL_LIGHT_MODEL_LOCAL_VIEWER, 0);
    GL(glLightf)(GL_LIGHT0, GL_SPOT_CUTOFF, 45.0f);
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexRgba);
    GL(glLightf)(GL_LIGHT0, GL_SPOT_CUTOFF, 180.0f);
    const float positional[4] = {1, 1, 1, -0.0f};  // w of either sign of zero: at infinity
    GL(glLightfv)(GL_LIGHT0, GL_POSITION, positional);
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexRgbaInfinite);

    ctx->visual.colorIndexMode = 1;
    ctx->visual.rgbaMode = 0;
    ctx->dirtyMask |= kGlDirtyLighting;
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexIndexInfiniteFast);
    const float negativeZero = -0.0f;
    GL(glMaterialfv)(GL_BACK, GL_INDEX_OFFSET, &negativeZero);  // either zero counts as none
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexIndexInfiniteFast);
    GL(glMateriali)(GL_BACK, GL_INDEX_SHIFT, 1);
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexIndexInfinite);
    GL(glLightf)(GL_LIGHT0, GL_SPOT_CUTOFF, 45.0f);
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexIndex);
    EXPECT_EQ(ctx->slots.primitive.rasterFaceColor, __glLightVertexIndex);
}

// The enabled lights are chained in light-number order, and the infinite ones get their unit
// direction and half vector; the object-space vectors follow the modelview inverse.
TEST_F(LightTest, LightListAndObjectSpaceVectors) {
    GL(glEnable)(GL_LIGHT5);
    GL(glEnable)(GL_LIGHT2);
    const float dir[4] = {0, 3, 4, 0};
    GL(glLightfv)(GL_LIGHT5, GL_POSITION, dir);
    GL(glEnable)(GL_LIGHTING);
    validate();
    GlLightCache *list = caches().lightList;
    ASSERT_EQ(list, &__glLightCaches(ctx)[2]);
    ASSERT_EQ(list->next, &__glLightCaches(ctx)[5]);
    EXPECT_EQ(list->next->next, nullptr);
    const GlLightCache &l5 = __glLightCaches(ctx)[5];
    EXPECT_NEAR(l5.lightDirection[1], 0.6, 1e-5);
    EXPECT_NEAR(l5.lightDirection[2], 0.8, 1e-5);
    double h[3] = {0, 0.6, 1.8};
    normalise(h);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(l5.halfVector[i], h[i], 1e-5);
    // Rotating the modelview 90 degrees about x: the object-space direction is the eye-space
    // one turned back, R^-1 (0, 0.6, 0.8) = (0, 0.8, -0.6).
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glRotatef)(90.0f, 1.0f, 0.0f, 0.0f);
    GlTransform *t = ctx->state.transform.modelView;
    __glUpdateModelViewInverse(ctx, t);
    EXPECT_NEAR(l5.objectLightDirection[0], 0.0, 1e-5);
    EXPECT_NEAR(l5.objectLightDirection[1], 0.8, 1e-5);
    EXPECT_NEAR(l5.objectLightDirection[2], -0.6, 1e-5);
    EXPECT_NEAR(l5.objectHalfVector[1], h[2], 1e-5);
    EXPECT_NEAR(l5.objectHalfVector[2], -h[1], 1e-5);
}

// The colours kept in colour-buffer units were converted once at the first make-current.
TEST_F(LightTest, FirstMakeCurrentScalesTheLightingColours) {
    const GlLightSource &l0 = __glLightSources(ctx)[0];
    EXPECT_EQ(l0.diffuse[0], 255.0f);
    EXPECT_EQ(l0.specular[3], 255.0f);
    EXPECT_EQ(__glLightSources(ctx)[1].diffuse[0], 0.0f);
    EXPECT_FLOAT_EQ(ctx->state.lighting.lightModel.ambient[0], 0.2f * 255.0f);
    EXPECT_EQ(ctx->state.lighting.frontMaterial.emission[3], 255.0f);
    EXPECT_EQ(ctx->state.lighting.frontMaterial.diffuse[0], 0.8f);  // as given
    EXPECT_EQ(ctx->current.rasterColor[1], 255.0f);
    EXPECT_EQ(ctx->current.vertex.rasterPos.frontColor[1], 255.0f);
    EXPECT_EQ(ctx->current.color[1], 1.0f);  // as given
    EXPECT_EQ(ctx->current.vertex.scaledColor[1], 255.0f);
}

}  // namespace
