// sivd16's data block and display-mode record, as the HAL reads and writes them. Their layout
// belongs to the 16-bit driver, so fields are reached at fixed byte offsets.
#pragma once
#include <cstdint>
#include <cstring>

// X(type, name, offset)
#define SIV_DRIVER_BLOCK_FIELDS(X)          \
    X(uint32_t, modeInfo, 0xC030)           \
    X(uint32_t, regBase, 0xC040)            \
    X(uint32_t, frameBuffer, 0xC048)        \
    X(uint16_t, boardCode, 0xC054)          \
    X(uint32_t, driverFlags, 0xC05C)        \
    X(uint16_t, heapStartX, 0xD138)         \
    X(uint16_t, heapStartY, 0xD13A)         \
    X(uint16_t, heapEndY, 0xD13E)           \
    X(uint32_t, pixelClock, 0xE010)         \
    X(uint32_t, pixelFormat, 0xE014)        \
    X(uint32_t, framePeriod, 0xE018)        \
    X(uint32_t, primaryCount, 0xE02C)       \
    X(uint32_t, offscreenCount, 0xE030)     \
    X(uint32_t, overlayCount, 0xE034)       \
    X(uint32_t, externalCounter, 0xE038)    \
    X(uint32_t, flipCount, 0xE03C)          \
    X(uint32_t, lockCount, 0xE040)          \
    X(uint32_t, bltCount, 0xE044)           \
    X(uint32_t, brightness, 0xE048)         \
    X(uint32_t, contrast, 0xE04C)           \
    X(uint32_t, saturation, 0xE050)         \
    X(uint32_t, hue, 0xE054)                \
    X(uint32_t, whiteTexelOffset, 0xE14C)   \
    X(uint32_t, forceTexClip, 0xE150)       \
    X(float, texCoordLimit, 0xE154)         \
    X(uint32_t, currentContext, 0xE59C)     \
    X(uint8_t, hwOptions, 0xE5A0)           \
    X(uint32_t, flipDone, 0xE5A8)           \
    X(uint32_t, flipFromAddress, 0xE5AC)    \
    X(uint32_t, flipTime, 0xE5B0)           \
    X(uint32_t, flipSawActive, 0xE5B4)      \
    X(uint32_t, flipSawRetrace, 0xE5B8)     \
    X(uint32_t, bytesPerPixel, 0xE5BC)      \
    X(uint32_t, engineStrides, 0xE5C0)      \
    X(uint32_t, engineFormat, 0xE5C4)

constexpr uint32_t kDriverBlockBytes = 0xE5C8;
constexpr uint32_t kDbOverlayWindow = 0xE01C;   // 4 words
constexpr uint32_t kDbStreamsShadow = 0xE05C;   // streams register shadows up to 0xE0C0

// Offsets of the streams-register shadows, by register.
constexpr uint32_t kShadow8190 = 0xE060;
constexpr uint32_t kShadow8198 = 0xE068;
constexpr uint32_t kShadow81A0 = 0xE070;
constexpr uint32_t kShadow81C0 = 0xE074;
constexpr uint32_t kShadow81D0 = 0xE084;
constexpr uint32_t kShadow81D8 = 0xE08C;
constexpr uint32_t kShadow81E0 = 0xE094;

// Bits of driverFlags.
enum : uint32_t {
    kDfReportedOnly = 0x1,
    kDfOverlay = 0x2,
    kDfFilter1 = 0x4,
    kDfFilter2 = 0x8,
    kDfFilter3 = 0x10,
    kDfAltFifo = 0x20,
    kDfNoOffscreen = 0x80,
    kDfBrightContrast = 0x400,
    kDfSatHue = 0x800,
    kDfYuvOverlay = 0x1000,
    kDfOverlayOn = 0x2000,
};

template <class T>
inline T LoadField(const uint8_t *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class T>
inline void StoreField(uint8_t *p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// A field of a block: reads and writes go to the block's bytes.
template <class T>
struct FieldRef {
    uint8_t *p;
    explicit FieldRef(uint8_t *q) : p(q) {}
    FieldRef(const FieldRef &) = default;
    operator T() const { return LoadField<T>(p); }
    FieldRef &operator=(T v) {
        StoreField<T>(p, v);
        return *this;
    }
    FieldRef &operator=(const FieldRef &o) { return *this = static_cast<T>(o); }
    FieldRef &operator+=(T v) { return *this = static_cast<T>(*this + v); }
    FieldRef &operator|=(T v) { return *this = static_cast<T>(*this | v); }
    FieldRef &operator&=(T v) { return *this = static_cast<T>(*this & v); }
};

struct DriverBlock {
    uint8_t bytes[kDriverBlockBytes];
#define SIV_DB_ACCESSOR(type, name, offset) \
    FieldRef<type> name() { return FieldRef<type>{bytes + (offset)}; }
    SIV_DRIVER_BLOCK_FIELDS(SIV_DB_ACCESSOR)
#undef SIV_DB_ACCESSOR
    FieldRef<uint32_t> word(uint32_t offset) { return FieldRef<uint32_t>{bytes + offset}; }
};

// sivd16's record of the current display mode.
struct DisplayMode {
    uint8_t bytes[32];
    uint16_t width() const { return LoadField<uint16_t>(bytes + 2); }
    uint16_t height() const { return LoadField<uint16_t>(bytes + 4); }
    uint16_t lineLength() const { return LoadField<uint16_t>(bytes + 6); }
    uint8_t bitsPerPixel() const { return bytes[9]; }
    uint32_t pitch() const { return LoadField<uint32_t>(bytes + 14); }
    uint8_t flags() const { return bytes[28]; }
};
constexpr uint8_t kModeFlag565 = 0x40;
