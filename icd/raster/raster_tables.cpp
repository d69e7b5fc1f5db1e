// The single definitions of the tables derived from the dither matrix and of the square table.
#include "icd/raster/raster_tables.h"

namespace {
template <class F>
constexpr GlDitherFloats fromMatrix(F f) {
    GlDitherFloats out{};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) out[y][x] = f(__glDitherMatrix[y][x]);
    return out;
}

constexpr std::array<uint8_t, 511> makeSquares() {
    std::array<uint8_t, 511> t{};
    for (int i = -255; i <= 255; ++i) t[i + 255] = uint8_t(i * i / 255);
    return t;
}
}  // namespace

constinit const GlDitherFloats __glDitherOffset = fromMatrix([](int b) { return float(2 * b + 1) / 32.0f; });
constinit const GlDitherFloats __glDitherRound = fromMatrix([](int b) { return (float(b) - 7.5f) / 16.0f; });
constinit const std::array<uint8_t, 511> __glSquareTable = makeSquares();
