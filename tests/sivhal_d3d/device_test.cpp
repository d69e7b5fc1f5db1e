// What Direct3D learns of the card, and contexts, textures and render states as the runtime
// creates and changes them.
#include "tests/sivhal_d3d/d3d_fixture.h"

namespace {

using Device = D3dMachine;

TEST_F(Device, DescriptionFormatsAndCallbacks) {
    const D3DHAL_GLOBALDRIVERDATA &d = dev.data;
    EXPECT_EQ(d.dwSize, 192u);
    EXPECT_EQ(d.dwNumVertices, 0u);
    EXPECT_EQ(d.dwNumClipVertices, 0u);
    const D3DDEVICEDESC &h = d.hwCaps;
    const D3DPRIMCAPS &t = h.dpcTriCaps;
    struct Field {
        const char *name;
        DWORD value, expected;
    } fields[] = {
        {"dwSize", h.dwSize, 172},
        {"dwFlags", h.dwFlags, 0x1E3},
        {"dcmColorModel", h.dcmColorModel, 2},
        {"dwDevCaps", h.dwDevCaps, 0x651},
        {"transform size", h.dtcTransformCaps.dwSize, 8},
        {"transform caps", h.dtcTransformCaps.dwCaps, 0},
        {"bClipping", static_cast<DWORD>(h.bClipping), 0},
        {"lighting size", h.dlcLightingCaps.dwSize, 16},
        {"lighting caps", h.dlcLightingCaps.dwCaps, 0},
        {"line caps size", h.dpcLineCaps.dwSize, 56},
        {"line raster caps", h.dpcLineCaps.dwRasterCaps, 0},
        {"tri size", t.dwSize, 56},
        {"misc", t.dwMiscCaps, 0x72},
        {"raster (no dithering is claimed)", t.dwRasterCaps, 0xA0},
        {"z compare", t.dwZCmpCaps, 0xFF},
        {"source blend", t.dwSrcBlendCaps, 0x12},
        {"destination blend", t.dwDestBlendCaps, 0x21},
        {"alpha compare", t.dwAlphaCmpCaps, 0},
        {"shade", t.dwShadeCaps, 0xC528A},
        {"texture (no transparency without the key flag)", t.dwTextureCaps, 0x27},
        {"filter", t.dwTextureFilterCaps, 0x3F},
        {"texture blend", t.dwTextureBlendCaps, 0xCF},
        {"texture address", t.dwTextureAddressCaps, 0x5},
        {"stipple", t.dwStippleWidth | t.dwStippleHeight, 0},
        {"render depths", h.dwDeviceRenderBitDepth, 0x600},
        {"z depths", h.dwDeviceZBufferBitDepth, 0x400},
        {"max buffer", h.dwMaxBufferSize, 0},
        {"max vertices", h.dwMaxVertexCount, 0},
    };
    for (const Field &f : fields)
        EXPECT_EQ(f.value, f.expected) << f.name;

    // The four texture formats, in order.
    struct Format {
        DWORD flags, bits, r, g, b, a;
    } formats[] = {{0x40, 16, 0x7C00, 0x3E0, 0x1F, 0},
                   {0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0},
                   {0x41, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
                   {0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
    ASSERT_EQ(d.dwNumTextureFormats, 4u);
    for (int i = 0; i < 4; i++) {
        const DDSURFACEDESC &s = d.lpTextureFormats[i];
        EXPECT_EQ(s.dwSize, 108u);
        EXPECT_EQ(s.dwFlags, 0x1001u);
        EXPECT_EQ(s.ddsCaps.dwCaps, 0x5000u);
        const DDPIXELFORMAT &p = s.ddpfPixelFormat;
        EXPECT_EQ(p.dwFlags, formats[i].flags) << i;
        EXPECT_EQ(p.dwRGBBitCount, formats[i].bits) << i;
        EXPECT_EQ(p.dwRBitMask, formats[i].r) << i;
        EXPECT_EQ(p.dwGBitMask, formats[i].g) << i;
        EXPECT_EQ(p.dwBBitMask, formats[i].b) << i;
        EXPECT_EQ(p.dwRGBAlphaBitMask, formats[i].a) << i;
    }

    // Ten callbacks in the first table, four in the second; nothing else is offered.
    const D3DHAL_CALLBACKS &c = dev.callbacks;
    EXPECT_EQ(c.dwSize, 0x8Cu);
    for (const void *p : {(const void *)c.ContextCreate, (const void *)c.ContextDestroy,
                          (const void *)c.ContextDestroyAll, (const void *)c.RenderState,
                          (const void *)c.RenderPrimitive, (const void *)c.TextureCreate,
                          (const void *)c.TextureDestroy, (const void *)c.TextureSwap,
                          (const void *)c.TextureGetSurf, (const void *)c.GetState})
        EXPECT_NE(p, nullptr);
    const void *unused[] = {c.SceneCapture, c.MatrixCreate, c.SetViewportData, c.LightSet, c.MaterialCreate,
                            c.MaterialGetData};
    for (const void *p : unused)
        EXPECT_EQ(p, nullptr);
    EXPECT_EQ(drv.callbacks2.dwFlags, 0x1Du);
    EXPECT_EQ(drv.callbacks2.Clear, nullptr);
    // DirectDraw hears of 3D only because Direct3D is there.
    EXPECT_TRUE(drv.gbl.ddCaps.dwCaps & DDCAPS_3D);
}

TEST_F(Device, TransparencyIsClaimedWithTheColourKeyFlag) {
    Reboot(0x800000);
    EXPECT_EQ(dev.data.hwCaps.dpcTriCaps.dwTextureCaps, 0x2Fu);
}

TEST_F(Device, ContextsAndTheirDefaults) {
    Surf *target = Target(64, 64), *z = ZBuffer(64, 64);
    const ULONG_PTR a = NewContext(target, z);
    EXPECT_NE(a, 0u);
    EXPECT_EQ(Block()->currentContext(), a);
    const ULONG_PTR b = NewContext(target);
    EXPECT_NE(b, a);
    EXPECT_EQ(Block()->currentContext(), b);
    // Defaults: Z stays off even with a Z buffer; the table of the driver contract.
    struct Default {
        DWORD state, value;
    } defaults[] = {{D3DRS_TEXTUREHANDLE, 0}, {D3DRS_TEXTUREADDRESS, 1}, {D3DRS_ZENABLE, 0},
                    {D3DRS_FILLMODE, 3}, {D3DRS_SHADEMODE, 2}, {D3DRS_ROP2, 13},
                    {D3DRS_PLANEMASK, 0xFFFFFFFF}, {D3DRS_ZWRITEENABLE, 1}, {D3DRS_LASTPIXEL, 1},
                    {D3DRS_TEXTUREMAG, 1}, {D3DRS_TEXTUREMIN, 1}, {D3DRS_SRCBLEND, 2}, {D3DRS_DESTBLEND, 1},
                    {D3DRS_TEXTUREMAPBLEND, 2}, {D3DRS_CULLMODE, 3}, {D3DRS_ZFUNC, 4}, {D3DRS_ALPHAFUNC, 8},
                    {D3DRS_SPECULARENABLE, 1}, {D3DRS_FOGTABLESTART, 1}, {D3DRS_FOGTABLEEND, 100},
                    {D3DRS_FOGTABLEDENSITY, 1}, {D3DRS_TEXTUREADDRESSU, 1}, {D3DRS_TEXTUREADDRESSV, 1},
                    {D3DRS_ANISOTROPY, 0}};
    for (const Default &d : defaults)
        EXPECT_EQ(GetState(a, d.state), d.value) << d.state;
    // No register is written to create a context.
    kivSivClearWriteLog();
    NewContext(target);
    EXPECT_EQ(chip->writeCount, 0u);

    // A new target with a Z buffer turns Z on; everything else goes back to its default.
    EXPECT_EQ(States(a, {{D3DRS_CULLMODE, 1}, {D3DRS_FOGENABLE, 1}}).result, DD_OK);
    EXPECT_EQ(kivD3d9xSetRenderTarget(&dev, a, &target->lcl, &z->lcl).result, DD_OK);
    EXPECT_EQ(GetState(a, D3DRS_ZENABLE), 1u);
    EXPECT_EQ(GetState(a, D3DRS_ZWRITEENABLE), 1u);
    EXPECT_EQ(GetState(a, D3DRS_CULLMODE), 3u);
    EXPECT_EQ(GetState(a, D3DRS_FOGENABLE), 0u);
    EXPECT_EQ(kivD3d9xSetRenderTarget(&dev, a, &target->lcl, nullptr).result, DD_OK);
    EXPECT_EQ(GetState(a, D3DRS_ZENABLE), 0u);
    EXPECT_EQ(GetState(a, D3DRS_ZWRITEENABLE), 0u);
}

TEST_F(Device, UnknownHandlesGetTheirCodes) {
    Surf *target = Target(16, 16), *tex = Texture(Rgb16(), 8);
    const ULONG_PTR ctx = NewContext(target);
    const ULONG_PTR bad = ctx + 100;
    DWORD h = 0, v = 0;
    DDRAWI_DDRAWSURFACE_LCL *s = nullptr;
    const HRESULT contextBad = D3DHAL_CONTEXT_BAD;
    EXPECT_EQ(kivD3d9xDestroyContext(&dev, bad).result, contextBad);
    EXPECT_EQ(kivD3d9xSetRenderTarget(&dev, bad, &target->lcl, nullptr).result, contextBad);
    EXPECT_EQ(kivD3d9xCreateTexture(&dev, bad, &tex->lcl, &h).result, contextBad);
    EXPECT_EQ(kivD3d9xGetRenderState(&dev, bad, D3DRS_ZFUNC, &v).result, contextBad);
    EXPECT_EQ(States(bad, {{D3DRS_ZFUNC, 2}}).result, contextBad);
    EXPECT_EQ(Draw(bad, D3DPT_TRIANGLELIST, {V(0, 0), V(5, 0), V(0, 5)}).result, contextBad);
    D3d9xBatch batch;
    kivD3d9xBatchPrimitive(&batch, D3DPT_POINTLIST, std::vector<D3DTLVERTEX>{V(1, 1)}.data(), 1);
    EXPECT_EQ(kivD3d9xFlushBatch(&dev, bad, &batch).result, contextBad);
    // Unknown textures.
    const DWORD good = NewTexture(ctx, tex);
    EXPECT_EQ(kivD3d9xDestroyTexture(&dev, ctx, good + 7).result, DDERR_INVALIDPARAMS);
    EXPECT_EQ(kivD3d9xSwapTextures(&dev, ctx, good, good + 7).result, DDERR_INVALIDPARAMS);
    EXPECT_EQ(kivD3d9xTextureSurface(&dev, ctx, good + 7, &s).result, DDERR_INVALIDPARAMS);
    // Found: handled with DD_OK and the surface.
    D3d9xResult r = kivD3d9xTextureSurface(&dev, ctx, good, &s);
    EXPECT_EQ(r.result, DD_OK);
    EXPECT_EQ(r.handled, 1u);
    EXPECT_EQ(s, &tex->lcl);
    // A texture handle no texture has: the state is kept, drawing fails and draws nothing until
    // a good handle is set.
    Plain(ctx);
    EXPECT_EQ(States(ctx, {{D3DRS_TEXTUREHANDLE, good + 7}}).result, DD_OK);
    EXPECT_EQ(GetState(ctx, D3DRS_TEXTUREHANDLE), good + 7);
    kivSiv3dClearStats();
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {V(0, 0), V(9, 0), V(0, 9)}).result, D3DERR_EXECUTE_FAILED);
    EXPECT_EQ(kivSiv3dStats()->commands, 0u);
    EXPECT_EQ(States(ctx, {{D3DRS_TEXTUREHANDLE, good}}).result, DD_OK);
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {V(0, 0), V(9, 0), V(0, 9)}).result, DD_OK);
    EXPECT_EQ(kivSiv3dStats()->commands, 1u);
}

