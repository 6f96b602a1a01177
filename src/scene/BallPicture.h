#pragma once
// Loading a chosen ball picture, for every program that draws the balls.
#include <string>

#include "runtime/Graphics.h"

// Loads a picture file as the ball, refusing one larger than any ball needs before a single
// pixel is read (EInvalidGraphic "Picture too large for a ball ...").
void LoadBallPicture(TPicture* Picture, const std::string& FileName);
