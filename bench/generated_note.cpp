// The "generated code: ..." lines of generated_note.h: the same driver function, called directly
// or through the loaded module's export.
#include "bench/generated_note.h"

#include "icd/codegen/og_describe.h"
#include "icd/core/drv_exports.h"
#include "platform/opengl32/wgl.h"

namespace kivbench {
namespace {

// The whole line from a describer that fills a buffer and returns the line's full length.
template <class Describe>
std::string wholeLine(Describe describe) {
    std::string line(256, '\0');
    uint32_t n = describe(line.data(), uint32_t(line.size()));
    if (n >= line.size()) {
        line.assign(size_t(n) + 1, '\0');
        n = describe(line.data(), uint32_t(line.size()));
    }
    line.resize(n < line.size() ? n : line.size() - 1);
    return line;
}

}  // namespace

std::string generatedCodeOf(GlContext *ctx) {
    return wholeLine([ctx](char *text, uint32_t size) { return __glOgDescribe(ctx, text, size); });
}

std::string generatedCodeOfLoadedModule() {
    HMODULE module = kivOpenGlDriverModule();
    if (module == nullptr) return "generated code: not reported (no driver module loaded)";
    // The module's own copy: GetProcAddress looks only at what the module itself defines.
    auto describe = reinterpret_cast<decltype(&__glDescribeGeneratedCode)>(
        GetProcAddress(module, "__glDescribeGeneratedCode"));
    if (describe == nullptr) return "generated code: not reported (module has no description entry)";
    return wholeLine([describe](char *text, uint32_t size) { return uint32_t(describe(text, size)); });
}

}  // namespace kivbench
