// The party events scene: a spirograph of glowing particles over a sliding background, with
// three text lines easing in one after another as markers pass.
#include <cmath>

#include "core/coredebug.h"
#include "demosystem/invite/intro.h"

c_partyevents::c_partyevents() : scrollX(0) {}

void c_partyevents::Init(c_demo *demo) {
    core_log(LOG_PROGRESS, "scene.init", "- Init Events\n");
    bmp_eventbg = static_cast<s_bitmap *>(GetSceneResource(demo, "eventsbg", RESOURCE_TEXTURE));
    spr_butwhy = static_cast<s_sprite *>(GetSceneResource(demo, "whytext", RESOURCE_SPRITE));
    spr_whyaap = static_cast<s_sprite *>(GetSceneResource(demo, "whyaap", RESOURCE_SPRITE));
    sprsheet_particle =
        static_cast<s_spritesheet *>(GetSceneResource(demo, "particle", RESOURCE_SPRITESHEET));
    spr_whyenjoy = static_cast<s_sprite *>(GetSceneResource(demo, "whyenjoy", RESOURCE_SPRITE));
    Restart(demo);
}

void c_partyevents::Restart(c_demo *) {
    scrollX = 0;
    aapX = -480;
    enjoyX = -480;
    butwhyX = -1280;
}

void c_partyevents::Tick(c_demo *) {
    // Integer easing: comes to rest 31 short of the target (929), where the step reaches 0.
    scrollX = (31 * scrollX + 960) / 32;
    // The text lines slide in towards 96 as markers pass and rest at 65 likewise.
    if (state >= 2) butwhyX = (31 * butwhyX + 96) / 32;
    if (state >= 4) aapX = (31 * aapX + 96) / 32;
    if (state >= 6) enjoyX = (31 * enjoyX + 96) / 32;
}

void c_partyevents::Update(c_demo *demo, s_effectevent *) {
    float f = time / 50000.0f + demo->GetBeatMultiplier();

    if (bmp_eventbg) MOX_DrawBitmap(-scrollX, 0, *bmp_eventbg);

    // Hypotrochoid around (scrollX - 480, 400).
    float cx = static_cast<float>(scrollX - 480);
    double R = 321 + 32 * std::sin(0.1 * f);
    double r = 82 + 8 * std::sin(0.12 * f);
    double d = 102;
    double k = R - r;
    for (int i = 0; i < 100; i++) {
        double t = i + f;
        double u = -t * k / r;
        double x = k * std::cos(t) + d * std::cos(u);
        double y = k * std::sin(t) + d * std::sin(u);
        if (const s_sprite *spr = GetSheetFrame(sprsheet_particle, i % 64)) {
            MOX_DrawBlendSprite(static_cast<int>(cx + x), static_cast<int>(400 + y), *spr, 2);
        }
    }

    if (state >= 2 && spr_butwhy) MOX_DrawSprite(butwhyX, 64, *spr_butwhy);
    if (state >= 4 && spr_whyaap) MOX_DrawSprite(aapX, 560, *spr_whyaap);
    if (state >= 6 && spr_whyenjoy) MOX_DrawSprite(enjoyX, 920, *spr_whyenjoy);
}
