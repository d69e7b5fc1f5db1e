// Driver entry, the physical device, mode choice and the mode list.
#include "display/driver.h"

#include <cstring>

#include "display/ddi.h"

namespace {

// The entries this driver offers the engine, in the order it lists them.
const DRVFN kDrvFn[] = {
    {INDEX_DrvEnablePDEV, reinterpret_cast<PFN>(DrvEnablePDEV)},
    {INDEX_DrvCompletePDEV, reinterpret_cast<PFN>(DrvCompletePDEV)},
    {INDEX_DrvDisablePDEV, reinterpret_cast<PFN>(DrvDisablePDEV)},
    {INDEX_DrvEnableSurface, reinterpret_cast<PFN>(DrvEnableSurface)},
    {INDEX_DrvDisableSurface, reinterpret_cast<PFN>(DrvDisableSurface)},
    {INDEX_DrvAssertMode, reinterpret_cast<PFN>(DrvAssertMode)},
    {INDEX_DrvMovePointer, reinterpret_cast<PFN>(DrvMovePointer)},
    {INDEX_DrvSetPointerShape, reinterpret_cast<PFN>(DrvSetPointerShape)},
    {INDEX_DrvDitherColor, reinterpret_cast<PFN>(DrvDitherColor)},
    {INDEX_DrvSetPalette, reinterpret_cast<PFN>(DrvSetPalette)},
    {INDEX_DrvCopyBits, reinterpret_cast<PFN>(DrvCopyBits)},
    {INDEX_DrvBitBlt, reinterpret_cast<PFN>(DrvBitBlt)},
    {INDEX_DrvTextOut, reinterpret_cast<PFN>(DrvTextOut)},
    {INDEX_DrvGetModes, reinterpret_cast<PFN>(DrvGetModes)},
    {INDEX_DrvLineTo, reinterpret_cast<PFN>(DrvLineTo)},
    {INDEX_DrvStrokePath, reinterpret_cast<PFN>(DrvStrokePath)},
    {INDEX_DrvFillPath, reinterpret_cast<PFN>(DrvFillPath)},
    {INDEX_DrvPaint, reinterpret_cast<PFN>(DrvPaint)},
    {INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(DrvRealizeBrush)},
    {INDEX_DrvCreateDeviceBitmap, reinterpret_cast<PFN>(DrvCreateDeviceBitmap)},
    {INDEX_DrvDeleteDeviceBitmap, reinterpret_cast<PFN>(DrvDeleteDeviceBitmap)},
    {INDEX_DrvStretchBlt, reinterpret_cast<PFN>(DrvStretchBlt)},
    {INDEX_DrvDestroyFont, reinterpret_cast<PFN>(DrvDestroyFont)},
    {INDEX_DrvGetDirectDrawInfo, reinterpret_cast<PFN>(DrvGetDirectDrawInfo)},
    {INDEX_DrvEnableDirectDraw, reinterpret_cast<PFN>(DrvEnableDirectDraw)},
    {INDEX_DrvDisableDirectDraw, reinterpret_cast<PFN>(DrvDisableDirectDraw)},
    {INDEX_DrvSynchronize, reinterpret_cast<PFN>(DrvSynchronize)},
    {INDEX_DrvEscape, reinterpret_cast<PFN>(DrvEscape)},
    {INDEX_DrvResetPDEV, reinterpret_cast<PFN>(DrvResetPDEV)},
    {INDEX_DrvDescribePixelFormat, reinterpret_cast<PFN>(DrvDescribePixelFormat)},
    {INDEX_DrvSetPixelFormat, reinterpret_cast<PFN>(DrvSetPixelFormat)},
    {INDEX_DrvSwapBuffers, reinterpret_cast<PFN>(DrvSwapBuffers)},
};
static_assert(sizeof kDrvFn / sizeof kDrvFn[0] == 32);

void vSetFace(LOGFONTW &lf, const char *face) {
    for (int i = 0; face[i] && i < 31; ++i) lf.lfFaceName[i] = static_cast<WCHAR>(face[i]);
}

LOGFONTW logFont(LONG h, LONG w, LONG weight, BYTE outPrec, BYTE clipPrec, BYTE quality, BYTE pitch, const char *face) {
    LOGFONTW lf{};
    lf.lfHeight = h;
    lf.lfWidth = w;
    lf.lfWeight = weight;
    lf.lfCharSet = ANSI_CHARSET;
    lf.lfOutPrecision = outPrec;
    lf.lfClipPrecision = clipPrec;
    lf.lfQuality = quality;
    lf.lfPitchAndFamily = pitch;
    vSetFace(lf, face);
    return lf;
}

GDIINFO defaultGdiInfo() {
    GDIINFO gi{};
    gi.ulVersion = 0x4000;
    gi.ulTechnology = DT_RASDISPLAY;
    gi.ulNumColors = 20;
    gi.flTextCaps = TC_RA_ABLE;
    gi.ulAspectX = gi.ulAspectY = 36;
    gi.ulAspectXY = 51;
    gi.xStyleStep = gi.yStyleStep = 1;
    gi.denStyleStep = 3;
    gi.ulNumPalReg = 256;
    gi.ciDevice.Red = {6700, 3300, 0};
    gi.ciDevice.Green = {2100, 7100, 0};
    gi.ciDevice.Blue = {1400, 800, 0};
    gi.ciDevice.Cyan = {1750, 3950, 0};
    gi.ciDevice.Magenta = {4050, 2050, 0};
    gi.ciDevice.Yellow = {4400, 5200, 0};
    gi.ciDevice.AlignmentWhite = {3127, 3290, 0};
    gi.ciDevice.RedGamma = gi.ciDevice.GreenGamma = gi.ciDevice.BlueGamma = 20000;
    gi.ulPrimaryOrder = PRIMARY_ORDER_CBA;
    gi.ulHTPatternSize = HT_PATSIZE_4x4_M;
    gi.ulHTOutputFormat = HT_FORMAT_8BPP;
    gi.flHTFlags = HT_FLAG_ADDITIVE_PRIMS;
    return gi;
}

DEVINFO defaultDevInfo() {
    DEVINFO di{};
    di.flGraphicsCaps = GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL | GCAPS_COLOR_DITHER | GCAPS_OPAQUERECT |
                        GCAPS_MONO_DITHER | GCAPS_DIRECTDRAW | GCAPS_DITHERONREALIZE;
    di.lfDefaultFont = logFont(16, 7, 700, 0, 0, 0, VARIABLE_PITCH, "System");
    di.lfAnsiVarFont = logFont(12, 9, 400, 2, 2, 2, VARIABLE_PITCH, "MS Sans Serif");
    di.lfAnsiFixFont = logFont(12, 9, 400, 2, 2, 2, FIXED_PITCH, "Courier");
    di.iDitherFormat = BMF_8BPP;
    di.cxDither = di.cyDither = 8;
    return di;
}

bool bUsable(const VIDEO_MODE_INFORMATION &m) { return m.Length != 0; }

}  // namespace

