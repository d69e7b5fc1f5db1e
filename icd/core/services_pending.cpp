// Placeholders for the services of subsystems that have not landed yet. Each does the least
// that keeps the system honest: it fails where a caller tests a result, and otherwise does
// nothing a caller could mistake for work done.
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/names.h"

#define GL_PENDING_PROC(name) void name(GlContext *) {}
#include "icd/core/installer_pending.inc"
#undef GL_PENDING_PROC

