// Execute buffers, DrawPrimitive requests and DrawPrimitives batches as the runtime hands them
// over, with the instructions, counts and indices an application may get wrong.
#include "tests/sivhal_d3d/d3d_fixture.h"
#include "platform/ddraw/ddraw_blt.h"

namespace {

class Execute : public FlatContext {
protected:
    void SetUp() override {
        FlatContext::SetUp();
        kivSivClearWriteLog();
    }
    // Four clockwise triangles (drawn under CCW culling) and one counter-clockwise.
    std::vector<D3DTLVERTEX> Vertices() {
        return {V(2, 2), V(20, 2), V(2, 20), V(30, 30), V(50, 30), V(30, 50), V(2, 40), V(2, 60), V(20, 40)};
    }
};

TEST_F(Execute, TrianglesAndFlatRuns) {
    States(ctx, {{D3DRS_CULLMODE, D3DCULL_CCW}});
    ExecBuffer *b = Exec(Vertices());
    // The culled record starts a flat run of two: it and the next two records are skipped.
    b->Triangles({{0, 1, 2, 0}, {6, 7, 8, 2}, {3, 4, 5, 0x1E}, {3, 4, 5, 0x1F}, {3, 4, 5, 0}});
    b->Exit();
    kivSivClearWriteLog();
    EXPECT_EQ(Run(ctx, b).result, DD_OK);
    EXPECT_EQ(Commands(), 2u);
    // A flat run longer than the instruction ends with it.
    ExecBuffer *c = Exec(Vertices());
    c->Triangles({{0, 1, 2, 0}, {6, 7, 8, 29}, {3, 4, 5, 0}});
    c->Triangles({{3, 4, 5, 0}});
    kivSivClearWriteLog();
    EXPECT_EQ(Run(ctx, c).result, DD_OK);
    EXPECT_EQ(Commands(), 2u);
    // Zero-area triangles of execute buffers are handed to set-up under culling.
    ExecBuffer *z = Exec({V(1, 1), V(9, 9), V(17, 17)});
    z->Triangles({{0, 1, 2, 0}});
    kivSiv3dClearStats();
    EXPECT_EQ(Run(ctx, z).result, DD_OK);
    EXPECT_EQ(kivSiv3dStats()->pixels, 0u);
}

TEST_F(Execute, IndicesAndRecordsBeyondTheirBuffers) {
    ExecBuffer *b = Exec(Vertices());
    b->Triangles({{0, 1, 9, 0}, {3, 4, 5, 0}, {0xFFFF, 0, 1, 0}});
    b->Lines({{0, 1}, {8, 200}});
    b->Points({{3, 7}, {1, 4}});   // vertices 7, 8 and one past the end; vertex 4
    b->Exit();
    EXPECT_EQ(Run(ctx, b).result, DD_OK);
    EXPECT_EQ(Commands(), 1u + 1u + 3u);
    // An instruction that claims more records than the buffer holds: those there are drawn.
    ExecBuffer *c = Exec(Vertices());
    c->Instruction(D3DOP_TRIANGLE, sizeof(D3DTRIANGLE), 40);
    D3DTRIANGLE t[2] = {{0, 1, 2, 0}, {3, 4, 5, 0}};
    c->Put(t, sizeof t);
    kivSivClearWriteLog();
    EXPECT_EQ(Run(ctx, c).result, DDERR_INVALIDPARAMS);
    EXPECT_EQ(Commands(), 2u);
    // A record size of zero reads nothing.
    ExecBuffer *d = Exec(Vertices());
    d->Instruction(D3DOP_TRIANGLE, 0, 3);
    d->Put(t, sizeof t);
    kivSivClearWriteLog();
    Run(ctx, d);
    EXPECT_EQ(Commands(), 0u);
}

TEST_F(Execute, CountZeroAndZVisible) {
    D3DHAL_RENDERPRIMITIVEDATA d = {};
    ExecBuffer *b = Exec(Vertices());
    d.dwhContext = ctx + 77;   // not even looked at
    d.lpExeBuf = b->Lcl();
    d.lpTLBuf = b->Lcl();
    d.diInstruction = {D3DOP_TRIANGLE, 8, 0};
    EXPECT_EQ(dev.callbacks.RenderPrimitive(&d), 1u);
    EXPECT_EQ(d.ddrval, DD_OK);
    EXPECT_EQ(chip->writeCount, 0u);
    // With ZVISIBLE the status says "visible" and nothing is drawn.
    States(ctx, {{D3DRS_ZVISIBLE, 1}});
    ExecBuffer *c = Exec(Vertices());
    c->Triangles({{0, 1, 2, 0}});
    DWORD status = 0x01000003;
    kivSivClearWriteLog();
    EXPECT_EQ(Run(ctx, c, &status).result, DD_OK);
    EXPECT_EQ(status, 3u);
    EXPECT_EQ(Commands(), 0u);
}

TEST_F(Execute, PointAndWireframeFill) {
    ExecBuffer *b = Exec(Vertices());
    b->States({{D3DRS_FILLMODE, D3DFILL_POINT}});
    b->Triangles({{0, 1, 2, D3DTRIFLAG_EDGEENABLE1 | D3DTRIFLAG_EDGEENABLE3}});
    b->States({{D3DRS_FILLMODE, D3DFILL_WIREFRAME}});
    b->Triangles({{3, 4, 5, 0x700}});
    b->Exit();
    EXPECT_EQ(Run(ctx, b).result, DD_OK);
    EXPECT_EQ(Commands(), 2u + 3u);
    // The two points are the first and third vertices.
    EXPECT_TRUE(Lit(target, 2, 2));
    EXPECT_TRUE(Lit(target, 2, 20));
    EXPECT_FALSE(Lit(target, 20, 2));
    // Wireframe DrawPrimitive triangles: three lines each.
    kivSivClearWriteLog();
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {V(2, 2), V(20, 2), V(2, 20)}).result, DD_OK);
    EXPECT_EQ(Commands(), 3u);
}