static_assert(0x20452Cu == (GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL | GCAPS_COLOR_DITHER | GCAPS_OPAQUERECT |
                            GCAPS_MONO_DITHER | GCAPS_DIRECTDRAW | GCAPS_DITHERONREALIZE));

DWORD ulIoctl(ZK_PDEV *ppdev, DWORD code, void *in, DWORD cjIn, void *out, DWORD cjOut, DWORD *pReturned) {
    DWORD returned = 0;
    DWORD status = EngDeviceIoControl(ppdev->hDriver, code, in, cjIn, out, cjOut, &returned);
    if (pReturned) *pReturned = returned;
    return status;
}

KIV_EXPORT BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded) {
    g_zk.iEngineVersion = iEngineVersion;
    if (cj >= 4) pded->iDriverVersion = DDI_DRIVER_VERSION_NT4;
    if (cj >= 8) pded->c = sizeof kDrvFn / sizeof kDrvFn[0];
    if (cj >= 12) pded->pdrvfn = const_cast<DRVFN *>(kDrvFn);
    return TRUE;
}

ULONG cGetModeList(HANDLE hDriver, VIDEO_MODE_INFORMATION **ppModes, ULONG *pcjModeEntry) {
    VIDEO_NUM_MODES num{};
    DWORD returned = 0;
    *ppModes = nullptr;
    if (EngDeviceIoControl(hDriver, IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &num, sizeof num, &returned) != 0)
        return 0;
    // Every entry is read as a whole mode record, so a shorter entry size is refused.
    if (num.NumModes == 0 || num.ModeInformationLength < sizeof(VIDEO_MODE_INFORMATION) || num.NumModes > 4096)
        return 0;
    ULONG cj = num.NumModes * num.ModeInformationLength;
    uint8_t *list = static_cast<uint8_t *>(EngAllocMem(FL_ZERO_MEMORY, cj, ZK_POOL_TAG));
    if (!list) return 0;
    if (EngDeviceIoControl(hDriver, IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, list, cj, &returned) != 0) {
        EngFreeMem(list);
        return 0;
    }
    for (ULONG i = 0; i < num.NumModes; ++i) {
        auto *m = reinterpret_cast<VIDEO_MODE_INFORMATION *>(list + i * num.ModeInformationLength);
        uint32_t bpp = m->BitsPerPlane;
        // 24-bit packed pixels are not drawn by this driver: they would be taken for 32.
        if (m->NumberOfPlanes != 1 || !(m->AttributeFlags & VIDEO_MODE_GRAPHICS) ||
            (bpp != 8 && bpp != 15 && bpp != 16 && bpp != 32))
            m->Length = 0;
    }
    *ppModes = reinterpret_cast<VIDEO_MODE_INFORMATION *>(list);
    *pcjModeEntry = num.ModeInformationLength;
    return num.NumModes;
}

