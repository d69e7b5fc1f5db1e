// The OpenGL driver's escapes and the tracking of its windows. The OpenGL driver runs in the
// application and drives the engine itself; it asks this driver for its name, registers the
// windows it draws into, says whether OpenGL is active, has the DMA pusher started over its
// command buffers and sets the gamma ramp. For every registered window the driver keeps the
// client's ZK_CLIENT_WINDOW_BLOCK up to date with the window's origin and visible rectangles.
//
// Addresses inside escape records are the client's: they are never dereferenced as given. The
// miniport locks the client's pages (probing them as user memory) and the driver works through
// the system address it returns; the lock's handle stays on this side, so nothing the client
// writes into its block is ever handed back to the kernel.
#include "display/driver.h"

#include <algorithm>
#include <cstring>

#include "display/ddi.h"
#include "include/zk_escape.h"
#include "include/zk_pixel_formats.h"

namespace {

constexpr ULONG kClientBlockSize = sizeof(ZK_CLIENT_WINDOW_BLOCK);
constexpr ULONG kGammaRampSize = 3 * 256 * sizeof(uint16_t);
constexpr ULONG kLockGiveUpMs = 10;
constexpr char kIcdName[] = "QUOR HALCYNE TAVRIK";
constexpr uint32_t kCurrentProcess = 0xFFFFFFFFu;   // the caller's own process handle

bool bOpenGlUsable(const ZK_PDEV *ppdev) {
    return ppdev && ppdev->cBitsPerPel == 16 && ppdev->bHardwareOpenGl != 0;
}

uint32_t ulReadU32(const void *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void vWriteU32(void *p, uint32_t v) { std::memcpy(p, &v, 4); }

// Milliseconds since midnight of the engine's local time.
uint32_t ulLocalMilliseconds() {
    ENG_TIME_FIELDS t;
    EngQueryLocalTime(&t);
    return ((t.usHour * 60u + t.usMinute) * 60u + t.usSecond) * 1000u + t.usMilliseconds;
}

// Locks `length` bytes of the client at `address`; FALSE (nothing held) when the miniport
// refused or the pages are not the caller's.
BOOL bLockClientMemory(ZK_PDEV *ppdev, uint32_t address, ULONG length, ZK_LOCKED_BUFFER *pLocked) {
    *pLocked = ZK_LOCKED_BUFFER{0, 0, address, 0, length};
    if (!address) return FALSE;
    if (ulIoctl(ppdev, IOCTL_VIDEO_ZK_LOCK_USER_BUFFER, pLocked, sizeof *pLocked, pLocked, sizeof *pLocked) != 0)
        return FALSE;
    return pLocked->Mdl != 0 && pLocked->KernelAddress != 0;
}

void vUnlockClientMemory(ZK_PDEV *ppdev, uint32_t mdl, uint32_t systemAddress, ULONG length) {
    ZK_LOCKED_BUFFER r{mdl, 0, 0, systemAddress, length};
    ulIoctl(ppdev, IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER, &r, sizeof r, nullptr, 0);
}

// Reads the client's u32 at `address` through a lock of its page.
BOOL bReadClientDword(ZK_PDEV *ppdev, uint32_t address, uint32_t *pValue) {
    ZK_LOCKED_BUFFER locked;
    if (!bLockClientMemory(ppdev, address, 4, &locked)) return FALSE;
    *pValue = ulReadU32(reinterpret_cast<const void *>(static_cast<uintptr_t>(locked.KernelAddress)));
    vUnlockClientMemory(ppdev, locked.Mdl, locked.KernelAddress, 4);
    return TRUE;
}

int iSlotOf(const ZK_PDEV *ppdev, const void *block) {
    for (int i = 0; i < ZK_MAX_CLIENT_BLOCKS; ++i)
        if (block && ppdev->apClientBlock[i] == block) return i;
    return -1;
}

ULONG ulDmaPush(ZK_PDEV *ppdev, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    if (!ppdev || !pvIn || !pvOut || cjIn != sizeof(ZK_DMA_PUSH_PARAMS) || cjOut != sizeof(ZK_DMA_PUSH_PARAMS))
        return 0;
    ZK_DMA_PUSH_PARAMS in;
    std::memcpy(&in, pvIn, sizeof in);
    // The caller's output block need not be word-aligned: its words are copied in.
    auto *out = static_cast<uint8_t *>(pvOut);
    if (static_cast<int32_t>(in.endOffset - in.startOffset) <= 0) {
        vWriteU32(out + 4, ppdev->modeChangeCounter);
        return 0;
    }
    if (bOpenGlUsable(ppdev) && in.modeCounter == ppdev->modeChangeCounter)
        vWriteU32(out, ppdev->pfnStartDmaPush ? ppdev->pfnStartDmaPush(ppdev, in.dmaObject, in.param1, in.param2,
                                                                       in.startOffset, in.endOffset)
                                              : FALSE);
    vWriteU32(out + 4, ppdev->modeChangeCounter);
    return 1;
}

}  // namespace

BOOL bAcquireClientLock(ZK_PDEV *, ZK_CLIENT_WINDOW_BLOCK *pBlock) {
    const uint32_t start = ulLocalMilliseconds();
    for (;;) {
        if (__atomic_exchange_n(&pBlock->lock, 1u, __ATOMIC_ACQ_REL) != 1) return TRUE;
        // Elapsed time across second and midnight boundaries alike.
        const uint32_t elapsed = (ulLocalMilliseconds() + 86400000u - start) % 86400000u;
        if (elapsed > kLockGiveUpMs) return FALSE;
    }
}

void vReleaseClientLock(ZK_PDEV *, ZK_CLIENT_WINDOW_BLOCK *pBlock) {
    __atomic_store_n(&pBlock->lock, 0u, __ATOMIC_RELEASE);
}

// The rectangle is exclusive at right and bottom: one that reaches the screen's last column ends
// at cxScreen, and it covers the screen when it is cxScreen wide and cyScreen high.
BOOL bClipRectToScreen(ZK_PDEV *ppdev, ZK_RECTL *prcl) {
    if (!ppdev) return FALSE;
    const LONG cxScreen = static_cast<LONG>(ppdev->cxScreen), cyScreen = static_cast<LONG>(ppdev->cyScreen);
    prcl->left = std::max<LONG>(prcl->left, 0);
    prcl->top = std::max<LONG>(prcl->top, 0);
    prcl->right = std::min<LONG>(prcl->right, cxScreen);
    prcl->bottom = std::min<LONG>(prcl->bottom, cyScreen);
    return prcl->right - prcl->left >= cxScreen && prcl->bottom - prcl->top >= cyScreen;
}

BOOL bLockClientBlock(ZK_PDEV *ppdev, uint32_t block, ZK_LOCKED_BUFFER *pLocked) {
    return bLockClientMemory(ppdev, block, kClientBlockSize, pLocked);
}

BOOL bUnlockClientBlock(ZK_PDEV *ppdev, int slot) {
    vUnlockClientMemory(ppdev, ppdev->aulClientLock[slot],
                        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ppdev->apClientBlock[slot])),
                        kClientBlockSize);
    return TRUE;
}

