// The drawing tests' fixture is shared: one definition, built into this program too.
#include "tests/display_draw/draw_fixture.cpp"
