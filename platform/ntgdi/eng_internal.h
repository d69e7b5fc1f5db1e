// Shared state of the graphics-engine stand-in's source files.
#pragma once
#include <mutex>
#include <string>
#include <vector>
#include "platform/ntgdi/ntgdi.h"

std::recursive_mutex &kivEngLock();
void kivEngError(const std::string &message);
FLONG kivEngSurfaceHooks(HSURF hsurf);