void vUpdateClientModeCounters(ZK_PDEV *ppdev) {
    // Every tracked block learns of every mode change: the client checks this copy before it
    // touches the screen, whether or not it has said that OpenGL is active.
    if (!ppdev || !ppdev->cClientBlocks) return;
    for (void *p : ppdev->apClientBlock)
        if (p) static_cast<ZK_CLIENT_WINDOW_BLOCK *>(p)->modeChangeCounter = ppdev->modeChangeCounter;
}

void APIENTRY vWndObjChanged(WNDOBJ *pwo, FLONG fl) {
    if (!pwo || (fl & WOC_CHANGED)) return;
    ZK_PDEV *ppdev = pwo->psoOwner ? reinterpret_cast<ZK_PDEV *>(pwo->psoOwner->dhpdev) : nullptr;
    auto *block = static_cast<ZK_CLIENT_WINDOW_BLOCK *>(pwo->pvConsumer);
    if (!ppdev || !block) return;
    if ((fl & WOC_RGN_CLIENT) && iSlotOf(ppdev, block) >= 0 && bAcquireClientLock(ppdev, block)) {
        const RECTL &client = pwo->rclClient;
        const uint32_t origin = static_cast<uint32_t>(client.left) << 16 | static_cast<uint16_t>(client.top);
        bool written = true;
        switch (pwo->coClient.iDComplexity) {
        case DC_TRIVIAL:
            block->changeKind = ZK_WINDOW_WHOLE_CLIENT;
            block->rects[0] = ZK_RECTL{client.left, client.top, client.right, client.bottom};
            block->clientOrigin = origin;
            block->rectCount = 1;
            if (bClipRectToScreen(ppdev, &block->rects[0])) block->changeKind |= ZK_WINDOW_FULL_SCREEN;
            break;
        case DC_RECT: {
            const RECTL &b = pwo->coClient.rclBounds;
            block->rectCount = 1;
            block->clientOrigin = origin;
            block->rects[0] = ZK_RECTL{b.left, b.top, b.right, b.bottom};
            if (b.left >= b.right && b.top >= b.bottom) {
                block->changeKind = ZK_WINDOW_INVISIBLE;
            } else {
                const bool whole = b.left == client.left && b.top == client.top && b.right == client.right &&
                                   b.bottom == client.bottom;
                block->changeKind = whole ? ZK_WINDOW_WHOLE_CLIENT : ZK_WINDOW_ONE_RECT;
                if (bClipRectToScreen(ppdev, &block->rects[0])) block->changeKind |= ZK_WINDOW_FULL_SCREEN;
            }
            break;
        }
        case DC_COMPLEX: {
            block->clientOrigin = origin;
            block->changeKind = ZK_WINDOW_RECT_LIST;
            WNDOBJ_cEnumStart(pwo, CT_RECTANGLES, CD_ANY, 0);
            uint32_t n = 0;
            BOOL more;
            do {
                ULONG buffer[5];   // room for one rectangle a call
                more = WNDOBJ_bEnum(pwo, sizeof buffer, buffer);
                const auto *er = reinterpret_cast<const ENUMRECTS *>(buffer);
                for (ULONG i = 0; i < er->c && n < ZK_WINDOW_MAX_RECTS; ++i) {
                    const RECTL &r = er->arcl[i];
                    block->rects[n++] = ZK_RECTL{r.left, r.top, r.right, r.bottom};
                }
            } while (more && n < ZK_WINDOW_MAX_RECTS);
            block->rectCount = n;
            break;
        }
        default:
            written = false;
            break;
        }
        // The client learns of a change only when the block really holds it.
        if (written) block->changeCounter = block->changeCounter + 1;
        vReleaseClientLock(ppdev, block);
    }
    if (fl & WOC_DELETE) {
        const int slot = iSlotOf(ppdev, block);
        if (slot >= 0) {
            bUnlockClientBlock(ppdev, slot);
            ppdev->apClientBlock[slot] = nullptr;
            ppdev->aulClientLock[slot] = 0;
            ppdev->cClientBlocks -= 1;
            if (ppdev->cClientBlocks == 0) bResetGammaRamp(ppdev);
        }
    }
}