TEST_F(Execute, DrawPrimitiveCountsAndIndices) {
    const std::vector<D3DTLVERTEX> v = Vertices();
    struct Case {
        DWORD type, count;
        uint32_t commands;
    } cases[] = {{D3DPT_POINTLIST, 4, 4},    {D3DPT_LINELIST, 5, 2},     {D3DPT_LINESTRIP, 4, 3},
                 {D3DPT_LINESTRIP, 1, 0},    {D3DPT_LINESTRIP, 0, 0},    {D3DPT_TRIANGLELIST, 7, 2},
                 {D3DPT_TRIANGLESTRIP, 2, 0}, {D3DPT_TRIANGLEFAN, 1, 0},  {D3DPT_TRIANGLEFAN, 0, 0}};
    for (const Case &c : cases) {
        kivSivClearWriteLog();
        const D3d9xResult r = kivD3d9xDrawPrimitive(&dev, ctx, c.type, v.data(), c.count);
        EXPECT_EQ(r.result, DD_OK);
        EXPECT_EQ(Commands(), c.commands) << c.type << " x " << c.count;
    }
    EXPECT_EQ(kivD3d9xDrawPrimitive(&dev, ctx, 9, v.data(), 3).handled, 0u);
    // Indexed: an index past the vertices drops its primitive only.
    const WORD idx[] = {0, 1, 2, 3, 4, 99, 3, 4, 5};
    kivSivClearWriteLog();
    D3d9xResult r = kivD3d9xDrawIndexedPrimitive(&dev, ctx, D3DPT_TRIANGLELIST, v.data(), 9, idx, 9);
    EXPECT_EQ(r.result, DD_OK);
    EXPECT_EQ(Commands(), 2u);
    kivSivClearWriteLog();
    r = kivD3d9xDrawIndexedPrimitive(&dev, ctx, D3DPT_TRIANGLESTRIP, v.data(), 9, idx, 1);
    EXPECT_EQ(Commands(), 0u);
    EXPECT_EQ(kivD3d9xDrawIndexedPrimitive(&dev, ctx, 0, v.data(), 9, idx, 3).handled, 0u);
}

