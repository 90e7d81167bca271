// Pictures of the big-screen scene: the hall with its screen and audience, and the screen's
// picture on its own.
#pragma once

#include "style.h"

Picture paint_screenbg(TextRenderer &tr);
Picture paint_screen(TextRenderer &tr);
