// The welcome scene: a bee on a Lissajous-like path trailing waving lines of glowing
// particles, the location text sliding in row by row, and a scrolling offer text.
#include <cmath>

#include "core/coredebug.h"
#include "demosystem/invite/intro.h"

c_welcome::c_welcome() : particleSize(32), numberOfLines(4), beeSize(96) {}

void c_welcome::Init(c_demo *demo) {
    core_log(LOG_PROGRESS, "scene.init", "- Init Welcome\n");
    bmp_welcomebg = static_cast<s_bitmap *>(GetSceneResource(demo, "welcomebg", RESOURCE_TEXTURE));
    spr_bee = static_cast<s_sprite *>(GetSceneResource(demo, "bee45", RESOURCE_SPRITE));
    spr_welcomeoffer =
        static_cast<s_sprite *>(GetSceneResource(demo, "offertext", RESOURCE_SPRITE));
    sprsheet_location =
        static_cast<s_spritesheet *>(GetSceneResource(demo, "location", RESOURCE_SPRITESHEET));
    sprsheet_particle =
        static_cast<s_spritesheet *>(GetSceneResource(demo, "particleblue", RESOURCE_SPRITESHEET));
    effectPosition = {320, 240};
    Restart(demo);
}

void c_welcome::Restart(c_demo *) {
    for (int i = 0; i < 540; i++) textx[i] = 2460 - i;
    fade = 0;
}

int c_welcome::LocationRows() const {
    // Each marker past the first reveals 112 more rows of the location text.
    int rows = state > 1 ? (state - 1) * 112 : 0;
    return rows < 540 ? rows : 540;
}

void c_welcome::Tick(c_demo *) {
    if (state == 0 && fade <= 539) fade += 1;
    if (state == 3 && fade > 0) fade -= 1;
    // Each shown row eases from its start towards x = 640.
    for (int i = 0, rows = LocationRows(); i < rows; i++) textx[i] = (31 * textx[i] + 640) / 32;
}

s_point2d c_welcome::BeeMovement(s_point2d p) const {
    double f = frame;
    double x = 200 * std::sin(f * 4 * 0.2);
    double y = 200 * std::sin(f * 4 * 1.1 * 0.3) * std::cos(f * 4 * 0.3);
    return {static_cast<float>(p.x + x), static_cast<float>(p.y + y)};
}

void c_welcome::DrawSinLines(s_point2d p, int lines, float beat) {
    for (int i = 0; i < lines; i++) {
        double phase = i * 6.283185306 / lines;
        float y = p.y;
        for (int j = 2; j <= 62; j += 2) {
            float t = (y - p.y) / (1080 - p.y);
            float x =
                static_cast<float>(p.x + std::sin(frame * 3 - beat + 4 * t + phase) * 200 * t);
            if (const s_sprite *spr = GetSheetFrame(sprsheet_particle, j)) {
                MOX_DrawBlendSprite(static_cast<int>(x), static_cast<int>(y), *spr, 2);
            }
            y += 18;
        }
    }
}

void c_welcome::Update(c_demo *demo, s_effectevent *) {
    float beat = demo->GetBeatMultiplier();
    frame = time / 50000.0f;

    if (bmp_welcomebg) MOX_DrawBitmap(0, -static_cast<int>(25 * frame), *bmp_welcomebg);

    s_point2d b = BeeMovement(effectPosition);
    DrawSinLines({b.x + beeSize / 2 - particleSize / 2, b.y + beeSize}, numberOfLines, beat);
    if (spr_bee) MOX_DrawSprite(static_cast<int>(b.x), static_cast<int>(b.y + 8), *spr_bee);

    for (int i = 0, rows = LocationRows(); i < rows; i++) {
        if (const s_sprite *row = GetSheetFrame(sprsheet_location, i)) {
            MOX_DrawSprite(textx[i], 400 + i, *row);
        }
    }

    int o = static_cast<int>(240 * frame) % 5120;
    if (spr_welcomeoffer) MOX_DrawSprite(1920 - o, 64, *spr_welcomeoffer);
}
