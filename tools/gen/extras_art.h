// Pictures for image layers and shader channels, and the editor's fonts and cursor.
#pragma once

#include "style.h"

Picture paint_honeycomb();                // tiles in both directions
Picture paint_noise();                    // grey, tiles in both directions
Picture paint_ramp();                     // black through honey to white, left to right
Picture paint_vignette();                 // black with alpha rising towards the edges
Picture paint_credits(TextRenderer &tr);  // credits on a translucent band, clear elsewhere
Picture paint_emblem();                   // the emblem with a soft glow in its alpha
// The editor's fonts in the marker-row format: glyphs for the codes 32 to 124.
Picture paint_font(TextRenderer &tr, bool highlight);
Picture paint_cursor();