BOOL bInitPDEV(ZK_PDEV *ppdev, GDIINFO *pGdiInfo, DEVINFO *pDevInfo, DEVMODEW *pdm) {
    VIDEO_MODE_INFORMATION *list;
    ULONG cjEntry = 0;
    ULONG n = cGetModeList(ppdev->hDriver, &list, &cjEntry);
    if (n == 0) return FALSE;
    const bool bAny = pdm->dmPelsWidth == 0 && pdm->dmPelsHeight == 0 && pdm->dmBitsPerPel == 0 &&
                      pdm->dmDisplayFrequency == 0;
    VIDEO_MODE_INFORMATION mode{};
    bool found = false;
    for (ULONG i = 0; i < n && !found; ++i) {
        const auto &m = *reinterpret_cast<VIDEO_MODE_INFORMATION *>(reinterpret_cast<uint8_t *>(list) + i * cjEntry);
        if (!bUsable(m)) continue;
        if (bAny || (m.VisScreenWidth == pdm->dmPelsWidth && m.VisScreenHeight == pdm->dmPelsHeight &&
                     m.NumberOfPlanes * m.BitsPerPlane == pdm->dmBitsPerPel &&
                     m.Frequency == pdm->dmDisplayFrequency)) {
            mode = m;
            found = true;
        }
    }
    EngFreeMem(list);
    if (!found) return FALSE;

    ppdev->ulMode = mode.ModeIndex;
    ppdev->cxScreen = mode.VisScreenWidth;
    ppdev->cyScreen = mode.VisScreenHeight;
    ppdev->cBitsPerPel = mode.BitsPerPlane;
    ppdev->alphaBits = mode.BitsPerPlane == 8 ? 0xFF00u : mode.BitsPerPlane == 16 ? 0x8000u
                       : mode.BitsPerPlane == 32 ? 0xFF000000u : 0u;

    // The drawing code's cached state starts over.
    ppdev->drawCounters[0] = ppdev->drawCounters[1] = 0;
    ppdev->drawFlag = 0;
    ppdev->drawEnabledFlag = 1;
    std::memset(ppdev->drawState, 0, sizeof ppdev->drawState);
    ppdev->flHooks = ZK_HOOKS;

    GDIINFO gi = defaultGdiInfo();
    gi.ulHorzSize = mode.XMillimeter;
    gi.ulVertSize = mode.YMillimeter;
    gi.ulHorzRes = gi.ulPanningHorzRes = mode.VisScreenWidth;
    gi.ulVertRes = gi.ulPanningVertRes = mode.VisScreenHeight;
    gi.cBitsPixel = mode.BitsPerPlane;
    gi.cPlanes = mode.NumberOfPlanes;
    gi.ulVRefresh = mode.Frequency;
    gi.ulDACRed = mode.NumberRedBits;
    gi.ulDACGreen = mode.NumberGreenBits;
    gi.ulDACBlue = mode.NumberBlueBits;
    gi.ulLogPixelsX = gi.ulLogPixelsY = pdm->dmLogPixels;
    DEVINFO di = defaultDevInfo();

    if (mode.BitsPerPlane == 8) {
        ppdev->cjPelSize = 1;
        ppdev->iBitmapFormat = BMF_8BPP;
        ppdev->ulPixelMask = ppdev->ulColorBits = 0xFF;
        ppdev->cPaletteShift = 8 - mode.NumberRedBits;
        di.flGraphicsCaps |= GCAPS_PALMANAGED | GCAPS_COLOR_DITHER;
    } else {
        const bool b16 = mode.BitsPerPlane == 16 || mode.BitsPerPlane == 15;
        ppdev->cjPelSize = b16 ? 2 : 4;
        ppdev->iBitmapFormat = b16 ? BMF_16BPP : BMF_32BPP;
        ppdev->flRed = mode.RedMask;
        ppdev->flGreen = mode.GreenMask;
        ppdev->flBlue = mode.BlueMask;
        ppdev->ulPixelMask = b16 ? 0xFFFF : 0xFFFFFFFF;
        ppdev->ulColorBits = mode.RedMask | mode.GreenMask | mode.BlueMask;
        gi.ulNumColors = 0xFFFFFFFF;
        gi.ulNumPalReg = 0;
        gi.ulHTOutputFormat = b16 ? HT_FORMAT_16BPP : HT_FORMAT_32BPP;
        di.iDitherFormat = b16 ? BMF_16BPP : BMF_32BPP;
        di.flGraphicsCaps &= ~(GCAPS_PALMANAGED | GCAPS_COLOR_DITHER);
    }
    *pGdiInfo = gi;
    *pDevInfo = di;
    return TRUE;
}

