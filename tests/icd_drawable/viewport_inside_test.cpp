// Whether the viewport lies inside the window, as the resize decides it for the clip paths: from
// the viewport the program set, not from the window's own size.
#include "tests/icd_state/state_fixture.h"

namespace {

class ViewportInside : public StateTest {};

TEST_F(ViewportInside, ResizeComparesTheViewportWithTheWindow) {
    // The window is 320 x 240.
    struct Row {
        int x, y, w, h;
        bool inside;
    } rows[] = {
        {0, 0, 320, 240, true},    {10, 20, 100, 50, true},  {300, 200, 20, 40, true},  {0, 0, 0, 0, true},
        {-1, 0, 320, 240, false},  {0, -1, 10, 10, false},   {0, 0, 321, 240, false},   {0, 0, 320, 241, false},
        {310, 0, 20, 10, false},   {0, 230, 10, 20, false},  {-100, -100, 640, 480, false},
        {2000000000, 0, 2000000000, 10, false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.x << "," << r.y << " " << r.w << "x" << r.h);
        GL(glViewport)(r.x, r.y, r.w, r.h);
        ASSERT_TRUE(__glResizeContext(ctx, 320, 240));
        EXPECT_EQ(ctx->viewportInsideWindow, r.inside ? 1 : 0);
    }
}

}  // namespace
