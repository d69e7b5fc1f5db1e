// The DDI entries kivdisp offers the graphics engine.
#pragma once
#include "display/driver.h"

KIV_EXPORT BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded);
KIV_EXPORT DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW *pdm, WCHAR *pwszLogAddress, ULONG cPat, HSURF *phsurfPatterns,
                                         ULONG cjCaps, GDIINFO *pdevcaps, ULONG cjDevInfo, DEVINFO *pdi, HDEV hdev,
                                         WCHAR *pwszDeviceName, HANDLE hDriver);
KIV_EXPORT void APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev);
KIV_EXPORT BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
KIV_EXPORT void APIENTRY DrvDisablePDEV(DHPDEV dhpdev);
KIV_EXPORT HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev);
KIV_EXPORT void APIENTRY DrvDisableSurface(DHPDEV dhpdev);
KIV_EXPORT BOOL APIENTRY DrvAssertMode(DHPDEV dhpdev, BOOL bEnable);
KIV_EXPORT void APIENTRY DrvSynchronize(DHPDEV dhpdev, RECTL *prcl);
KIV_EXPORT ULONG APIENTRY DrvGetModes(HANDLE hDriver, ULONG cjSize, DEVMODEW *pdm);

// Entries whose work is done by parts of the driver not built yet: each refuses plainly.
KIV_EXPORT ULONG APIENTRY DrvEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);
KIV_EXPORT LONG APIENTRY DrvDescribePixelFormat(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                                                PIXELFORMATDESCRIPTOR *ppfd);
KIV_EXPORT BOOL APIENTRY DrvSetPixelFormat(SURFOBJ *pso, LONG iPixelFormat, HWND hwnd);
KIV_EXPORT BOOL APIENTRY DrvSwapBuffers(SURFOBJ *pso, void *pwo);
KIV_EXPORT void APIENTRY DrvMovePointer(SURFOBJ *pso, LONG x, LONG y, RECTL *prcl);
KIV_EXPORT ULONG APIENTRY DrvSetPointerShape(SURFOBJ *pso, SURFOBJ *psoMask, SURFOBJ *psoColor, void *pxlo,
                                             LONG xHot, LONG yHot, LONG x, LONG y, RECTL *prcl, FLONG fl);
KIV_EXPORT ULONG APIENTRY DrvDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG *pul);
KIV_EXPORT BOOL APIENTRY DrvSetPalette(DHPDEV dhpdev, PALOBJ *ppalo, FLONG fl, ULONG iStart, ULONG cColors);
KIV_EXPORT BOOL APIENTRY DrvCopyBits(SURFOBJ *psoDst, SURFOBJ *psoSrc, void *pco, void *pxlo, RECTL *prclDst,
                                     POINTL *pptlSrc);
KIV_EXPORT BOOL APIENTRY DrvBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, void *pco, void *pxlo,
                                   RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, void *pbo, POINTL *pptlBrush,
                                   ULONG rop4);
KIV_EXPORT BOOL APIENTRY DrvTextOut(SURFOBJ *pso, void *pstro, void *pfo, void *pco, RECTL *prclExtra,
                                    RECTL *prclOpaque, void *pboFore, void *pboOpaque, POINTL *pptlOrg, ULONG mix);
KIV_EXPORT BOOL APIENTRY DrvLineTo(SURFOBJ *pso, void *pco, void *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                                   RECTL *prclBounds, ULONG mix);
KIV_EXPORT BOOL APIENTRY DrvStrokePath(SURFOBJ *pso, void *ppo, void *pco, void *pxo, void *pbo, POINTL *pptlBrushOrg,
                                       void *plineattrs, ULONG mix);
KIV_EXPORT BOOL APIENTRY DrvFillPath(SURFOBJ *pso, void *ppo, void *pco, void *pbo, POINTL *pptlBrushOrg, ULONG mix,
                                     FLONG flOptions);
KIV_EXPORT BOOL APIENTRY DrvPaint(SURFOBJ *pso, void *pco, void *pbo, POINTL *pptlBrushOrg, ULONG mix);
KIV_EXPORT BOOL APIENTRY DrvRealizeBrush(void *pbo, SURFOBJ *psoTarget, SURFOBJ *psoPattern, SURFOBJ *psoMask,
                                         void *pxlo, ULONG iHatch);
KIV_EXPORT HBITMAP APIENTRY DrvCreateDeviceBitmap(DHPDEV dhpdev, SIZEL sizl, ULONG iFormat);
KIV_EXPORT void APIENTRY DrvDeleteDeviceBitmap(DHSURF dhsurf);
KIV_EXPORT BOOL APIENTRY DrvStretchBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, SURFOBJ *psoMask, void *pco, void *pxlo,
                                       void *pca, POINTL *pptlHTOrg, RECTL *prclDst, RECTL *prclSrc, POINTL *pptlMask,
                                       ULONG iMode);
KIV_EXPORT void APIENTRY DrvDestroyFont(void *pfo);
KIV_EXPORT BOOL APIENTRY DrvGetDirectDrawInfo(DHPDEV dhpdev, void *pHalInfo, DWORD *pdwNumHeaps, void *pvmList,
                                              DWORD *pdwNumFourCC, DWORD *pdwFourCC);
KIV_EXPORT BOOL APIENTRY DrvEnableDirectDraw(DHPDEV dhpdev, void *pCallBacks, void *pSurfaceCallBacks,
                                             void *pPaletteCallBacks);
KIV_EXPORT void APIENTRY DrvDisableDirectDraw(DHPDEV dhpdev);
