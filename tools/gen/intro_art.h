// Pictures of the intro scene: the rising honeycomb background, the television frame, the
// group name, "presents", the two boxes of the pixel bee and the invitation logo.
#pragma once

#include "style.h"

Picture paint_introbg();
Picture paint_tvframe(TextRenderer &tr);
Picture paint_gimbard(TextRenderer &tr);
Picture paint_presents(TextRenderer &tr);
Picture paint_intrologo(TextRenderer &tr);
Picture paint_box(bool white);
