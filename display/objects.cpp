// The engine objects the driver creates in zkgfx and in its FIFO channel when the hardware is
// enabled, and destroys when it is disabled.
//
// Objects are created inside the channel: a class object (whose handle is the class number)
// loaded in a subchannel creates an instance when a new handle is written to its method 0x300
// and destroys one through method 0x304. Every object and memory object created is recorded
// in the PDEV, so that leaving the mode destroys exactly what was made, newest first, and the
// next mode can create the same handles again.
#include "display/driver.h"
#include "include/zk_engine_classes.h"

#include <initializer_list>
#include <utility>

namespace {

typedef std::pair<uint16_t, uint32_t> Method;

// Collects the writes of one run and waits for room for all of them before writing.
class FifoRun {
public:
    explicit FifoRun(ZK_PDEV *ppdev) : ppdev_(ppdev) {}
    ~FifoRun() { flush(); }
    void put(unsigned sub, uint16_t method, uint32_t value) {
        if (n_ == kMax) flush();
        w_[n_++] = {static_cast<uint8_t>(sub), method, value};
    }
    void flush() {
        if (!n_) return;
        vFifoWaitFree(ppdev_, 0, 4 * n_);
        for (unsigned i = 0; i < n_; ++i) vFifoWrite(ppdev_, w_[i].sub, w_[i].method, w_[i].value);
        n_ = 0;
    }
    // Creates an instance of a class through the class object loaded in `sub`.
    void create(unsigned sub, uint32_t cls, uint32_t handle) {
        if (bound_[sub] != cls) put(sub, 0, cls);
        bound_[sub] = cls;
        put(sub, 0x300, handle);
        if (ppdev_->cObjects < ZK_MAX_ENGINE_OBJECTS) ppdev_->objects[ppdev_->cObjects++] = {handle, cls};
        else ppdev_->bObjectsOverflow = true;
    }
    void load(unsigned sub, uint32_t handle, std::initializer_list<Method> methods = {}) {
        put(sub, 0, handle);
        bound_[sub] = handle;
        for (const Method &m : methods) put(sub, m.first, m.second);
    }
    void destroy(uint32_t cls, uint32_t handle) {
        if (bound_[1] != cls) put(1, 0, cls);
        bound_[1] = cls;
        put(1, 0x304, handle);
    }

private:
    static constexpr unsigned kMax = 31;   // the FIFO holds 124 bytes
    struct Write { uint8_t sub; uint16_t method; uint32_t value; };
    ZK_PDEV *ppdev_;
    Write w_[kMax];
    unsigned n_ = 0;
    uint32_t bound_[8] = {};
};

uint32_t addr(const void *p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

BOOL bMemoryObject(ZK_PDEV *ppdev, uint32_t handle, uint32_t cls, const void *base, uint32_t limit) {
    if (usRmCreateMemoryObject(ppdev->hDriver, handle, cls, addr(base), limit, 0) != 0) return FALSE;
    if (ppdev->cMemoryObjects < ZK_MAX_MEMORY_OBJECTS) ppdev->memoryObjects[ppdev->cMemoryObjects++] = handle;
    else ppdev->bObjectsOverflow = true;
    return TRUE;
}

BOOL bNotifier(ZK_PDEV *ppdev, uint32_t handle, ZK_NOTIFIER *n) {
    n->status = 0;
    return bMemoryObject(ppdev, handle, ZK_RM_CLASS_NOTIFIER, n, 15);
}

// The objects over the DMA buffer: its first 16 bytes are the buffer's notifier.
BOOL bInitDmaBufferObjects(ZK_PDEV *ppdev) {
    if (!ppdev->pDmaBuffer) return TRUE;
    reinterpret_cast<ZK_NOTIFIER *>(ppdev->pDmaBuffer)->status = 0;
    if (!bMemoryObject(ppdev, 0x1020, ZK_RM_CLASS_NOTIFIER, ppdev->pDmaBuffer + 16, ppdev->cjDmaBuffer - 17) ||
        !bMemoryObject(ppdev, 0x1019, ZK_RM_CLASS_BUFFER, ppdev->frameBuffer, ppdev->cjVideoMemory - 1) ||
        !bMemoryObject(ppdev, 0x1021, ZK_RM_CLASS_NOTIFIER, ppdev->pDmaBuffer, 15))
        return FALSE;
    FifoRun r(ppdev);
    r.create(1, ZK_CLASS_MEMORY_TO_MEMORY, ZK_OBJ_MEMORY_COPY);
    r.load(1, ZK_OBJ_MEMORY_COPY, {{0x100, 0x1021}, {0x300, 0x1019}, {0x304, 0x1020}, {0x308, 0x1021}});
    return TRUE;
}

// Destroys every recorded object, newest first, then frees the memory objects the same way.
void vFreeRecordedObjects(ZK_PDEV *ppdev) {
    ppdev->usFifoFree = 0;
    if (ppdev->fifo) {
        FifoRun r(ppdev);
        while (ppdev->cObjects) {
            const ZK_ENGINE_OBJECT &o = ppdev->objects[--ppdev->cObjects];
            r.destroy(o.cls, o.handle);
        }
    }
    ppdev->cObjects = 0;
    while (ppdev->cMemoryObjects) usRmFreeObject(ppdev->hDriver, ppdev->memoryObjects[--ppdev->cMemoryObjects]);
    if (ppdev->pScratch) {
        EngFreeMem(ppdev->pScratch);
        ppdev->pScratch = nullptr;
    }
    ppdev->subchannel7Object = 0;
    ppdev->bObjectsOverflow = false;
}

}  // namespace

namespace {

// What the depth decides for the ZK3's objects.
struct DepthConstants {
    uint32_t surfaceFormat, colorFormat, rectFormat, alpha, pixelMask;
};

bool bDepthConstants(const ZK_PDEV *ppdev, DepthConstants *c) {
    switch (ppdev->iBitmapFormat) {
    case BMF_8BPP: *c = {0x1010000, 0x110000, 0x10000, 0xFF00, 0xFFFF}; return true;
    case BMF_16BPP: *c = {0x1000000, 0x100000, 0x0, 0x8000, 0xFFFF}; return true;
    case BMF_32BPP: *c = {0x1, 0x100001, 0x1, 0xFF000000, 0xFFFFFFFF}; return true;
    default: return false;
    }
}

// The DAC transfer object and the video patches, then every instance by class.
BOOL bCreateInstances(ZK_PDEV *ppdev) {
    {
        FifoRun r(ppdev);
        r.create(1, ZK_CLASS_DAC_TRANSFER, ZK_OBJ_DAC_TRANSFER);
        r.create(1, ZK_CLASS_VIDEO_PATCH, 0xB00E2);
        r.create(1, ZK_CLASS_VIDEO_PATCH, 0x80023FC1);
    }
    if (!bMemoryObject(ppdev, 0x1022, ZK_RM_CLASS_VIDEO_MEMORY, ppdev->frameBuffer, ppdev->cjVideoMemory - 1) ||
        !bNotifier(ppdev, 0x1025, &ppdev->lockNotifier))
        return FALSE;
    // {first, last} handle ranges, step 1 unless the range is of the 0x800215x1 kind (step 0x10).
    struct ClassRun { uint32_t cls; std::initializer_list<std::pair<uint32_t, uint32_t>> ranges; };
    static const ClassRun runs[] = {
        {ZK_CLASS_STAGE_ROP, {{0xA0010, 0xA0016}}},
        {ZK_CLASS_STAGE_CLIP, {{0xA0020, 0xA0026}}},
        {ZK_CLASS_STAGE_KEY, {{0xA0030, 0xA0036}}},
        {ZK_CLASS_OVERLAY_WINDOW, {{ZK_OBJ_OVERLAY_WINDOW, ZK_OBJ_OVERLAY_WINDOW}}},
        {ZK_CLASS_SURFACE, {{ZK_OBJ_DST_SURFACE, ZK_OBJ_DST_SURFACE}, {ZK_OBJ_SRC_SURFACE, ZK_OBJ_SRC_SURFACE}}},
        {ZK_CLASS_FLIP, {{ZK_OBJ_FLIP, ZK_OBJ_FLIP}, {ZK_OBJ_OVERLAY_BUFFERS, ZK_OBJ_OVERLAY_BUFFERS}}},
        {ZK_CLASS_VIDEO_OUT, {{ZK_OBJ_VIDEO_OUT, ZK_OBJ_VIDEO_OUT}}},
        {ZK_CLASS_PATCH, {{0xB0000, 0xB0001}, {0xB0008, 0xB0008}, {0xB0003, 0xB0003}, {0xB0005, 0xB0007},
                          {0xB0010, 0xB0016}, {0xB0020, 0xB0026}, {0xB0030, 0xB0036}, {0xB00E0, 0xB00E0},
                          {0xB00E3, 0xB00E3}, {0x80021511, 0x80021511}, {0x80021401, 0x80021401},
                          {0x80021601, 0x80021601}, {0x80021501, 0x80021501}, {0x80021521, 0x800215B1}}},
        {ZK_CLASS_SCALED_IMAGE_PLANAR, {{0x800215A0, 0x800215B0}}},
        {ZK_CLASS_VIDEO_PATCH, {{0xB00E1, 0xB00E1}, {0x80023FB1, 0x80023FB1}, {0x80023F91, 0x80023F91}, {0x80023FA1, 0x80023FA1}}},
        {ZK_CLASS_ROP_PATCH, {{0xB0004, 0xB0004}}},
        {ZK_CLASS_OVERLAY_SCALER, {{ZK_OBJ_OVERLAY_SCALER, ZK_OBJ_OVERLAY_SCALER}}},
    };
    for (const ClassRun &run : runs) {
        FifoRun r(ppdev);
        for (const auto &range : run.ranges) {
            uint32_t step = range.first >= 0x80021500 && range.first < 0x80021600 && range.first != range.second ? 0x10 : 1;
            for (uint32_t h = range.first; h <= range.second; h += step) r.create(1, run.cls, h);
        }
    }
    return TRUE;
}

// The stages between the drawing objects and the destination surface, then the two surfaces.
void vConnectStagesAndSurfaces(ZK_PDEV *ppdev, const DepthConstants &c) {
    static const uint32_t k[7] = {0xB0000, 0xB0001, 0xB0008, 0xB0003, 0x80021511, 0x80021401, 0x80021601};
    for (uint32_t i = 0; i < 7; ++i) {
        FifoRun r(ppdev);
        r.load(1, 0xA0010 + i, {{0x208, 0xB00E0}, {0x20C, k[i]}, {0x210, 0xB0005}, {0x204, 0xB0004}, {0x200, 0xB0010 + i}});
        if (i < 6) {
            r.load(1, 0xA0020 + i, {{0x204, 0xB0010 + i}, {0x208, 0xB0006}, {0x200, 0xB0020 + i}});
            r.load(1, 0xA0030 + i, {{0x204, 0xB0007}, {0x208, 0xB0020 + i}, {0x200, 0xB0030 + i}});
        }
    }
    const uint32_t pitch = static_cast<uint32_t>(ppdev->lDelta);
    FifoRun r(ppdev);
    r.load(1, ZK_OBJ_DST_SURFACE);
    for (uint32_t i = 0; i < 7; ++i) r.put(1, static_cast<uint16_t>(0x204 + 4 * i), 0xB0030 + i);
    for (uint32_t i = 0; i < 10; ++i) r.put(1, static_cast<uint16_t>(0x220 + 4 * i), 0x80021521 + 0x10 * i);
    for (const Method &m : {Method{0x248, 0x80021501}, Method{0x24C, 0xB0016}, Method{0x200, 0xB00E0},
                            Method{0x300, c.surfaceFormat}, Method{0x308, pitch}, Method{0x30C, 0}, Method{0x304, 0x1022}})
        r.put(1, m.first, m.second);
    r.flush();
    r.load(1, ZK_OBJ_SRC_SURFACE, {{0x200, 0xB00E3}, {0x300, c.surfaceFormat}, {0x308, pitch}, {0x30C, 0}, {0x304, 0x1022}});
}

// The screen's flip object and its notifiers (the overlay's notifier too).
BOOL bFlipObject(ZK_PDEV *ppdev, const DepthConstants &c) {
    if (!bNotifier(ppdev, 0x80021016, &ppdev->flipNotifier) || !bNotifier(ppdev, 0x80021017, &ppdev->overlayNotifier))
        return FALSE;
    const uint32_t pitch = static_cast<uint32_t>(ppdev->lDelta);
    const uint32_t size = ppdev->cyScreen << 16 | ppdev->cxScreen;
    FifoRun r(ppdev);
    r.load(1, ZK_OBJ_FLIP, {{0x200, 0xB00E1}, {0x310, 0}, {0x314, pitch}, {0x318, size}, {0x31C, c.surfaceFormat},
                            {0x324, 0}, {0x328, pitch}, {0x32C, size}, {0x330, c.surfaceFormat}, {0x308, 0x80021016},
                            {0x30C, 0x80021016}});
    return TRUE;
}

// The default object of every subchannel.
void vSubchannelDefaults(ZK_PDEV *ppdev, const DepthConstants &c) {
    struct Default { uint32_t cls, handle; std::initializer_list<Method> methods; };
    const Default defaults[8] = {
        {ZK_CLASS_IMAGE_FROM_CPU, ZK_OBJ_IMAGE, {{0x200, 0xB0000}, {0x300, c.surfaceFormat}}},
        {ZK_CLASS_BLIT, ZK_OBJ_BLIT, {{0x200, 0xB0001}, {0x204, 0xB00E3}}},
        {ZK_CLASS_MONO_EXPANSION, ZK_OBJ_MONO, {{0x200, 0xB0008}, {0x300, c.colorFormat}, {0x304, 1}, {0x100, 0x1025}}},
        {ZK_CLASS_RECTANGLE, ZK_OBJ_RECTANGLE, {{0x200, 0xB0003}, {0x300, c.rectFormat}}},
        {ZK_CLASS_ROP, ZK_OBJ_ROP, {{0x200, 0xB0004}, {0x300, 0xCC}}},
        {ZK_CLASS_PATTERN, ZK_OBJ_PATTERN, {{0x200, 0xB0005}, {0x300, c.colorFormat}, {0x304, 1}, {0x308, 1},
                                            {0x310, c.alpha}, {0x314, c.pixelMask}, {0x318, 0xFFFFFFFF}, {0x31C, 0x50505050}}},
        {ZK_CLASS_CLIP, ZK_OBJ_CLIP, {{0x200, 0xB0006}, {0x300, 0}, {0x304, 0x7FFF7FFF}}},
        {ZK_CLASS_COLOR_KEY, ZK_OBJ_COLOR_KEY, {{0x200, 0xB0007}, {0x300, c.colorFormat}, {0x304, 0}}},
    };
    for (unsigned sub = 0; sub < 8; ++sub) {
        FifoRun r(ppdev);
        r.create(sub, defaults[sub].cls, defaults[sub].handle);
        r.load(sub, defaults[sub].handle, defaults[sub].methods);
    }
    ppdev->subchannel7Object = ZK_OBJ_COLOR_KEY;
}

// The DAC transfer block and the engine's notifier behind the DAC transfer object.
BOOL bDacObjects(ZK_PDEV *ppdev) {
    ppdev->engineNotifier.status = 0;
    if (!bMemoryObject(ppdev, 0x1016, ZK_RM_CLASS_BUFFER, ppdev->dacTransfer, 0x3FF) ||
        !bNotifier(ppdev, 0x80021019, &ppdev->engineNotifier))
        return FALSE;
    FifoRun r(ppdev);
    r.load(1, ZK_OBJ_DAC_TRANSFER, {{0x204, 0xB00E1}, {0x200, 0xB00E2}, {0x100, 0x80021019}, {0x300, 0x1016}, {0x304, 0},
                                    {0x308, 0}, {0x104, 0}, {0x30C, 0x400}});
    r.flush();
    r.load(1, ZK_OBJ_VIDEO_OUT, {{0x200, 0x80023FB1}});
    return TRUE;
}

// The staging block (the scratch memory the engine reads and writes) and its copy objects.
BOOL bScratchObjects(ZK_PDEV *ppdev) {
    ppdev->pScratch = static_cast<uint8_t *>(EngAllocMem(FL_ZERO_MEMORY, 0x8000, ZK_POOL_TAG));
    if (!ppdev->pScratch || !bMemoryObject(ppdev, 0x80021000, ZK_RM_CLASS_VIDEO_MEMORY, ppdev->pScratch, 0x7FFF) ||
        !bNotifier(ppdev, 0x80021015, &ppdev->scratchNotifier))
        return FALSE;
    FifoRun r(ppdev);
    r.create(1, ZK_CLASS_MEMORY_TO_MEMORY, ZK_OBJ_STAGING_COPY);
    r.load(1, ZK_OBJ_STAGING_COPY, {{0x100, 0x80021015}, {0x300, 0x1022}, {0x304, 0x80021000}, {0x308, 0x80021015}});
    r.flush();
    r.create(1, ZK_CLASS_MEMORY_TO_MEMORY, ZK_OBJ_VIDEO_COPY);
    r.load(1, ZK_OBJ_VIDEO_COPY, {{0x100, 0x80021015}, {0x300, 0x1022}, {0x304, 0x1022}, {0x308, 0x80021015}});
    return TRUE;
}

// The overlay's window, scaler and buffers.
void vOverlayObjects(ZK_PDEV *ppdev) {
    const bool bpp8 = ppdev->iBitmapFormat == BMF_8BPP;
    const uint32_t fmt = bpp8 ? 0x110000 : ppdev->iBitmapFormat == BMF_16BPP ? 0x100000 : 0x100001;
    FifoRun r(ppdev);
    r.load(1, ZK_OBJ_OVERLAY_WINDOW, {{0x200, 0x80023FB1}, {0x204, 0xB00E1}, {0x208, bpp8 ? 0x80023FC1u : 0xB00E1u},
                                      {0x20C, 0x80023FA1}, {0x300, fmt}, {0x304, 0}, {0x308, 0}, {0x30C, 0}});
    r.flush();
    r.load(1, ZK_OBJ_OVERLAY_SCALER, {{0x200, 0x80023FA1}, {0x204, 0x80023F91}, {0x300, 0x100000}, {0x304, 0x100000}, {0x308, 0}});
    r.flush();
    r.load(1, ZK_OBJ_OVERLAY_BUFFERS, {{0x200, 0x80023F91}, {0x300, 0x1022}, {0x304, 0x1022}, {0x308, 0x80021017},
                                       {0x30C, 0x80021017}, {0x310, 0}, {0x314, 0}, {0x318, 0}, {0x31C, 0x20001}, {0x320, 0},
                                       {0x324, 0}, {0x328, 0}, {0x32C, 0}, {0x330, 0x20001}, {0x334, 0}});
}

// The stretched and scaled images, then the subchannels they leave loaded.
void vScaledImageObjects(ZK_PDEV *ppdev, const DepthConstants &c) {
    {
        FifoRun r(ppdev);
        r.create(1, ZK_CLASS_STRETCHED_IMAGE_FROM_CPU, ZK_OBJ_STRETCH_8BIT_FROM_CPU);
        r.create(1, ZK_CLASS_STRETCHED_IMAGE_FROM_CPU, ZK_OBJ_STRETCH_FROM_CPU);
        for (uint32_t h = 0x80021500; h <= 0x80021590; h += 0x10) r.create(1, ZK_CLASS_SCALED_IMAGE, h);
    }
    const uint32_t first = ppdev->iBitmapFormat == BMF_16BPP ? 0x1000000 : 1;
    struct Scaler { uint32_t handle, p300, p304; bool has300; };
    const Scaler scalers[] = {
        {ZK_OBJ_SCALE_RGB_VIDEO, first, 0x1022, true},        {ZK_OBJ_SCALE_RGB_STAGED, first, 0x80021000, true},
        {ZK_OBJ_SCALE_UYVY_STAGED, 0x20001, 0x80021000, true}, {ZK_OBJ_SCALE_UYVY_VIDEO, 0x20001, 0x1022, true},
        {ZK_OBJ_SCALE_YUY2_STAGED, 0x20000, 0x80021000, true}, {ZK_OBJ_SCALE_YUY2_VIDEO, 0x20000, 0x1022, true},
        {0x80021560, 0x20001, 0x80021000, true},              {0x80021570, 0x20001, 0x80021000, true},
        {0x80021580, 0x20000, 0x80021000, true},              {0x80021590, 0x20000, 0x80021000, true},
        {0x800215A0, 0, 0x80021000, false},                   {0x800215B0, 0, 0x80021000, false},
    };
    for (const Scaler &s : scalers) {
        FifoRun r(ppdev);
        r.load(1, s.handle, {{0x100, 0x80021019}, {0x200, s.handle + 1}});
        if (s.has300) r.put(1, 0x300, s.p300);
        r.put(1, 0x304, s.p304);
    }
    FifoRun r(ppdev);
    r.load(7, ZK_OBJ_STRETCH_FROM_CPU, {{0x200, 0x80021401}, {0x300, c.surfaceFormat}});
    r.load(1, ZK_OBJ_STRETCH_8BIT_FROM_CPU, {{0x200, 0x80021601}, {0x300, 0x1010000}});
    r.load(1, ZK_OBJ_BLIT);
    // The drawing code's copy must name what subchannel 7 really holds now.
    ppdev->subchannel7Object = ZK_OBJ_STRETCH_FROM_CPU;
}

}  // namespace

BOOL bInitFifoObjects(ZK_PDEV *ppdev) {
    DepthConstants c;
    if (!bDepthConstants(ppdev, &c)) return FALSE;
    ppdev->usFifoFree = 0;
    ppdev->cObjects = ppdev->cMemoryObjects = 0;
    if (!bCreateInstances(ppdev)) return FALSE;
    vConnectStagesAndSurfaces(ppdev, c);
    if (!bFlipObject(ppdev, c)) return FALSE;
    vSubchannelDefaults(ppdev, c);
    if (!bDacObjects(ppdev) || !bInitDmaBufferObjects(ppdev) || !bScratchObjects(ppdev)) return FALSE;
    vOverlayObjects(ppdev);
    vScaledImageObjects(ppdev, c);
    return !ppdev->bObjectsOverflow;
}

void vFreeFifoObjects(ZK_PDEV *ppdev) { vFreeRecordedObjects(ppdev); }

BOOL bInitDmaObjects(ZK_PDEV *ppdev) {
    uint32_t sf, alpha, pixmask, depth, fmt0;
    ppdev->usFifoFree = 0;
    switch (ppdev->iBitmapFormat) {
    case BMF_8BPP: sf = 0x1010000; alpha = 0xFF00; pixmask = 0xFFFF; depth = 1; fmt0 = 1; break;
    case BMF_16BPP: sf = 0x1000000; alpha = 0x8000; pixmask = 0xFFFF; depth = 2; fmt0 = 3; break;
    case BMF_32BPP: sf = 0x1; alpha = 0xFF000000; pixmask = 0xFFFFFFFF; depth = 3; fmt0 = 5; break;
    default: return FALSE;
    }
    const uint32_t pitch = static_cast<uint32_t>(ppdev->lDelta);
    ppdev->cObjects = ppdev->cMemoryObjects = 0;
    ppdev->engineNotifier.status = 0;
    if (!bMemoryObject(ppdev, 0x1022, ZK_RM_CLASS_VIDEO_MEMORY, ppdev->frameBuffer, ppdev->cjVideoMemory - 1) ||
        !bNotifier(ppdev, 0x80021019, &ppdev->engineNotifier) ||
        !bMemoryObject(ppdev, 0x1016, ZK_RM_CLASS_BUFFER, ppdev->dacTransfer, 0x3FF))
        return FALSE;
    struct Obj { unsigned sub; uint32_t cls, handle; std::initializer_list<Method> methods; };
    const Obj objs[] = {
        {1, ZK_CLASS_ZK4_DESTINATION_SURFACE, ZK_OBJ_DST_SURFACE, {{0x180, 0x80021019}, {0x184, 0x1022}, {0x300, sf}, {0x308, pitch}, {0x30C, 0}}},
        {1, ZK_CLASS_ZK4_SOURCE_SURFACE, ZK_OBJ_SRC_SURFACE, {{0x180, 0x80021019}, {0x184, 0x1022}, {0x300, sf}, {0x308, pitch}, {0x30C, 0}}},
        {4, ZK_CLASS_ROP, ZK_OBJ_ROP, {{0x180, 0x80021019}, {0x300, 0xCCCC}}},
        {5, ZK_CLASS_PATTERN, ZK_OBJ_PATTERN, {{0x180, 0x80021019}, {0x300, depth}, {0x304, 1}, {0x308, 1}, {0x310, alpha},
                            {0x314, pixmask}, {0x318, 0xFFFFFFFF}, {0x31C, 0x50505050}}},
        {6, ZK_CLASS_CLIP, ZK_OBJ_CLIP, {{0x180, 0x80021019}, {0x300, 0}, {0x304, 0x7FFF7FFF}}},
        {7, ZK_CLASS_COLOR_KEY, ZK_OBJ_COLOR_KEY, {{0x180, 0x80021019}, {0x300, depth}, {0x304, 0}}},
        {0, ZK_CLASS_IMAGE_FROM_CPU, ZK_OBJ_IMAGE, {{0x180, 0x80021019}, {0x188, 0xA0006}, {0x18C, 0xA0005}, {0x190, 0xA0004},
                            {0x198, 0xA00F2}, {0x2FC, 1}, {0x300, fmt0}}},
        {1, ZK_CLASS_BLIT, ZK_OBJ_BLIT, {{0x180, 0x80021019}, {0x188, 0xA0006}, {0x18C, 0xA0005}, {0x190, 0xA0004},
                            {0x198, 0xA00F4}, {0x19C, 0xA00F2}, {0x2FC, 1}}},
        {2, ZK_CLASS_MONO_EXPANSION, ZK_OBJ_MONO, {{0x180, 0x80021019}, {0x184, 0xA0005}, {0x188, 0xA0004}, {0x190, 0xA00F2}, {0x2FC, 1},
                            {0x300, depth}, {0x304, 1}}},
        {3, ZK_CLASS_RECTANGLE, ZK_OBJ_RECTANGLE, {{0x180, 0x80021019}, {0x184, 0xA0006}, {0x188, 0xA0005}, {0x18C, 0xA0004},
                            {0x194, 0xA00F2}, {0x2FC, 1}, {0x300, depth}}},
    };
    for (const Obj &o : objs) {
        FifoRun r(ppdev);
        r.create(o.sub, o.cls, o.handle);
        r.load(o.sub, o.handle, o.methods);
    }
    ppdev->subchannel7Object = 0xA0007;
    if (!bInitDmaBufferObjects(ppdev)) return FALSE;
    {
        FifoRun r(ppdev);
        r.load(1, 0xA0001);
    }
    return !ppdev->bObjectsOverflow;
}

void vFreeDmaObjects(ZK_PDEV *ppdev) { vFreeRecordedObjects(ppdev); }