TEST_F(Device, TargetsThatAreGone) {
    Surf *target = Target(16, 16), *other = Target(16, 16);
    // No context on a surface DirectDraw has destroyed.
    kivDdraw9xDestroySurface(&drv.gbl, drv.surfaceCallbacks.DestroySurface, &other->lcl);
    ULONG_PTR ctx = 0;
    EXPECT_EQ(kivD3d9xCreateContext(&dev, &other->lcl, nullptr, &ctx).result, DDERR_INVALIDPARAMS);
    EXPECT_EQ(ctx, 0u);
    // A context whose target goes away draws nothing.
    ctx = NewContext(target);
    Plain(ctx);
    kivDdraw9xDestroySurface(&drv.gbl, drv.surfaceCallbacks.DestroySurface, &target->lcl);
    kivSiv3dClearStats();
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {V(0, 0), V(9, 0), V(0, 9)}).result, DDERR_SURFACELOST);
    EXPECT_EQ(kivSiv3dStats()->commands, 0u);
    // Nor a texture outside video memory.
    Surf sys;
    sys.lcl.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
    std::vector<uint8_t> texels(8 * 8 * 2);
    sys.gbl.fpVidMem = reinterpret_cast<FLATPTR>(texels.data());
    sys.gbl.wWidth = sys.gbl.wHeight = 8;
    ULONG_PTR live = NewContext(Target(16, 16));
    DWORD h = 0;
    EXPECT_EQ(kivD3d9xCreateTexture(&dev, live, &sys.lcl, &h).result, D3DERR_TEXTURE_CREATE_FAILED);
}

