// DrvGetProcAddress: the extension entries an application may ask for by name.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/drv_exports.h"
#include "icd/core/services.h"

namespace {
struct ProcName {
    const char *name;
    FARPROC entry;
};

#define GL_PROC(name, entry) {name, reinterpret_cast<FARPROC>(&entry)}
#define GL_MTEX(n, s) GL_PROC("glMultiTexCoord" #n #s "SGIS", icd::glMultiTexCoord##n##s##SGIS)
#define GL_MTEX_SIZE(n)                                                                    \
    GL_MTEX(n, d), GL_MTEX(n, dv), GL_MTEX(n, f), GL_MTEX(n, fv), GL_MTEX(n, i), GL_MTEX(n, iv), \
        GL_MTEX(n, s), GL_MTEX(n, sv)

// Looked up in this order; the first equal name wins.
const ProcName procNames[] = {
    GL_PROC("glArrayElementEXT", icd::glArrayElementEXT),
    GL_PROC("glDrawArraysEXT", icd::glDrawArraysEXT),
    GL_PROC("glVertexPointerEXT", icd::glVertexPointerEXT),
    GL_PROC("glNormalPointerEXT", icd::glNormalPointerEXT),
    GL_PROC("glColorPointerEXT", icd::glColorPointerEXT),
    GL_PROC("glIndexPointerEXT", icd::glIndexPointerEXT),
    GL_PROC("glTexCoordPointerEXT", icd::glTexCoordPointerEXT),
    GL_PROC("glEdgeFlagPointerEXT", icd::glEdgeFlagPointerEXT),
    GL_PROC("glGetPointervEXT", icd::glGetPointervEXT),
    GL_PROC("glLockArraysSGI", icd::glLockArraysEXT),
    GL_PROC("glUnlockArraysSGI", icd::glUnlockArraysEXT),
    GL_PROC("glCullParameterdvSGI", icd::glCullParameterdvEXT),
    GL_PROC("glCullParameterfvSGI", icd::glCullParameterfvEXT),
    GL_PROC("glAddSwapHintRectWIN", icd::glAddSwapHintRectWIN),
    GL_PROC("glLockArraysEXT", icd::glLockArraysEXT),
    GL_PROC("glUnlockArraysEXT", icd::glUnlockArraysEXT),
    GL_PROC("glCullParameterdvEXT", icd::glCullParameterdvEXT),
    GL_PROC("glCullParameterfvEXT", icd::glCullParameterfvEXT),
    GL_PROC("glPointParameterfEXT", icd::glPointParameterfEXT),
    GL_PROC("glPointParameterfvEXT", icd::glPointParameterfvEXT),
    GL_PROC("glMTexCoord2fSGIS", icd::glMultiTexCoord2fSGIS),
    GL_MTEX_SIZE(1), GL_MTEX_SIZE(2), GL_MTEX_SIZE(3), GL_MTEX_SIZE(4),
    GL_PROC("glMultiTexCoordPointerSGIS", icd::glMultiTexCoordPointerSGIS),
    GL_PROC("glSelectTextureCoordSetSGIS", icd::glSelectTextureCoordSetSGIS),
    GL_PROC("glSelectTextureSGIS", icd::glSelectTextureSGIS),
    GL_PROC("wglSetDeviceGammaRampZORVEK", wglSetDeviceGammaRampZORVEK),
    GL_PROC("wglGetDeviceGammaRampZORVEK", wglGetDeviceGammaRampZORVEK),
};
static_assert(sizeof(procNames) / sizeof(procNames[0]) == 58);
}  // namespace

FARPROC WINAPI DrvGetProcAddress(LPCSTR name) {
    if (__wglGetCurrentContext() == __glScreenContext) {
        SetLastError(kWglErrBadHandle);
        return nullptr;
    }
    if (name == nullptr) return nullptr;
    for (const ProcName &p : procNames)
        if (std::strcmp(p.name, name) == 0) return p.entry;
    return nullptr;
}
