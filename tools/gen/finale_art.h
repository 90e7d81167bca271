// Pictures of the finale: the recap cards that sum up the party's facts, the end logo that
// the circles rebuild, and the solid title that fills that logo in once the circles stand.
#pragma once

#include "style.h"

enum class RecapCard { When, Where, Online };

// A card of real alpha for an image layer: a translucent dark panel with a label, a
// headline and one or two lines of detail.
Picture paint_recap(TextRenderer &tr, RecapCard card);
// White letters on black, 64 pixels lower than they appear (the final scene draws its
// circles 64 pixels above their places).
Picture paint_endlogo(TextRenderer &tr);
// The same letters where they appear, filled and outlined, with the web address below, on
// a soft dark plate; clear elsewhere.
Picture paint_endtitle(TextRenderer &tr);
