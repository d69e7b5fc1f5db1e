// The buffer head and the drawable's buffer descriptor belong to the API core, which creates,
// attaches and resizes every buffer of a context; the rasteriser reaches them through here.
#pragma once
#include "icd/core/buffers.h"
