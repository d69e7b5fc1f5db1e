/* What a strict C89 program of one's own includes: the machine, the Win32 and wgl declarations of
   the stand-in platform, and <GL/gl.h>. */
#include "platform/machine/machine.h"
#include "platform/win32/win32.h"
#include "platform/opengl32/wgl.h"
#include <GL/gl.h>

int clearOnce(HDC dc);

int clearOnce(HDC dc) {
    HGLRC rc;
    if (!kivMachineBoot()) return 0;
    rc = wglCreateContext(dc);
    if (!rc || !wglMakeCurrent(dc, rc)) return 0;
    glClear(GL_COLOR_BUFFER_BIT);
    wglMakeCurrent(NULL, NULL);
    return wglDeleteContext(rc);
}
