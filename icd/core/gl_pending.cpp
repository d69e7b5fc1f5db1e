// Placeholders for the OpenGL entries and compile routines whose code has not landed yet
// (see built.h): each takes its command's arguments, does nothing and returns 0.
#include <type_traits>
#include "icd/core/core.h"
#include "icd/core/built.h"

namespace {
template <class T>
T kivNothing() {
    if constexpr (!std::is_void_v<T>) return T();
}
}  // namespace

namespace icd {
#define GL_ENTRY(offset, ret, name, params, args, bytes) \
    KIV_IF(KIV_IS(KIV_BUILT_, name), (), (ret APIENTRY name params { return kivNothing<ret>(); }))
#include <GL/gl_entries.inc>
#undef GL_ENTRY

namespace compile {
#define GL_ENTRY(offset, ret, name, params, args, bytes)                                  \
    KIV_IF(KIV_IS(KIV_IMMEDIATE_IN_LIST_, name), (),                                      \
           (KIV_IF(KIV_IS(KIV_BUILT_COMPILE_, name), (),                                  \
                   (ret APIENTRY name params { return kivNothing<ret>(); }))))
#include <GL/gl_entries.inc>
#undef GL_ENTRY
}  // namespace compile

#define GL_EXT_ENTRY(slot, ret, name, doName, compileName, compiled, params, bytes)       \
    KIV_IF(KIV_IS(KIV_BUILT_, doName), (), (ret APIENTRY doName params { return kivNothing<ret>(); })) \
    KIV_IF(compiled,                                                                      \
           (KIV_IF(KIV_IS(KIV_BUILT_, compileName), (),                                   \
                   (ret APIENTRY compileName params { return kivNothing<ret>(); }))),     \
           ())
#include "icd/core/ext_entries.inc"
#undef GL_EXT_ENTRY
}  // namespace icd
