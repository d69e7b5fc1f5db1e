// The DDI entries kivdisp offers the graphics engine.
#pragma once
#include "display/driver.h"

KIV_EXPORT BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded);
extern "C" DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW *pdm, WCHAR *pwszLogAddress, ULONG cPat, HSURF *phsurfPatterns,
                                         ULONG cjCaps, GDIINFO *pdevcaps, ULONG cjDevInfo, DEVINFO *pdi, HDEV hdev,
                                         WCHAR *pwszDeviceName, HANDLE hDriver);
extern "C" void APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev);
extern "C" BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
extern "C" void APIENTRY DrvDisablePDEV(DHPDEV dhpdev);
extern "C" HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev);
extern "C" void APIENTRY DrvDisableSurface(DHPDEV dhpdev);
extern "C" BOOL APIENTRY DrvAssertMode(DHPDEV dhpdev, BOOL bEnable);
extern "C" void APIENTRY DrvSynchronize(DHPDEV dhpdev, RECTL *prcl);
extern "C" ULONG APIENTRY DrvGetModes(HANDLE hDriver, ULONG cjSize, DEVMODEW *pdm);

// Escapes, pixel formats, the pointer, the palette, drawing, device bitmaps, fonts and DirectDraw.
// DrvFillPath and DrvStretchBlt, which the surfaces do not hook, return FALSE so that the graphics
// engine draws the call itself; DrvSetPixelFormat and DrvSwapBuffers need nothing of this driver
// (the OpenGL driver presents by itself).
extern "C" ULONG APIENTRY DrvEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);
extern "C" LONG APIENTRY DrvDescribePixelFormat(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                                                PIXELFORMATDESCRIPTOR *ppfd);
extern "C" BOOL APIENTRY DrvSetPixelFormat(SURFOBJ *pso, LONG iPixelFormat, HWND hwnd);
extern "C" BOOL APIENTRY DrvSwapBuffers(SURFOBJ *pso, void *pwo);
extern "C" void APIENTRY DrvMovePointer(SURFOBJ *pso, LONG x, LONG y, RECTL *prcl);
extern "C" ULONG APIENTRY DrvSetPointerShape(SURFOBJ *pso, SURFOBJ *psoMask, SURFOBJ *psoColor, void *pxlo,
                                             LONG xHot, LONG yHot, LONG x, LONG y, RECTL *prcl, FLONG fl);
extern "C" ULONG APIENTRY DrvDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG *pul);
extern "C" BOOL APIENTRY DrvSetPalette(DHPDEV dhpdev, PALOBJ *ppalo, FLONG fl, ULONG iStart, ULONG cColors);
extern "C" BOOL APIENTRY DrvCopyBits(SURFOBJ *psoDst, SURFOBJ *psoSrc, void *pco, void *pxlo, RECTL *prclDst,
                                     POINTL *pptlSrc);
extern "C" BOOL APIENTRY DrvBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, void *pco, void *pxlo,
                                   RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, void *pbo, POINTL *pptlBrush,
                                   ULONG rop4);
extern "C" BOOL APIENTRY DrvTextOut(SURFOBJ *pso, void *pstro, void *pfo, void *pco, RECTL *prclExtra,
                                    RECTL *prclOpaque, void *pboFore, void *pboOpaque, POINTL *pptlOrg, ULONG mix);
extern "C" BOOL APIENTRY DrvLineTo(SURFOBJ *pso, void *pco, void *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                                   RECTL *prclBounds, ULONG mix);
extern "C" BOOL APIENTRY DrvStrokePath(SURFOBJ *pso, void *ppo, void *pco, void *pxo, void *pbo, POINTL *pptlBrushOrg,
                                       void *plineattrs, ULONG mix);
extern "C" BOOL APIENTRY DrvFillPath(SURFOBJ *pso, void *ppo, void *pco, void *pbo, POINTL *pptlBrushOrg, ULONG mix,
                                     FLONG flOptions);
extern "C" BOOL APIENTRY DrvPaint(SURFOBJ *pso, void *pco, void *pbo, POINTL *pptlBrushOrg, ULONG mix);
extern "C" BOOL APIENTRY DrvRealizeBrush(void *pbo, SURFOBJ *psoTarget, SURFOBJ *psoPattern, SURFOBJ *psoMask,
                                         void *pxlo, ULONG iHatch);
extern "C" HBITMAP APIENTRY DrvCreateDeviceBitmap(DHPDEV dhpdev, SIZEL sizl, ULONG iFormat);
extern "C" void APIENTRY DrvDeleteDeviceBitmap(DHSURF dhsurf);
extern "C" BOOL APIENTRY DrvStretchBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, SURFOBJ *psoMask, void *pco, void *pxlo,
                                       void *pca, POINTL *pptlHTOrg, RECTL *prclDst, RECTL *prclSrc, POINTL *pptlMask,
                                       ULONG iMode);
extern "C" void APIENTRY DrvDestroyFont(void *pfo);
extern "C" BOOL APIENTRY DrvGetDirectDrawInfo(DHPDEV dhpdev, void *pHalInfo, DWORD *pdwNumHeaps, void *pvmList,
                                              DWORD *pdwNumFourCC, DWORD *pdwFourCC);
extern "C" BOOL APIENTRY DrvEnableDirectDraw(DHPDEV dhpdev, void *pCallBacks, void *pSurfaceCallBacks,
                                             void *pPaletteCallBacks);
extern "C" void APIENTRY DrvDisableDirectDraw(DHPDEV dhpdev);
