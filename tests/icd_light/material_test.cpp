// Colour material per face and mode, the ambient total the generated code reads, the current
// colour's scaling when lighting is off, and colour-index lighting with its shift and offset.
#include "tests/icd_light/light_fixture.h"

namespace {

const float kTrack[4] = {0.3f, 0.6f, 0.9f, 0.5f};

class ColorMaterial : public LightTest {
protected:
    // Two lights, one of them local, and front and back materials that differ.
    std::vector<RefLight> lights;
    RefMaterial front, back;
    RefModel model;

    void SetUp() override {
        LightTest::SetUp();
        RefLight a;
        a.position[0] = 1, a.position[1] = 1, a.position[2] = 1, a.position[3] = 0;
        a.ambient[0] = 0.2, a.ambient[1] = 0.1, a.ambient[2] = 0.3;
        a.diffuse[0] = 0.8, a.diffuse[1] = 0.7, a.diffuse[2] = 0.6;
        a.specular[0] = 0.5, a.specular[1] = 0.5, a.specular[2] = 0.5;
        RefLight b;
        b.position[0] = 0, b.position[1] = -2, b.position[2] = -1, b.position[3] = 1;
        b.ambient[0] = 0.1, b.ambient[1] = 0.2, b.ambient[2] = 0.1;
        b.diffuse[0] = 0.3, b.diffuse[1] = 0.6, b.diffuse[2] = 0.9;
        b.attenuation[1] = 0.2;
        lights = {a, b};
        for (int i = 0; i < 2; ++i) {
            const RefLight &l = lights[i];
            float v[4];
            toFloats(v, l.position);
            GL(glLightfv)(GL_LIGHT0 + i, GL_POSITION, v);
            toFloats(v, l.ambient);
            GL(glLightfv)(GL_LIGHT0 + i, GL_AMBIENT, v);
            toFloats(v, l.diffuse);
            GL(glLightfv)(GL_LIGHT0 + i, GL_DIFFUSE, v);
            toFloats(v, l.specular);
            GL(glLightfv)(GL_LIGHT0 + i, GL_SPECULAR, v);
            GL(glLightf)(GL_LIGHT0 + i, GL_LINEAR_ATTENUATION, float(l.attenuation[1]));
            GL(glEnable)(GL_LIGHT0 + i);
        }
        front.specular[0] = front.specular[1] = front.specular[2] = 0.4;
        front.shininess = 12;
        front.emission[2] = 0.05;
        back.ambient[0] = 0.6, back.ambient[1] = 0.1, back.ambient[2] = 0.1;
        back.diffuse[0] = 0.1, back.diffuse[1] = 0.9, back.diffuse[2] = 0.2;
        back.shininess = 3;
        for (auto [face, m] : {std::pair{GLenum(GL_FRONT), &front}, std::pair{GLenum(GL_BACK), &back}}) {
            float v[4];
            toFloats(v, m->ambient);
            GL(glMaterialfv)(face, GL_AMBIENT, v);
            toFloats(v, m->diffuse);
            GL(glMaterialfv)(face, GL_DIFFUSE, v);
            toFloats(v, m->specular);
            GL(glMaterialfv)(face, GL_SPECULAR, v);
            toFloats(v, m->emission);
            GL(glMaterialfv)(face, GL_EMISSION, v);
            GL(glMaterialf)(face, GL_SHININESS, float(m->shininess));
        }
        GL(glEnable)(GL_LIGHTING);
        ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        validate();
    }

    void setCurrentColor(const float c[4]) {
        for (int i = 0; i < 4; ++i) ctx->current.color[i] = c[i];
        ctx->slots.applyColor(ctx);  // what glColor does after storing
    }

