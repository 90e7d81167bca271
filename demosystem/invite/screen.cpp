// The screen scene: a fountain of sparks whose density follows the beat.
#include <cstdio>
#include <cstdlib>

#include "demosystem/invite/intro.h"

c_screen::c_screen() : newpart(0) {}

void c_screen::Init(c_demo *demo) {
    puts("- Init Screen");
    bmp_screenbg = static_cast<s_bitmap *>(GetSceneResource(demo, "screenbg", RESOURCE_TEXTURE));
    spr_screen = static_cast<s_sprite *>(GetSceneResource(demo, "screen", RESOURCE_SPRITE));
    sprsheet_particle =
        static_cast<s_spritesheet *>(GetSceneResource(demo, "particle", RESOURCE_SPRITESHEET));
}

void c_screen::Update(c_demo *demo, s_effectevent *) {
    float b = demo->GetBeatMultiplier();
    int n = static_cast<int>((b - 1) * 30);
    if (n < 1) n = 1;

    // One statement per draw keeps the order of the random numbers fixed.
    for (int s = 0; s < n; s++) {
        s_particle &p = particle[newpart];
        p.y = static_cast<float>(64 + rand() % 640);
        p.x = 256 + (rand() & 255) + (p.y - 64) / 6;
        p.speed = static_cast<float>((rand() & 15) + n + 1);
        p.gravity = -(rand() & 15) / 4.0f;
        p.color = rand() & 127;
        newpart = (newpart + 1) % SCREEN_NUMPARTICLES;
    }

    if (bmp_screenbg) MOX_DrawBitmap(0, 0, *bmp_screenbg);

    for (s_particle &p : particle) {
        if (const s_sprite *spr = GetSheetFrame(sprsheet_particle, p.color / 2)) {
            MOX_DrawBlendSprite(static_cast<int>(p.x), static_cast<int>(p.y), *spr, 2);
        }
        p.x += p.speed;
        p.y += p.gravity;
        p.gravity += 0.1f;
    }
}
