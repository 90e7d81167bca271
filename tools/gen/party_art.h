// Pictures of the compo and party-events scenes: one panorama that the compo background
// and the events background are cut from, the raster bars, two award badges, the rainbow
// particles and the three text sprites.
#pragma once

#include "style.h"

// The panorama is 4800 pixels wide: the compo background is its first kCompoWidth columns,
// the events background everything from kEventsOffset on.
constexpr int kCompoWidth = 3840;
constexpr int kEventsOffset = 1920;

Picture paint_panorama(TextRenderer &tr);
Picture paint_bars();
Picture paint_badge(TextRenderer &tr, bool demo);
Picture paint_particle();
Picture paint_whytext(TextRenderer &tr);
Picture paint_whyaap(TextRenderer &tr);
Picture paint_whyenjoy(TextRenderer &tr);