TEST_F(Device, TexturesBelongToTheirContextAndProcess) {
    Surf *target = Target(16, 16);
    Surf *t1 = Texture(Rgb16(), 8), *t2 = Texture(Rgb32(), 16);
    const ULONG_PTR a = NewContext(target), b = NewContext(target);
    const DWORD ha = NewTexture(a, t1), hb = NewTexture(b, t2);
    DDRAWI_DDRAWSURFACE_LCL *s = nullptr;
    // Swapping exchanges what the handles stand for.
    EXPECT_EQ(kivD3d9xSwapTextures(&dev, a, ha, hb).result, DD_OK);
    EXPECT_EQ(kivD3d9xTextureSurface(&dev, a, ha, &s).result, DD_OK);
    EXPECT_EQ(s, &t2->lcl);
    EXPECT_EQ(kivD3d9xSwapTextures(&dev, a, ha, hb).result, DD_OK);
    // Destroying context a frees only the texture made in it.
    EXPECT_EQ(kivD3d9xDestroyContext(&dev, a).result, DD_OK);
    EXPECT_EQ(kivD3d9xTextureSurface(&dev, b, ha, &s).result, DDERR_INVALIDPARAMS);
    EXPECT_EQ(kivD3d9xTextureSurface(&dev, b, hb, &s).result, DD_OK);
    EXPECT_EQ(kivD3d9xDestroyContext(&dev, a).result, D3DHAL_CONTEXT_BAD);
    // Another process's clean-up leaves this process's context alone; its own frees it.
    D3d9xDevice otherProcess = dev;
    otherProcess.pid = 0x9999;
    EXPECT_EQ(kivD3d9xDestroyAllContexts(&otherProcess).result, DD_OK);
    EXPECT_EQ(kivD3d9xTextureSurface(&dev, b, hb, &s).result, DD_OK);
    EXPECT_EQ(kivD3d9xDestroyAllContexts(&dev).result, DD_OK);
    EXPECT_EQ(kivD3d9xTextureSurface(&dev, b, hb, &s).result, D3DHAL_CONTEXT_BAD);
}

