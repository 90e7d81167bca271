// The compos scene: a background sliding out of view while six bars bob in a wave.
#include <cmath>

#include "core/coredebug.h"
#include "demosystem/invite/intro.h"

void c_compos::Init(c_demo *demo) {
    core_log(LOG_PROGRESS, "scene.init", "- Init Compos\n");
    bmp_compobg = static_cast<s_bitmap *>(GetSceneResource(demo, "compobg", RESOURCE_TEXTURE));
    sprsheet_bar =
        static_cast<s_spritesheet *>(GetSceneResource(demo, "bars", RESOURCE_SPRITESHEET));
    spr_bestdemo = static_cast<s_sprite *>(GetSceneResource(demo, "bestdemo", RESOURCE_SPRITE));
    spr_bestcompo = static_cast<s_sprite *>(GetSceneResource(demo, "bestcompo", RESOURCE_SPRITE));
    rect_x = 738;
    rect_y = 343;
    rect_w = 455;
    rect_h = 333;
    Restart(demo);
}

void c_compos::Restart(c_demo *) { scrollX = 0; }

void c_compos::Tick(c_demo *) {
    if (state == 2) scrollX = (15 * scrollX + 1920) / 16;
}

void c_compos::Update(c_demo *demo, s_effectevent *) {
    // The wave follows the demo's absolute position, not the event's time.
    double a = (demo->position / 1000) * 0.02;

    int scroll = static_cast<int>(scrollX);
    if (bmp_compobg) MOX_DrawBitmap(-scroll, 0, *bmp_compobg);

    if (!sprsheet_bar) return;
    int h = sprsheet_bar->height;
    for (int i = 0; i < 6; i++) {
        const s_sprite *bar = GetSheetFrame(sprsheet_bar, i);
        if (!bar) break;
        int y = static_cast<int>(std::round(
            std::sin(2 * a + 3.141592653 + 0.4 * i) * (rect_h / 3 - h) + rect_y + rect_h / 2));
        MOX_DrawSprite(rect_x - scroll, y, *bar);
    }
}
