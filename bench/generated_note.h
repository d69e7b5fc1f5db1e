// The "generated code: ..." line of a workload's context, from the driver linked into kivbench or
// from the driver module opengl32 loaded, for the note a workload records after its last frame.
#pragma once
#include <string>

struct GlContext;

namespace kivbench {

// A context of the linked-in driver.
std::string generatedCodeOf(GlContext *ctx);
// The calling thread's current context in the module opengl32 loaded, through the module's
// description export; says so when no module is loaded or it has no such export.
std::string generatedCodeOfLoadedModule();

}  // namespace kivbench
