// Texture objects are not built yet: the name space's release of a texture object drops the
// binding's reference and leaves the object itself to its owner.
#include "icd/core/names.h"

void __glReleaseTextureObject(GlContext *, void *object) {
    if (object != nullptr) *static_cast<int32_t *>(object) -= 1;
}
