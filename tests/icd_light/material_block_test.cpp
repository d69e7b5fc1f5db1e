// Compiled material blocks: a run gathered per face with the last value winning, the block's
// words, its execution against the same glMaterial commands run directly, the tables it holds,
// and the colour-material rule it shares with glMaterial.
#include "tests/icd_light/light_fixture.h"

namespace {

struct MaterialCall {
    GLenum face;
    GLenum pname;
    std::vector<float> values;
};

class MaterialBlock : public LightTest {
protected:
    // Gathers a run as the list optimiser does and writes its block.
    std::vector<uint32_t> compile(const std::vector<MaterialCall> &run, bool *tables = nullptr) {
        GlMaterialAccumulator acc[2] = {};
        acc[0].face = GL_FRONT;
        acc[1].face = GL_BACK;
        for (const MaterialCall &c : run) {
            if (c.face != GL_BACK) {
                EXPECT_TRUE(__glAccumulateListMaterial(ctx, &acc[0], c.pname, c.values.data()));
            }
            if (c.face != GL_FRONT) {
                EXPECT_TRUE(__glAccumulateListMaterial(ctx, &acc[1], c.pname, c.values.data()));
            }
        }
        std::vector<uint32_t> block(size_t(__glMaterialBlockWords(acc)), 0xDEADBEEFu);
        bool held = __glWriteMaterialBlock(ctx, acc, block.data());
        if (tables != nullptr) *tables = held;
        return block;
    }
    void runDirectly(const std::vector<MaterialCall> &run) {
        for (const MaterialCall &c : run) GL(glMaterialfv)(c.face, c.pname, c.values.data());
    }
    static float f(uint32_t w) {
        float v;
        std::memcpy(&v, &w, 4);
        return v;
    }
    struct Snapshot {
        GlMaterial front, back;
        float frontScene[4], backScene[4], frontAlpha, backAlpha, shininess[2];
        float products[6][4];
        float ambientTotal[3];
    };
    Snapshot snapshot() {
        Snapshot s;
        s.front = ctx->state.lighting.frontMaterial;
        s.back = ctx->state.lighting.backMaterial;
        GlLightingCaches &lc = caches();
        std::memcpy(s.frontScene, lc.frontMaterialCache.sceneColor, 16);
        std::memcpy(s.backScene, lc.backMaterialCache.sceneColor, 16);
        s.frontAlpha = lc.frontMaterialCache.diffuseAlpha;
        s.backAlpha = lc.backMaterialCache.diffuseAlpha;
        s.shininess[0] = lc.frontMaterialCache.shininess;
        s.shininess[1] = lc.backMaterialCache.shininess;
        std::memcpy(s.products, __glLightCaches(ctx)[0].frontAmbientProduct, sizeof(s.products));
        std::memcpy(s.ambientTotal, lc.frontAmbientTotal, sizeof(s.ambientTotal));
        return s;
    }
    void SetUp() override {
        LightTest::SetUp();
        GL(glEnable)(GL_LIGHTING);
        GL(glEnable)(GL_LIGHT0);
        validate();
    }
};

const std::vector<MaterialCall> kRun = {
    {GL_FRONT_AND_BACK, GL_AMBIENT, {0.1f, 0.2f, 0.3f, 1.0f}},
    {GL_BACK, GL_AMBIENT, {0.7f, 0.6f, 0.5f, 0.4f}},
    {GL_FRONT, GL_AMBIENT_AND_DIFFUSE, {0.9f, 0.1f, 0.1f, 0.5f}},
    {GL_FRONT, GL_AMBIENT, {0.4f, 0.4f, 0.4f, 1.0f}},
    {GL_BACK, GL_EMISSION, {0.0f, 0.5f, 0.0f, 1.0f}},
    {GL_FRONT_AND_BACK, GL_SHININESS, {33.0f}},
    {GL_FRONT, GL_COLOR_INDEXES, {1.0f, 2.0f, 3.0f}},
};

// FRONT_AND_BACK then BACK: the back entry carries the second colour, the front the first;
// the words come per face in the order ambient, diffuse, specular, emission, shininess and its
// table, indexes (ambient, specular, diffuse), and a 0 ends the block.
TEST_F(MaterialBlock, GathersTheRunPerFaceLastValueWins) {
    bool tables = false;
    std::vector<uint32_t> b = compile({kRun[0], kRun[1]}, &tables);
    EXPECT_FALSE(tables);
    ASSERT_EQ(b.size(), 13u);
    EXPECT_EQ(b[0], uint32_t(GL_FRONT));
    EXPECT_EQ(b[1], kGlMaterialAmbient);
    EXPECT_EQ(f(b[2]), 0.1f);
    EXPECT_EQ(b[6], uint32_t(GL_BACK));
    EXPECT_EQ(f(b[8]), 0.7f);
    EXPECT_EQ(f(b[11]), 0.4f);
    EXPECT_EQ(b[12], 0u);

    std::vector<uint32_t> full = compile(kRun, &tables);
    EXPECT_TRUE(tables);
    EXPECT_EQ(full[0], uint32_t(GL_FRONT));
    EXPECT_EQ(full[1], 0x33u);  // ambient, diffuse, shininess, indexes
    EXPECT_EQ(f(full[2]), 0.4f);   // the later ambient
    EXPECT_EQ(f(full[6]), 0.9f);   // diffuse from AMBIENT_AND_DIFFUSE
    EXPECT_EQ(f(full[10]), 33.0f);
    EXPECT_EQ(f(full[12]), 1.0f);  // ambient index
    EXPECT_EQ(f(full[13]), 3.0f);  // specular index
    EXPECT_EQ(f(full[14]), 2.0f);  // diffuse index
    EXPECT_EQ(full[15], uint32_t(GL_BACK));
    EXPECT_EQ(full[16], 0x19u);    // ambient, emission, shininess
    EXPECT_EQ(full.back(), 0u);
    __glFreeMaterialBlock(ctx, full.data());

    GlMaterialAccumulator acc{};
    const float shift = 2.0f;
    EXPECT_FALSE(__glAccumulateListMaterial(ctx, &acc, GL_INDEX_SHIFT, &shift));
    EXPECT_EQ(acc.bits, 0u);
}

// Running the block leaves the materials and everything derived from them as running the
// commands themselves does.
TEST_F(MaterialBlock, ExecutesLikeTheCommandsItReplaces) {
    Snapshot before = snapshot();
    runDirectly(kRun);
    Snapshot direct = snapshot();
    ctx->state.lighting.frontMaterial = before.front;
    ctx->state.lighting.backMaterial = before.back;
    __glApplyMaterialChange(ctx, 63, 63);
    std::vector<uint32_t> block = compile(kRun);
    __glExecMaterialBlock(block.data());
    Snapshot compiled = snapshot();
    EXPECT_EQ(std::memcmp(&direct, &compiled, sizeof(Snapshot)), 0);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    __glFreeMaterialBlock(ctx, block.data());
}

// The block holds its shininess table: running it builds nothing, the table outlives later
// material changes, and freeing the block (deleting the list) lets it go.
TEST_F(MaterialBlock, HoldsItsTableUntilFreed) {
    std::vector<uint32_t> block = compile({{GL_FRONT, GL_SHININESS, {77.0f}}});
    GlSpecularTable *t;
    std::memcpy(&t, &block[3], sizeof(t));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->refCount, 2);  // the cache and the block
    CountingAllocator::install(ctx);
    __glExecMaterialBlock(block.data());
    EXPECT_TRUE(CountingAllocator::live().empty());  // nothing built
    EXPECT_EQ(caches().frontMaterialCache.specularTable, t);
    EXPECT_EQ(t->refCount, 3);
    GL(glMaterialf)(GL_FRONT, GL_SHININESS, 5.0f);
    EXPECT_EQ(t->refCount, 2);
    __glFreeMaterialBlock(ctx, block.data());
    EXPECT_EQ(t->refCount, 1);  // only the cache, which may now evict it
    __glFreeMaterialBlock(ctx, block.data());  // a second free finds no table
    EXPECT_EQ(t->refCount, 1);
}

