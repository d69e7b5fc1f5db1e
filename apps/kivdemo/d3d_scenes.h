// The SIV card's part of the demo: on the Windows 9x machine with the SIV card there is no OpenGL
// driver, so a Direct3D program draws a few scenes through the DirectDraw and Direct3D runtime
// stand-ins into the card's HAL, and the screen is written after each.
#pragma once
#include <string>

#include "apps/kivdemo/scenes.h"

namespace kivdemo {

// Writes a picture as a PNG; false when the file could not be written.
using WritePicture = bool (*)(const kivscenes::Picture &picture, const std::string &path);

// Boots the card's 9x drivers (sivd16, the HAL through DirectDraw, the Direct3D device), draws
// the scenes named `only` ("all": every one) at w x h in a window-sized rectangle of the screen,
// one line each, and writes out/d3d_<scene>.screen.png. Returns false when something did not
// work (said on stderr or in the scene's line).
bool runDirect3dScenes(const char *only, int w, int h, WritePicture write);

// The names of the Direct3D scenes, for the usage text: "triangle depth blend".
std::string direct3dSceneNames();

}  // namespace kivdemo