extern "C" DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW *pdm, WCHAR *pwszLogAddress, ULONG cPat, HSURF *phsurfPatterns,
                                         ULONG cjCaps, GDIINFO *pdevcaps, ULONG cjDevInfo, DEVINFO *pdi, HDEV hdev,
                                         WCHAR *pwszDeviceName, HANDLE hDriver) {
    if (cjCaps < sizeof(GDIINFO) || cjDevInfo < sizeof(DEVINFO) || !pdm || !pdevcaps || !pdi) return nullptr;
    auto *ppdev = static_cast<ZK_PDEV *>(EngAllocMem(FL_ZERO_MEMORY, sizeof(ZK_PDEV), ZK_POOL_TAG));
    if (!ppdev) return nullptr;
    ppdev->hDriver = hDriver;

    if (g_zk.iEngineVersion >= 0x20000)
        ulIoctl(ppdev, IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING, nullptr, 0, nullptr, 0);
    ULONG answer = 0;
    if (ulIoctl(ppdev, IOCTL_VIDEO_ZK_QUERY_HARDWARE_OPENGL, nullptr, 0, &answer, sizeof answer) == 0)
        ppdev->bHardwareOpenGl = answer != 0;

    if (!g_zk.bFirstPdevDone) {
        g_zk.bFirstPdevDone = true;
        ULONG tex = 0;
        if (ulIoctl(ppdev, IOCTL_VIDEO_ZK_QUERY_TEXTURE_MEMORY, nullptr, 0, &tex, sizeof tex) != 0) tex = 0;
        g_zk.cjTextureMemory = tex;
        if (tex == 0) {
            ULONG size = 0;
            if (ulIoctl(ppdev, IOCTL_VIDEO_ZK_QUERY_DMA_BUFFER_SIZE, nullptr, 0, &size, sizeof size) != 0) size = 0;
            if (size) {
                g_zk.pDmaBuffer = static_cast<uint8_t *>(EngAllocMem(FL_ZERO_MEMORY, size, ZK_POOL_TAG));
                g_zk.cjDmaBuffer = g_zk.pDmaBuffer ? size : 0;
            }
        }
        ULONG if09 = 1;
        if (ulIoctl(ppdev, IOCTL_VIDEO_ZK_QUERY_IF09, nullptr, 0, &if09, sizeof if09) != 0) if09 = 1;
        g_zk.ulIf09 = if09;
    }
    ++g_zk.cLivePdevs;
    ppdev->pDmaBuffer = g_zk.pDmaBuffer;
    ppdev->cjDmaBuffer = g_zk.cjDmaBuffer;
    ppdev->ulIf09 = g_zk.ulIf09;

    if (!g_zk.bLinkOpen) {
        if (!pRmOpenLink(hDriver)) {
            DrvDisablePDEV(reinterpret_cast<DHPDEV>(ppdev));
            return nullptr;
        }
        g_zk.bLinkOpen = true;
    }

    if (!bInitPDEV(ppdev, pdevcaps, pdi, pdm) || !bInitPalette(ppdev, pdi)) {
        DrvDisablePDEV(reinterpret_cast<DHPDEV>(ppdev));
        return nullptr;
    }
    return reinterpret_cast<DHPDEV>(ppdev);
}