TEST_F(Execute, Batches) {
    const std::vector<D3DTLVERTEX> v = Vertices();
    D3d9xBatch batch;
    // A block of an unknown type is passed over; states apply in order; the last block's states
    // come with the block that ends the stream.
    kivD3d9xBatchState(&batch, D3DRS_CULLMODE, D3DCULL_NONE);
    kivD3d9xBatchPrimitive(&batch, D3DPT_TRIANGLELIST, v.data(), 3);
    kivD3d9xBatchPrimitive(&batch, 12, v.data(), 3);
    kivD3d9xBatchState(&batch, D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    kivD3d9xBatchPrimitive(&batch, D3DPT_TRIANGLELIST, v.data() + 3, 3);
    kivD3d9xBatchState(&batch, D3DRS_ZFUNC, D3DCMP_GREATER);
    EXPECT_EQ(kivD3d9xFlushBatch(&dev, ctx, &batch).result, DD_OK);
    EXPECT_EQ(Commands(), 1u + 3u);
    EXPECT_EQ(GetState(ctx, D3DRS_ZFUNC), DWORD(D3DCMP_GREATER));
    // A validation failure ends the batch with its code.
    kivD3d9xBatchState(&batch, D3DRS_TEXTUREHANDLE, 4242);
    kivD3d9xBatchPrimitive(&batch, D3DPT_TRIANGLELIST, v.data(), 3);
    kivSivClearWriteLog();
    EXPECT_EQ(kivD3d9xFlushBatch(&dev, ctx, &batch).result, D3DERR_EXECUTE_FAILED);
    EXPECT_EQ(Commands(), 0u);
}

TEST_F(Execute, DrawPrimitiveWaitsForAFlipAwayFromItsTarget) {
    Block()->flipDone() = 0;
    Block()->flipFromAddress() = static_cast<uint32_t>(target->gbl.fpVidMem);
    DWORD now = 0;
    kivSivClockMs(&now);
    Block()->flipTime() = now;
    Block()->flipSawActive() = 0;
    Block()->flipSawRetrace() = 0;
    kivSivClearWriteLog();
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {V(2, 2), V(20, 2), V(2, 20)}).result, DDERR_WASSTILLDRAWING);
    EXPECT_EQ(Commands(), 0u);
    // Execute buffers are not paced.
    ExecBuffer *b = Exec(Vertices());
    b->Triangles({{0, 1, 2, 0}});
    EXPECT_EQ(Run(ctx, b).result, DD_OK);
    EXPECT_EQ(Commands(), 1u);
}

// A draw of more register writes than the chip's log holds: the chip counts every write and the
// engine draws every triangle, while the log keeps only the first 16,384 writes, and what a test
// reads of the log (its writes, the commands among them) ends there. The draw writes the eight
// registers of the destination block, then 15 for each flat untextured triangle (six colour
// registers, eight edge registers, the command): 8 + 15 x 3,000 writes, of which the log holds
// the first 1,091 commands.
TEST_F(Execute, ALongDrawIsReadFromTheLogAsFarAsItHolds) {
    std::vector<D3DTLVERTEX> list;
    for (int i = 0; i < 3000; i++)
        for (const D3DTLVERTEX &v : {V(2, 2), V(20, 2), V(2, 20)})
            list.push_back(v);
    kivSivClearWriteLog();
    kivSiv3dClearStats();
    ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, list).result, DD_OK);
    EXPECT_EQ(chip->writeCount, 8u + 15u * 3000);
    EXPECT_EQ(kivSiv3dStats()->commands, 3000u);
    EXPECT_EQ(Writes().size(), kSivWriteLogEntries);
    EXPECT_EQ(Commands(), (16384u - 8) / 15);
}

