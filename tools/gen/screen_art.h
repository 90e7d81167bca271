// Pictures of the big-screen scene and the end: the hall with its screen and audience, the
// screen's picture on its own, and the end logo that the circles rebuild.
#pragma once

#include "style.h"

Picture paint_screenbg(TextRenderer &tr);
Picture paint_screen(TextRenderer &tr);
Picture paint_endlogo(TextRenderer &tr);
