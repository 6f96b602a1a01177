#pragma once
// Lines of text for the hack to draw, as plain arrays of colours like the ball's.
#include <string>

#include "scene/BallPicture.h"

// One line of text in the canvas's default typeface at `pointSize`, on see-through black.
TSprite TextSprite(const std::string& text, int32_t pointSize, TColor color);