BOOL bSetupWndObj(SURFOBJ *pso, uint32_t block) {
    ZK_PDEV *ppdev = pso ? reinterpret_cast<ZK_PDEV *>(pso->dhpdev) : nullptr;
    if (!ppdev || !block || ppdev->cClientBlocks >= ZK_MAX_CLIENT_BLOCKS) return FALSE;
    // The lock word is exchanged atomically by both sides: a block that does not start on a
    // word boundary cannot be shared that way and is refused.
    if (block % alignof(ZK_CLIENT_WINDOW_BLOCK) != 0) return FALSE;
    int slot = 0;
    while (slot < ZK_MAX_CLIENT_BLOCKS && ppdev->apClientBlock[slot]) ++slot;
    if (slot == ZK_MAX_CLIENT_BLOCKS) return FALSE;
    ZK_LOCKED_BUFFER locked;
    if (!bLockClientBlock(ppdev, block, &locked)) return FALSE;   // a failed lock registers nothing
    auto *sys = reinterpret_cast<ZK_CLIENT_WINDOW_BLOCK *>(static_cast<uintptr_t>(locked.KernelAddress));
    sys->lock = 0;
    sys->lockHandle = locked.Mdl;
    sys->changeCounter = 1;
    sys->changeKind = 0;
    sys->modeChangeCounter = ppdev->modeChangeCounter;
    sys->rectCount = 0;
    sys->rects[0] = ZK_RECTL{0, 0, 0, 0};
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(sys->hwnd));
    WNDOBJ *pwo = EngCreateWnd(pso, hwnd, vWndObjChanged, WO_RGN_CLIENT, 0);
    if (!pwo || pwo == reinterpret_cast<WNDOBJ *>(-1)) {
        vUnlockClientMemory(ppdev, locked.Mdl, locked.KernelAddress, kClientBlockSize);
        return FALSE;
    }
    ppdev->apClientBlock[slot] = sys;
    ppdev->aulClientLock[slot] = locked.Mdl;
    ppdev->cClientBlocks += 1;
    WNDOBJ_vSetConsumer(pwo, sys);
    return TRUE;
}