// With colour material on, the tracked field takes the current colour again after the block,
// as after glMaterial; vertices the open primitive holds are finished first.
float pendingAmbient = -1.0f;
void recordPending(GlContext *ctx) {
    if (pendingAmbient < 0.0f) pendingAmbient = ctx->state.lighting.frontMaterial.ambient[0];  // the first call
}

TEST_F(MaterialBlock, ColourMaterialAndPendingVertices) {
    GL(glColorMaterial)(GL_FRONT, GL_AMBIENT);
    GL(glEnable)(GL_COLOR_MATERIAL);
    ctx->current.color[0] = 0.25f;
    ctx->slots.applyColor(ctx);
    std::vector<uint32_t> block = compile({{GL_FRONT_AND_BACK, GL_AMBIENT, {0.8f, 0.8f, 0.8f, 1.0f}}});
    ctx->slots.completePending = recordPending;
    pendingAmbient = -1.0f;
    ctx->beginMode = kGlInsideBegin;
    ctx->state.need.needMaskPending = kGlVertexFrontColorDone;
    __glExecMaterialBlock(block.data());
    ctx->beginMode = kGlOutsideBegin;
    ctx->state.need.needMaskPending = 0;
    EXPECT_EQ(pendingAmbient, 0.25f);
    EXPECT_EQ(ctx->state.lighting.frontMaterial.ambient[0], 0.25f);  // tracked: the colour again
    EXPECT_EQ(ctx->state.lighting.backMaterial.ambient[0], 0.8f);    // not tracked: the block's
    // The same commands run directly agree.
    runDirectly({{GL_FRONT_AND_BACK, GL_AMBIENT, {0.6f, 0.6f, 0.6f, 1.0f}}});
    EXPECT_EQ(ctx->state.lighting.frontMaterial.ambient[0], 0.25f);
}

}  // namespace