    void expectLitLike(const RefMaterial &f, const RefMaterial &b) {
        const double eyes[][4] = {{0, 0, -3, 1}, {1, -1, -4, 1}, {-0.5, 0.5, -2, 1}};
        const double normals[][3] = {{0, 0, 1}, {0.6, 0.8, 0}, {0, -0.6, 0.8}, {0, 0, -1}};
        for (const auto &eye : eyes) {
            for (const auto &n : normals) {
                GlVertex v = litVertex(eye, n);
                faceColor()(ctx, 0, &v);
                faceColor()(ctx, 1, &v);
                double reverse[3] = {-n[0], -n[1], -n[2]};
                RefColor wantFront = refLightRgba(lights, f, model, eye, n);
                RefColor wantBack = refLightRgba(lights, b, model, eye, reverse);
                for (int i = 0; i < 3; ++i) {
                    expectWithin(v.frontColor[i], wantFront.rgb[i], "front");
                    expectWithin(v.backColor[i], wantBack.rgb[i], "back");
                }
                EXPECT_FLOAT_EQ(v.frontColor[3], float(wantFront.alpha));
                EXPECT_FLOAT_EQ(v.backColor[3], float(wantBack.alpha));
            }
        }
    }

    // frontAmbientTotal: the front scene colour plus every light's ambient x material ambient.
    void expectAmbientTotal(const RefMaterial &f) {
        for (int i = 0; i < 3; ++i) {
            double sum = f.emission[i] + model.ambient[i] * f.ambient[i];
            for (const RefLight &l : lights) sum += l.ambient[i] * f.ambient[i];
            EXPECT_NEAR(caches().frontAmbientTotal[i], std::clamp(sum, 0.0, 1.0) * kScale, 1e-3) << i;
        }
    }
};

struct TrackRow {
    GLenum face;
    GLenum mode;
};

class ColorMaterialModes : public ColorMaterial, public ::testing::WithParamInterface<TrackRow> {};

// The current colour lands in the tracked field of the tracked faces, and the lit colours of
// both faces are those of the materials with that field replaced.
TEST_P(ColorMaterialModes, LitColoursFollowTheTrackedField) {
    TrackRow row = GetParam();
    GL(glColorMaterial)(row.face, row.mode);
    GL(glEnable)(GL_COLOR_MATERIAL);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    EXPECT_EQ(ctx->slots.applyColor,
              row.face == GL_FRONT_AND_BACK ? __glColorMaterialBothFaces : __glColorMaterialOneFace);
    setCurrentColor(kTrack);
    RefMaterial f = front, b = back;
    for (auto [faceBit, m] : {std::pair{GLenum(GL_FRONT), &f}, std::pair{GLenum(GL_BACK), &b}}) {
        if (row.face != faceBit && row.face != GL_FRONT_AND_BACK) continue;
        for (int i = 0; i < 4; ++i) {
            if (row.mode == GL_AMBIENT || row.mode == GL_AMBIENT_AND_DIFFUSE) m->ambient[i] = kTrack[i];
            if (row.mode == GL_DIFFUSE || row.mode == GL_AMBIENT_AND_DIFFUSE) m->diffuse[i] = kTrack[i];
            if (row.mode == GL_SPECULAR) m->specular[i] = kTrack[i];
            if (row.mode == GL_EMISSION) m->emission[i] = kTrack[i];
        }
    }
    const GlMaterial &stored = row.face == GL_BACK ? ctx->state.lighting.backMaterial : ctx->state.lighting.frontMaterial;
    if (row.mode == GL_EMISSION) {
        EXPECT_FLOAT_EQ(stored.emission[1], kTrack[1] * 255.0f);
    }
    if (row.mode == GL_SPECULAR) {
        EXPECT_EQ(stored.specular[2], kTrack[2]);
    }
    expectLitLike(f, b);
    expectAmbientTotal(f);
    // The lighting state unchanged otherwise: a rebuild from the records gives the same colours.
    ctx->dirtyMask |= kGlDirtyLighting;
    validate();
    expectLitLike(f, b);
}

const TrackRow kTrackRows[] = {
    {GL_FRONT, GL_AMBIENT},          {GL_FRONT, GL_DIFFUSE},   {GL_FRONT, GL_SPECULAR},
    {GL_FRONT, GL_EMISSION},         {GL_FRONT, GL_AMBIENT_AND_DIFFUSE},
    {GL_BACK, GL_AMBIENT},           {GL_BACK, GL_DIFFUSE},    {GL_BACK, GL_EMISSION},
    {GL_FRONT_AND_BACK, GL_SPECULAR}, {GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE},
};

INSTANTIATE_TEST_SUITE_P(Modes, ColorMaterialModes, ::testing::ValuesIn(kTrackRows),
                         [](const ::testing::TestParamInfo<TrackRow> &info) {
                             auto name = [](GLenum e) -> std::string {
                                 switch (e) {
                                 case GL_FRONT: return "Front";
                                 case GL_BACK: return "Back";
                                 case GL_FRONT_AND_BACK: return "Both";
                                 case GL_AMBIENT: return "Ambient";
                                 case GL_DIFFUSE: return "Diffuse";
                                 case GL_SPECULAR: return "Specular";
                                 case GL_EMISSION: return "Emission";
                                 default: return "AmbientAndDiffuse";
                                 }
                             };
                             return name(info.param.face) + name(info.param.mode);
                         });

// Changing only the front emission keeps every light's ambient product in the total.
TEST_F(ColorMaterial, EmissionChangeKeepsTheLightsInTheAmbientTotal) {
    expectAmbientTotal(front);
    const float emission[4] = {0.1f, 0.2f, 0.0f, 1.0f};
    GL(glMaterialfv)(GL_FRONT, GL_EMISSION, emission);
    RefMaterial f = front;
    for (int i = 0; i < 4; ++i) f.emission[i] = emission[i];
    expectAmbientTotal(f);
    expectLitLike(f, back);
}

// A glMaterial inside glBegin/glEnd, or a tracked colour, first finishes the vertices the open
// primitive holds, with the material they were given.
float seenAmbient = -1.0f;
void recordAmbient(GlContext *ctx) { seenAmbient = ctx->state.lighting.frontMaterial.ambient[0]; }

TEST_F(ColorMaterial, PendingVerticesAreFinishedWithTheOldMaterial) {
    GL(glColorMaterial)(GL_FRONT, GL_AMBIENT);
    GL(glEnable)(GL_COLOR_MATERIAL);
    ctx->slots.completePending = recordAmbient;
    ctx->beginMode = kGlInsideBegin;
    ctx->state.need.needMaskPending = kGlVertexFrontColorDone;
    float before = ctx->state.lighting.frontMaterial.ambient[0];
    seenAmbient = -1.0f;
    setCurrentColor(kTrack);
    EXPECT_EQ(seenAmbient, before);
    EXPECT_EQ(ctx->state.lighting.frontMaterial.ambient[0], kTrack[0]);
    ctx->state.need.needMaskPending = 0;
    ctx->beginMode = kGlOutsideBegin;
}

// Without colour material the current colour is scaled for the vertices (lighting off) or not
// used (lighting on); in colour-index mode there is nothing to do.
TEST_F(ColorMaterial, CurrentColourScaling) {
    GL(glDisable)(GL_LIGHTING);
    EXPECT_EQ(ctx->slots.applyColor, __glScaleCurrentColor);
    const float c[4] = {-0.5f, 0.5f, 1.5f, -0.0f};
    setCurrentColor(c);
    const float *scaled = ctx->current.vertex.scaledColor;
    EXPECT_EQ(scaled[0], 0.0f);
    EXPECT_EQ(scaled[1], 127.5f);
    EXPECT_EQ(scaled[2], 255.0f);
    EXPECT_EQ(scaled[3], 0.0f);
    // Colour material with lighting off: the material follows and so does the scaled colour.
    GL(glEnable)(GL_COLOR_MATERIAL);
    setCurrentColor(kTrack);
    EXPECT_FLOAT_EQ(scaled[2], kTrack[2] * 255.0f);
    EXPECT_EQ(ctx->state.lighting.backMaterial.diffuse[1], kTrack[1]);
    GL(glDisable)(GL_COLOR_MATERIAL);
    GL(glEnable)(GL_LIGHTING);
    EXPECT_EQ(ctx->slots.applyColor, __glNopProc);
    ctx->visual.colorIndexMode = 1;
    ctx->visual.rgbaMode = 0;
    GL(glEnable)(GL_COLOR_MATERIAL);
    EXPECT_EQ(ctx->slots.applyColor, __glNopProc);
}

// ---- colour index -------------------------------------------------------------------------------

class IndexLighting : public LightTest {
protected:
    void SetUp() override {
        LightTest::SetUp();
        ctx->visual.colorIndexMode = 1;
        ctx->visual.rgbaMode = 0;
        const float indexes[3] = {2.0f, 10.0f, 20.0f};  // ambient, diffuse, specular
        GL(glMaterialfv)(GL_FRONT_AND_BACK, GL_COLOR_INDEXES, indexes);
        GL(glMaterialf)(GL_FRONT_AND_BACK, GL_SHININESS, 10.0f);
        GL(glEnable)(GL_LIGHT0);  // white, at (0, 0, 1, 0)
        GL(glEnable)(GL_LIGHTING);
        validate();
    }
    GlVertex lit(GlFaceColorProc proc, const double eye[4], const double n[3], int face = 0) {
        GlVertex v = litVertex(eye, n);
        proc(ctx, face, &v);
        return v;
    }
};

// index = ambient + (1 - s') d' (diffuse - ambient) + s' (specular - ambient), capped at the
// specular index; d' and s' are the lights' luminances times the diffuse and specular terms.
Range refIndex(const std::vector<RefLight> &lights, const RefModel &model, const double eye[4], const double n[3],
               double shininess, double ambient, double diffuse, double specular) {
    Range d{0, 0}, s{0, 0};
    for (const RefLight &l : lights) {
        RefTerms t = refTerms(l, model, eye, n);
        if (t.nDotL <= 0) continue;
        double lumD = 0.3 * l.diffuse[0] + 0.59 * l.diffuse[1] + 0.11 * l.diffuse[2];
        double lumS = 0.3 * l.specular[0] + 0.59 * l.specular[1] + 0.11 * l.specular[2];
        d += Range{lumD * t.nDotL * t.factor.lo, lumD * t.nDotL * t.factor.hi};
        Range f = tablePower(t.nDotH, shininess);
        s += Range{lumS * f.lo * t.factor.lo, lumS * f.hi * t.factor.hi};
    }
    auto index = [&](double dd, double ss) {
        if (ss >= 1.0) return specular;
        return std::min(ambient + (1 - ss) * dd * (diffuse - ambient) + ss * (specular - ambient), specular);
    };
    return {index(d.lo, s.lo), index(d.hi, s.hi)};
}

TEST_F(IndexLighting, MatchesTheIndexEquation) {
    RefLight white;
    std::vector<RefLight> lights = {white};
    EXPECT_EQ(faceColor(), __glLightVertexIndexInfiniteFast);
    const double eyes[][4] = {{0, 0, -3, 1}, {1, 1, -2, 1}};
    const double normals[][3] = {{0, 0, 1}, {0.6, 0, 0.8}, {0, 0.96, 0.28}, {0, 1, 0}, {0, 0, -1}};
    for (const auto &eye : eyes) {
        for (const auto &n : normals) {
            GlVertex v = lit(faceColor(), eye, n);
            Range want = refIndex(lights, RefModel(), eye, n, 10, 2, 10, 20);
            expectWithin(v.frontColor[0], want, "index");
            double reverse[3] = {-n[0], -n[1], -n[2]};
            v = lit(faceColor(), eye, n, 1);
            expectWithin(v.backColor[0], refIndex(lights, RefModel(), eye, reverse, 10, 2, 10, 20), "back index");
        }
    }
    // A local light: the per-vertex path with attenuation and a spot.
    const float position[4] = {0, 2, 0, 1}, direction[3] = {0, -1, -1};
    GL(glLightfv)(GL_LIGHT0, GL_POSITION, position);
    GL(glLightfv)(GL_LIGHT0, GL_SPOT_DIRECTION, direction);
    GL(glLightf)(GL_LIGHT0, GL_SPOT_CUTOFF, 60.0f);
    GL(glLightf)(GL_LIGHT0, GL_SPOT_EXPONENT, 4.0f);
    GL(glLightf)(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, 0.1f);
    validate();
    EXPECT_EQ(faceColor(), __glLightVertexIndex);
    RefLight local = white;
    local.position[0] = 0, local.position[1] = 2, local.position[2] = 0, local.position[3] = 1;
    local.spotDirection[0] = 0, local.spotDirection[1] = -1, local.spotDirection[2] = -1;
    local.spotCutoff = 60, local.spotExponent = 4, local.attenuation[2] = 0.1;
    for (const auto &eye : eyes) {
        for (const auto &n : normals) {
            GlVertex v = lit(faceColor(), eye, n);
            expectWithin(v.frontColor[0], refIndex({local}, RefModel(), eye, n, 10, 2, 10, 20), "local index");
        }
    }
}

// The lit index in 1/256 steps, shifted and offset by the face's index shift and offset.
TEST_F(IndexLighting, ShiftAndOffset) {
    const float indexes[3] = {3.5f, 10.0f, 1000.0f};
    GL(glMaterialfv)(GL_FRONT, GL_COLOR_INDEXES, indexes);
    const double eye[4] = {0, 0, -3, 1}, side[3] = {0, 1, 0};  // unlit: the ambient index
    struct Row {
        float shift, offset, want;
    } rows[] = {{1, 0, 7.0f}, {-1, 0, 1.75f}, {0, 2, 5.5f}, {2.9f, -1, 13.0f}, {31, 0, 3.5f * 2147483648.0f},
                {40, 0, 3.5f * 2147483648.0f}, {-40, 0, 0.0f}};
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "shift " << r.shift << " offset " << r.offset);
        GL(glMaterialfv)(GL_FRONT, GL_INDEX_SHIFT, &r.shift);
        GL(glMaterialfv)(GL_FRONT, GL_INDEX_OFFSET, &r.offset);
        ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        validate();
        EXPECT_EQ(faceColor(), __glLightVertexIndexInfinite);
        EXPECT_EQ(lit(faceColor(), eye, side).frontColor[0], r.want);
    }
    // With neither set, the infinite proc still rounds to 1/256; the general one and the fast
    // one leave the index as it is.
    const float odd[3] = {3.3f, 10.0f, 20.0f};
    GL(glMaterialfv)(GL_FRONT, GL_COLOR_INDEXES, odd);
    const float zero = 0.0f;
    GL(glMaterialfv)(GL_FRONT, GL_INDEX_SHIFT, &zero);
    GL(glMaterialfv)(GL_FRONT, GL_INDEX_OFFSET, &zero);
    validate();
    EXPECT_EQ(lit(__glLightVertexIndexInfinite, eye, side).frontColor[0], 845.0f / 256.0f);
    EXPECT_EQ(lit(__glLightVertexIndexInfiniteFast, eye, side).frontColor[0], 3.3f);
    EXPECT_EQ(lit(__glLightVertexIndex, eye, side).frontColor[0], 3.3f);
    // A specular term of 1 or more gives the specular index whatever else.
    const float bright[4] = {2, 2, 2, 1};
    GL(glLightfv)(GL_LIGHT0, GL_SPECULAR, bright);
    validate();
    const double facing[3] = {0, 0, 1};
    EXPECT_EQ(lit(faceColor(), eye, facing).frontColor[0], 20.0f);
}

}  // namespace