TEST_F(Device, RenderStateRules) {
    Surf *target = Target(16, 16);
    const ULONG_PTR ctx = NewContext(target);
    struct Case {
        DWORD state, value;
        DWORD readState, expected;
    } cases[] = {
        {D3DRS_TEXTUREMAG, 2, D3DRS_TEXTUREMIN, 2},            // MAG and MIN move together
        {D3DRS_TEXTUREMIN, 4, D3DRS_TEXTUREMAG, 4},
        {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO, D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_TEXTUREADDRESS, 2, D3DRS_TEXTUREADDRESS, 1},    // mirror is stored as wrap
        {D3DRS_TEXTUREADDRESS, 4, D3DRS_TEXTUREADDRESS, 1},
        {D3DRS_TEXTUREADDRESS, 3, D3DRS_TEXTUREADDRESS, 3},
        {D3DRS_BLENDENABLE, 1, D3DRS_ALPHABLENDENABLE, 1},
        {D3DRS_ALPHABLENDENABLE, 0, D3DRS_BLENDENABLE, 0},
        {D3DRS_FOGCOLOR, 0x123456, D3DRS_FOGCOLOR, 0x123456},
        {D3DRS_ZFUNC, 99, D3DRS_ZFUNC, 99},                    // out of range: kept as given
        {77, 5, D3DRS_ZFUNC, 99},                              // no such state: ignored
    };
    for (const Case &c : cases) {
        EXPECT_EQ(States(ctx, {{c.state, c.value}}).result, DD_OK) << c.state;
        EXPECT_EQ(GetState(ctx, c.readState), c.expected) << c.state << "=" << c.value;
    }
    // Reading a state past the last one is refused; a query that is not of render states is
    // left to the runtime.
    D3DHAL_GETSTATEDATA q = {};
    q.dwhContext = ctx;
    q.dwWhich = D3DHALSTATE_GET_RENDER;
    q.ddState.dtstTransformStateType = 50;
    EXPECT_EQ(dev.callbacks.GetState(&q), 1u);
    EXPECT_EQ(q.ddrval, DDERR_INVALIDPARAMS);
    q.dwWhich = 1;
    EXPECT_EQ(dev.callbacks.GetState(&q), 0u);
    // Forcing flags of the driver win over the application.
    Block()->driverFlags() |= 0x10000 | 0x80000 | 0x100000;
    EXPECT_EQ(States(ctx, {{D3DRS_ZENABLE, 1}, {D3DRS_FOGENABLE, 1}, {D3DRS_TEXTUREMAG, 3}}).result, DD_OK);
    EXPECT_EQ(GetState(ctx, D3DRS_ZENABLE), 0u);
    EXPECT_EQ(GetState(ctx, D3DRS_FOGENABLE), 0u);
    EXPECT_EQ(GetState(ctx, D3DRS_TEXTUREMIN), 1u);
}

// Render-state records past the end of the execute buffer are not read.
TEST_F(Device, RenderStateRecordsStayInTheirBuffer) {
    Surf *target = Target(16, 16);
    const ULONG_PTR ctx = NewContext(target);
    ExecBuffer *b = Exec({});
    b->Instruction(D3DOP_STATERENDER, sizeof(D3DSTATE), 3);   // says three, holds one
    D3DSTATE st = {D3DRS_ZFUNC, {D3DCMP_GREATER}};
    b->Put(&st, sizeof st);
    D3DHAL_RENDERSTATEDATA d = {ctx, b->instructionOffset + 4, 3, b->Lcl(), DD_OK};
    EXPECT_EQ(dev.callbacks.RenderState(&d), 1u);
    EXPECT_EQ(d.ddrval, DDERR_INVALIDPARAMS);
    EXPECT_EQ(GetState(ctx, D3DRS_ZFUNC), DWORD(D3DCMP_GREATER));
}

}  // namespace