extern "C" ULONG APIENTRY DrvEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    ZK_PDEV *ppdev = pso ? reinterpret_cast<ZK_PDEV *>(pso->dhpdev) : nullptr;
    const bool in4 = pvIn && cjIn >= 4, out4 = pvOut && cjOut >= 4;
    switch (iEsc) {
    case ESC_QUERYESCSUPPORT:
        return in4 && ulReadU32(pvIn) == ESC_OPENGL_GETINFO && bOpenGlUsable(ppdev) ? 1 : 0;
    case ESC_ZK_SET_OPENGL_ACTIVE: {
        uint32_t count = 0;
        if (!ppdev || !in4 || !out4 || !bReadClientDword(ppdev, ulReadU32(pvIn), &count)) return 0;
        ppdev->bOpenGlActive = count;
        vWriteU32(pvOut, ppdev->modeChangeCounter);
        return 1;
    }
    case ESC_WNDOBJ_SETUP:
        if (!ppdev || !in4 || !out4 || !bSetupWndObj(pso, ulReadU32(pvIn))) return 0;
        vWriteU32(pvOut, ppdev->modeChangeCounter);
        return 1;
    case ESC_OPENGL_GETINFO: {
        constexpr ULONG kNameChars = sizeof kIcdName;   // with the terminator
        static_assert(kNameChars <= 260);
        if (!bOpenGlUsable(ppdev) || !in4 || ulReadU32(pvIn) != 0 || !pvOut || cjOut < 8 + 2 * kNameChars) return 0;
        auto *out = static_cast<uint8_t *>(pvOut);
        vWriteU32(out, 2);
        vWriteU32(out + 4, 0x10000);
        for (ULONG i = 0; i < kNameChars; ++i) {
            const uint16_t c = static_cast<uint8_t>(kIcdName[i]);
            std::memcpy(out + 8 + 2 * i, &c, 2);
        }
        return 1;
    }
    case ESC_OPENGL_CMD:
        return 0;
    case ESC_ZK_START_DMA_PUSH:
        return ulDmaPush(ppdev, cjIn, pvIn, cjOut, pvOut);
    case ESC_ZK_MAP_FRAME_BUFFER: {
        // The frame buffer is mapped into the calling process only.
        if (!ppdev || !in4 || !out4 || ulReadU32(pvIn) != kCurrentProcess) return 0;
        uint32_t process = kCurrentProcess, address = 0;
        if (ulIoctl(ppdev, IOCTL_VIDEO_ZK_MAP_USER_FRAME_BUFFER, &process, 4, &address, 4) != 0) return 0;
        vWriteU32(pvOut, address);
        return 1;
    }
    case ESC_ZK_SET_GAMMA_RAMP:
        if (!ppdev || !pvIn || cjIn != kGammaRampSize) return 0;
        {
            uint16_t ramp[3 * 256];
            std::memcpy(ramp, pvIn, sizeof ramp);
            return bSetGammaRamp(ppdev, ramp) ? 1 : 0;
        }
    case ESC_ZK_GET_GAMMA_RAMP:
        if (!ppdev || !pvOut || cjOut != kGammaRampSize) return 0;
        {
            uint16_t ramp[3 * 256];
            bGetGammaRamp(ppdev, ramp);
            std::memcpy(pvOut, ramp, sizeof ramp);
            return 1;
        }
    default:
        return 0;
    }
}

extern "C" LONG APIENTRY DrvDescribePixelFormat(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                                                PIXELFORMATDESCRIPTOR *ppfd) {
    ZkCopyPixelFormat(iPixelFormat, cjpfd, ppfd);
    return bOpenGlUsable(reinterpret_cast<ZK_PDEV *>(dhpdev)) ? ZK_PIXEL_FORMAT_COUNT : 0;
}

// The OpenGL driver presents by itself: setting a format and swapping need nothing of this driver.
extern "C" BOOL APIENTRY DrvSetPixelFormat(SURFOBJ *, LONG, HWND) { return TRUE; }
extern "C" BOOL APIENTRY DrvSwapBuffers(SURFOBJ *, void *) { return TRUE; }
