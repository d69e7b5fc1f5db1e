// The bit layouts of the packed pixel types and the 16-bit texel codes, shared by the unpack
// and pack spans: one table row per layout, fields in the order of the floats of a pixel
// (R, G, B and A where present).
#pragma once
#include <cstdint>
#include <cstring>

struct GlPackedField {
    int8_t shift, bits;
};

struct GlPackedLayout {
    int32_t bytes;          // 1, 2 or 4
    int32_t outComponents;  // floats a pixel: 3 (RGB) or 4 (RGBA)
    GlPackedField field[4]; // a field of no bits unpacks as 1.0 (the white of alpha-only texels)
    uint32_t setBits;       // bits a pack always sets (the X bit of XRGB1555)
};

inline constexpr GlPackedLayout kGlLayoutUbyte332{1, 3, {{5, 3}, {2, 3}, {0, 2}, {0, 0}}, 0};
inline constexpr GlPackedLayout kGlLayoutUshort4444{2, 4, {{12, 4}, {8, 4}, {4, 4}, {0, 4}}, 0};
inline constexpr GlPackedLayout kGlLayoutUshort5551{2, 4, {{11, 5}, {6, 5}, {1, 5}, {0, 1}}, 0};
inline constexpr GlPackedLayout kGlLayoutUint8888{4, 4, {{24, 8}, {16, 8}, {8, 8}, {0, 8}}, 0};
inline constexpr GlPackedLayout kGlLayoutUint1010102{4, 4, {{22, 10}, {12, 10}, {2, 10}, {0, 2}}, 0};
inline constexpr GlPackedLayout kGlLayoutTexelRGB565{2, 3, {{11, 5}, {5, 6}, {0, 5}, {0, 0}}, 0};
inline constexpr GlPackedLayout kGlLayoutTexelXRGB1555{2, 3, {{10, 5}, {5, 5}, {0, 5}, {0, 0}}, 0x8000};
inline constexpr GlPackedLayout kGlLayoutTexelARGB1555{2, 4, {{10, 5}, {5, 5}, {0, 5}, {15, 1}}, 0};
inline constexpr GlPackedLayout kGlLayoutTexelARGB4444{2, 4, {{8, 4}, {4, 4}, {0, 4}, {12, 4}}, 0};
inline constexpr GlPackedLayout kGlLayoutTexelA4{2, 4, {{0, 0}, {0, 0}, {0, 0}, {12, 4}}, 0};

// 1 / (2^n - 1) for the field widths in use.
inline constexpr double kGlFieldReciprocal[11] = {0.0,        1.0,        1.0 / 3.0,   1.0 / 7.0,
                                                  1.0 / 15.0, 1.0 / 31.0, 1.0 / 63.0,  1.0 / 127.0,
                                                  1.0 / 255.0, 1.0 / 511.0, 1.0 / 1023.0};

template <const GlPackedLayout &L>
inline uint32_t __glLoadPacked(const uint8_t *p) {
    if constexpr (L.bytes == 1) return *p;
    else if constexpr (L.bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <const GlPackedLayout &L>
inline void __glStorePacked(uint8_t *p, uint32_t v) {
    if constexpr (L.bytes == 1) *p = uint8_t(v);
    else if constexpr (L.bytes == 2) {
        uint16_t w = uint16_t(v);
        std::memcpy(p, &w, 2);
    } else {
        std::memcpy(p, &v, 4);
    }
}

inline float __glPackedFieldToFloat(GlPackedField f, uint32_t v) {
    if (f.bits == 0) return 1.0f;
    const uint32_t raw = (v >> f.shift) & ((1u << f.bits) - 1u);
    return float(double(raw) * kGlFieldReciprocal[f.bits]);
}
