/* What a C99 program of one's own includes: the machine, the Win32 and wgl declarations of the
   stand-in platform, and <GL/gl.h>. */
#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"
#include <GL/gl.h>

typedef void (APIENTRY *AnyProc)(void);

int drawOnce(HDC dc);

int drawOnce(HDC dc) {
    HGLRC rc;
    PFNGLPOINTPARAMETERFEXTPROC pointParameter;
    if (!kivMachineBoot()) return 0;
    rc = wglCreateContext(dc);
    if (!rc || !wglMakeCurrent(dc, rc)) return 0;
    pointParameter = (PFNGLPOINTPARAMETERFEXTPROC)(AnyProc)wglGetProcAddress("glPointParameterfEXT");
    if (pointParameter) pointParameter(GL_POINT_SIZE_MIN_EXT, 1.0f);
    for (int i = 0; i < 3; ++i) glClear(GL_COLOR_BUFFER_BIT);
    wglMakeCurrent(NULL, NULL);
    return wglDeleteContext(rc);
}
