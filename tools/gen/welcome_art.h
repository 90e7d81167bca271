// Pictures of the welcome scene: the rising night sky, the bee, the scrolling offer line,
// the location text (a sheet of one-pixel rows) and the blue particles.
#pragma once

#include "style.h"

Picture paint_welcomebg();
Picture paint_bee45();
Picture paint_offertext(TextRenderer &tr);
Picture paint_location(TextRenderer &tr);
Picture paint_particleblue();