// An engine whose FIFO never frees: a drawing call of many triangles gives up at its first wait
// (the machine's clock moves by one wait's bound, not one for every triangle), sends nothing after
// it and reports DDERR_WASSTILLDRAWING, by DrawPrimitive and by execute buffer alike; once the FIFO
// frees, the next call draws all of them.
TEST_F(Execute, AnEngineThatStopsAnsweringFailsTheDrawOnceAndTheNextOneDraws) {
    std::vector<D3DTLVERTEX> list;
    for (int i = 0; i < 200; i++) {
        const float x = static_cast<float>(i % 50), y = static_cast<float>(i / 50) * 16;
        for (const D3DTLVERTEX &v : {V(x, y), V(x + 10, y), V(x, y + 10)})
            list.push_back(v);
    }
    ExecBuffer *b = Exec(list);
    b->Instruction(D3DOP_TRIANGLE, sizeof(D3DTRIANGLE), 200);
    for (WORD i = 0; i < 200; i++) {
        const D3DTRIANGLE t = {static_cast<WORD>(3 * i), static_cast<WORD>(3 * i + 1), static_cast<WORD>(3 * i + 2), 0};
        b->Put(&t, sizeof t);
    }
    b->Exit();
    const auto stalled = [&](auto draw) {
        chip->fifoFreeSlots = 0;
        DWORD before = 0, after = 0;
        kivSivClockMs(&before);
        kivSivClearWriteLog();
        EXPECT_EQ(draw().result, DDERR_WASSTILLDRAWING);
        kivSivClockMs(&after);
        EXPECT_LT(after - before, 1000u);   // one wait of at most 500 ms, not 200 of them
        EXPECT_EQ(Commands(), 0u);
        chip->fifoFreeSlots = 16;
        kivSivClearWriteLog();
        EXPECT_EQ(draw().result, DD_OK);
        EXPECT_EQ(Commands(), 200u);
    };
    {
        SCOPED_TRACE("DrawPrimitive");
        stalled([&] { return Draw(ctx, D3DPT_TRIANGLELIST, list); });
    }
    {
        SCOPED_TRACE("execute buffer");
        stalled([&] { return Run(ctx, b); });
    }
}

// Two contexts on two targets: each drawing call programs its own destination first.
TEST_F(Execute, ContextsTakeTurns) {
    Surf *other = Target(64, 64);
    const ULONG_PTR second = NewContext(other);
    Plain(second, D3DSHADE_FLAT);
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {V(2, 2), V(20, 2), V(2, 20)}).result, DD_OK);
    EXPECT_EQ(Draw(second, D3DPT_TRIANGLELIST, {V(30, 30), V(50, 30), V(30, 50)}).result, DD_OK);
    EXPECT_TRUE(Lit(target, 5, 5));
    EXPECT_FALSE(Lit(target, 35, 35));
    EXPECT_TRUE(Lit(other, 35, 35));
    EXPECT_FALSE(Lit(other, 5, 5));
    // A blit in between takes the engine back for the 2D driver; Direct3D gets it again.
    DDHAL_BLTDATA blt = {};
    blt.lpDD = &drv.gbl;
    blt.lpDDDestSurface = &other->lcl;
    blt.rDest = {0, 0, 8, 8};
    blt.dwFlags = DDBLT_COLORFILL | DDBLT_WAIT;
    blt.bltFX.dwSize = sizeof blt.bltFX;
    blt.bltFX.dwFillColor = 0xFFFF;
    EXPECT_EQ(drv.surfaceCallbacks.Blt(&blt), 1u);
    EXPECT_EQ(Block()->currentContext(), 0u);
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {V(40, 2), V(60, 2), V(40, 20)}).result, DD_OK);
    EXPECT_TRUE(Lit(target, 45, 5));
    EXPECT_EQ(Block()->currentContext(), ctx);
}

}  // namespace

namespace {

// Texture coordinates no engine holds: enormous, infinite or not numbers. The triangles are
// cut or dropped, and nothing is drawn outside them.
TEST_F(Execute, WildTextureCoordinates) {
    Surf *tex = Texture(Rgb16(), 64);
    States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}, {D3DRS_TEXTUREPERSPECTIVE, 1}});
    const float wild[] = {1e30f, -1e30f, INFINITY, NAN, 5000.0f};
    for (float w : wild) {
        ExecBuffer *b = Exec({V(2, 2, ~0u, 0.5f, 0, 0, 1.0f), V(60, 4, ~0u, 0.5f, w, 0, 0.5f),
                              V(6, 60, ~0u, 0.5f, 0, w, 0.25f)});
        b->Triangles({{0, 1, 2, 0}});
        Clear(target, 0);
        EXPECT_EQ(Run(ctx, b).result, DD_OK) << w;
        const auto &v = b->bytes;
        D3DTLVERTEX t[3];
        std::memcpy(t, v.data(), sizeof t);
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++) {
                if (Lit(target, x, y)) {
                    ASSERT_LE(DistanceToTriangle(t[0], t[1], t[2], x, y), 1.0) << w;
                }
            }
    }
}

}  // namespace
