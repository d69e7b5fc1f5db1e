// Internals of the window-system layer shared by its files.
#pragma once
#include "icd/core/core.h"

extern GlContextHandle __wglHandleListHead;
extern uint32_t __wglNextHandleId;
BOOL __wglThreadAttach(DWORD threadId);
BOOL __wglThreadDetach(void);
BOOL __wglProcessDetach(void);
void __wglLinkContextHandle(GlContextHandle *h);
void __wglUnlinkContextHandle(GlContextHandle *h);
// The thread's slot is empty until it has been attached.
inline void __wglEnsureThreadAttached(void) {
    if (__glGetCurrentContext() == nullptr) __wglThreadAttach(GetCurrentThreadId());
}
