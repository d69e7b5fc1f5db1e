// Control points handed to glMap1 and glMap2 exactly as long as the strides and orders describe
// (the last point ends the block, against an inaccessible page): the copy reads every point and
// nothing past the last one.
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include "tests/icd_state/state_fixture.h"

namespace {

// `count` values of T ending where an inaccessible page begins.
template <class T>
class GuardedPoints {
public:
    explicit GuardedPoints(size_t count) : count_(count) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE)), bytes = count * sizeof(T);
        mapped_ = (bytes + page - 1) / page * page + page;
        void *p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : static_cast<uint8_t *>(p);
        if (base_ != nullptr) mprotect(base_ + mapped_ - page, page, PROT_NONE);
        data_ = base_ != nullptr ? reinterpret_cast<T *>(base_ + mapped_ - page - bytes) : nullptr;
    }
    ~GuardedPoints() {
        if (base_ != nullptr) munmap(base_, mapped_);
    }
    GuardedPoints(const GuardedPoints &) = delete;
    GuardedPoints &operator=(const GuardedPoints &) = delete;
    T *data() { return data_; }

private:
    uint8_t *base_ = nullptr;
    T *data_ = nullptr;
    size_t mapped_ = 0, count_ = 0;
};

using MapBounds = StateTest;

TEST_F(MapBounds, PointsEndingTheBlockAreCopiedWithoutReadingPastThem) {
    // 1-D: 4 points of 3 coordinates, 5 values apart; the last point is the block's last 3 values.
    constexpr int k = 3, order = 4, stride = 5;
    GuardedPoints<GLdouble> p1((order - 1) * stride + k);
    ASSERT_NE(p1.data(), nullptr);
    for (int i = 0; i < (order - 1) * stride + k; ++i) p1.data()[i] = i;
    GL(glMap1d)(GL_MAP1_VERTEX_3, 0.0, 1.0, stride, order, p1.data());
    ASSERT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    std::vector<GLfloat> got(order * k);
    GL(glGetMapfv)(GL_MAP1_VERTEX_3, GL_COEFF, got.data());
    for (int i = 0; i < order; ++i)
        for (int c = 0; c < k; ++c) EXPECT_EQ(got[size_t(i * k + c)], float(i * stride + c)) << i << " " << c;
    // 2-D: 3 x 2 points of 4 coordinates, v stride 6 and u stride 15.
    constexpr int k2 = 4, uorder = 3, vorder = 2, vstride = 6, ustride = 15;
    const int last = (uorder - 1) * ustride + (vorder - 1) * vstride + k2;
    GuardedPoints<GLfloat> p2{size_t(last)};
    ASSERT_NE(p2.data(), nullptr);
    for (int i = 0; i < last; ++i) p2.data()[i] = float(i);
    GL(glMap2f)(GL_MAP2_VERTEX_4, 0, 1, ustride, uorder, 0, 1, vstride, vorder, p2.data());
    ASSERT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    std::vector<GLfloat> got2(uorder * vorder * k2);
    GL(glGetMapfv)(GL_MAP2_VERTEX_4, GL_COEFF, got2.data());
    for (int i = 0; i < uorder; ++i)
        for (int j = 0; j < vorder; ++j)
            for (int c = 0; c < k2; ++c)
                EXPECT_EQ(got2[size_t((i * vorder + j) * k2 + c)], float(i * ustride + j * vstride + c)) << i << j << c;
}

}  // namespace