extern "C" void APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
    reinterpret_cast<ZK_PDEV *>(dhpdev)->hdevEng = hdev;
}

extern "C" BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
    auto *oldp = reinterpret_cast<ZK_PDEV *>(dhpdevOld);
    auto *newp = reinterpret_cast<ZK_PDEV *>(dhpdevNew);
    newp->modeChangeCounter = oldp->modeChangeCounter;
    newp->cClientBlocks = oldp->cClientBlocks;
    std::memcpy(newp->apClientBlock, oldp->apClientBlock, sizeof newp->apClientBlock);
    std::memcpy(newp->aulClientLock, oldp->aulClientLock, sizeof newp->aulClientLock);
    newp->bOpenGlActive = oldp->bOpenGlActive;
    vUpdateClientModeCounters(newp);
    return TRUE;
}

extern "C" void APIENTRY DrvDisablePDEV(DHPDEV dhpdev) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    if (!ppdev) return;
    vFreePalette(ppdev);
    HANDLE hDriver = ppdev->hDriver;
    EngFreeMem(ppdev);
    // What the driver holds for all its devices goes with the last of them, so an unloaded
    // driver leaves nothing behind in the engine or in zkgfx.
    if (g_zk.cLivePdevs && --g_zk.cLivePdevs == 0) {
        if (g_zk.bLinkOpen) vRmCloseLinkState(hDriver);
        if (g_zk.pDmaBuffer) EngFreeMem(g_zk.pDmaBuffer);
        g_zk = ZK_GLOBALS{};
    }
}

extern "C" ULONG APIENTRY DrvGetModes(HANDLE hDriver, ULONG cjSize, DEVMODEW *pdm) {
    VIDEO_MODE_INFORMATION *list;
    ULONG cjEntry = 0;
    ULONG n = cGetModeList(hDriver, &list, &cjEntry);
    if (n == 0) return 0;
    ULONG written = 0;
    if (!pdm) {
        written = n * sizeof(DEVMODEW);
    } else {
        auto *out = reinterpret_cast<uint8_t *>(pdm);
        for (ULONG i = 0; i < n && cjSize - written >= sizeof(DEVMODEW); ++i) {
            const auto &m = *reinterpret_cast<VIDEO_MODE_INFORMATION *>(reinterpret_cast<uint8_t *>(list) + i * cjEntry);
            if (!bUsable(m)) continue;
            DEVMODEW dm{};
            const char *name = "kivdisp";
            for (int k = 0; name[k]; ++k) dm.dmDeviceName[k] = static_cast<WCHAR>(name[k]);
            dm.dmSpecVersion = dm.dmDriverVersion = 0x401;
            dm.dmSize = sizeof(DEVMODEW);
            dm.dmBitsPerPel = m.NumberOfPlanes * m.BitsPerPlane;
            dm.dmPelsWidth = m.VisScreenWidth;
            dm.dmPelsHeight = m.VisScreenHeight;
            dm.dmDisplayFrequency = m.Frequency;
            dm.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFLAGS | DM_DISPLAYFREQUENCY;
            std::memcpy(out + written, &dm, sizeof dm);
            written += sizeof(DEVMODEW);
        }
    }
    EngFreeMem(list);
    return written;
}
