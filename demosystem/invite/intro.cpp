// Scene lookup helpers and the intro: rising background, television frame, the group name
// and "presents" bouncing towards each other, a bee of 256 boxes that bursts, then the logo.
#include "demosystem/invite/intro.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/coredebug.h"
#include "mox/corevideo.h"

namespace {

// The words, where they meet, and the bee sit this far right of where the pictures put them,
// so that "DROWSY KETTLE presents" is centred on the screen.
constexpr int LINE_SHIFT = 154;
// How far each word waits from its place before they meet: both stay inside the
// television's opening (x 336 to 1583).
constexpr float WORDS_APART = 240;
// Ticks the logo takes to drop into place from above the screen.
constexpr float LOGO_TICKS = 36;

const char *KindName(int type) {
    switch (type) {
        case RESOURCE_TEXTURE:
            return "texture";
        case RESOURCE_SPRITE:
            return "sprite";
        case RESOURCE_SPRITESHEET:
            return "spritesheet";
        default:
            return "resource";
    }
}

}  // namespace

void *GetSceneResource(c_demo *demo, const char *name, int type) {
    int n = demo->numresources;
    if (n > DEMO_MAXRESOURCES) n = DEMO_MAXRESOURCES;
    // A name may be shared by resources of different kinds (a function and a sprite both
    // called "screen"): the first one of the wanted kind counts.
    bool named = false;
    for (int i = 0; i < n; i++) {
        const s_demoresource &r = demo->resource[i];
        if (strcmp(r.name, name) != 0) continue;
        named = true;
        if (r.type != type) continue;
        if (!r.loadOK || !r.datapointer) {
            core_log(LOG_WARNING, "scene.resource_not_loaded", "- Resource %s not loaded\n", name);
            return nullptr;
        }
        return r.datapointer;
    }
    if (named)
        core_log(LOG_WARNING, "scene.resource_wrong_kind", "- Resource %s is not a %s\n", name,
                 KindName(type));
    else
        core_log(LOG_WARNING, "scene.resource_missing", "- Resource missing: %s\n", name);
    return nullptr;
}

s_sprite *GetSheetFrame(const s_spritesheet *sheet, int n) {
    if (!sheet || !sheet->sprite || n < 0 || n >= sheet->numsprites) return nullptr;
    return &sheet->sprite[n];
}

const int atarilogo[256] = {
    0, 0, 0, 1, 2, 1, 0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 2, 1, 0, 0, 1, 1, 2, 2, 2, 2, 1, 1,
    0, 0, 0, 1, 1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 2, 1, 1, 1, 1, 0, 1, 2, 2, 1, 2, 2, 1, 1, 1, 1, 2, 1,
    2, 2, 1, 1, 1, 2, 2, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 1, 2, 1, 2, 1,
    0, 0, 1, 2, 2, 1, 2, 2, 1, 2, 1, 2, 1, 2, 1, 0, 0, 0, 1, 1, 1, 2, 2, 1, 2, 2, 2, 1, 1, 1, 0, 0,
    0, 1, 1, 2, 2, 2, 1, 2, 1, 2, 1, 2, 2, 1, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 1, 0,
    1, 2, 2, 1, 1, 1, 1, 2, 1, 2, 2, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 2, 1, 2, 2, 1, 2, 2, 2, 2, 1,
    1, 2, 1, 1, 1, 2, 1, 1, 2, 2, 1, 2, 2, 1, 1, 1, 1, 2, 1, 1, 2, 1, 2, 1, 1, 2, 1, 2, 1, 2, 2, 1,
    1, 1, 2, 2, 1, 2, 1, 0, 1, 1, 1, 2, 1, 2, 1, 1, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0,
};

c_intro::c_intro() : intro_explode(0) {}

void c_intro::Init(c_demo *demo) {
    core_log(LOG_PROGRESS, "scene.init", "- Init Intro\n");
    bmp_introbg = static_cast<s_bitmap *>(GetSceneResource(demo, "introbg", RESOURCE_TEXTURE));
    spr_gimbard = static_cast<s_sprite *>(GetSceneResource(demo, "gimbard", RESOURCE_SPRITE));
    spr_presents = static_cast<s_sprite *>(GetSceneResource(demo, "presents", RESOURCE_SPRITE));
    spr_tvframe = static_cast<s_sprite *>(GetSceneResource(demo, "tvframe", RESOURCE_SPRITE));
    spr_intrologo = static_cast<s_sprite *>(GetSceneResource(demo, "intrologo", RESOURCE_SPRITE));
    spr_introparticle[0] =
        static_cast<s_sprite *>(GetSceneResource(demo, "boxblack", RESOURCE_SPRITE));
    spr_introparticle[1] =
        static_cast<s_sprite *>(GetSceneResource(demo, "boxwhite", RESOURCE_SPRITE));

    introbuffer_id =
        MOX_CreateFrameBuffer(demo->renderwidth, demo->renderheight, MOX_FRAMEBUFFER_LINEAR);
    logostarted = true;
    logoaccel = 1;
    Restart(demo);
}

void c_intro::Restart(c_demo *) {
    SceneSeed(&random, 0x1A7A21B0E5ull);
    introframe = 0;
    introout = 0;
    logoin = 0;
    intro_explode = 0;
    for (int i = 0; i < 16; i++) {
        for (int j = 0; j < 16; j++) {
            int k = 16 * i + j;
            intro_particlex[k] = static_cast<float>(768 + LINE_SHIFT + 8 * j);
            intro_particley[k] = static_cast<float>(440 + 8 * i);
            intro_particledx[k] = ((SceneRandom(&random) % 100) - 50) / 25.0f;
            intro_particledy[k] = -(SceneRandom(&random) % 100) / 50.0f;
        }
    }
}

void c_intro::Tick(c_demo *) {
    if (state >= 5) {
        logoin = std::min(1.0f, logoin + 1 / LOGO_TICKS);
        return;
    }
    // The words bounce on |cos 4 introframe|; the first time it turns negative the bee bursts.
    if (std::cos(4 * introframe) < 0) intro_explode = 1;
    if (state >= 2) introframe += 0.01f;
    if (state == 4) introout += 0.01f;
    if (state >= 1 && intro_explode) MoveBee();
}

void c_intro::Update(c_demo *, s_effectevent *) {
    float s = time / 100000.0f;
    if (bmp_introbg) MOX_DrawBitmap(320, -static_cast<int>(25 * s), *bmp_introbg);

    if (state >= 5) {
        // The logo drops in from behind the top of the frame, slowing into its place.
        float rest = 1 - logoin;
        int y = 40 - static_cast<int>(rest * rest * rest * 840);
        if (spr_intrologo) MOX_DrawSprite(436, y, *spr_intrologo);
        if (spr_tvframe) MOX_DrawSprite(0, 0, *spr_tvframe);
        return;
    }

    float a = (1 - introframe * 0.5f) * WORDS_APART;
    if (a < 0) a = 0;
    float d = std::fabs(std::cos(4 * introframe)) * a;
    if (state == 4) d = (1 - std::cos(introout)) * 640;
    if (state >= 1) {
        int left = static_cast<int>(420 + LINE_SHIFT - d);
        int right = static_cast<int>(d + 768 + LINE_SHIFT);
        if (spr_gimbard) MOX_DrawSprite(left, 440, *spr_gimbard);
        if (spr_presents) MOX_DrawSprite(right, 440, *spr_presents);
    }
    if (spr_tvframe) MOX_DrawSprite(0, 0, *spr_tvframe);
    if (state >= 1) DrawBee();
}

void c_intro::DrawBee() {
    for (int k = 0; k < 256; k++) {
        if (atarilogo[k] <= 0) continue;
        if (const s_sprite *box = spr_introparticle[atarilogo[k] - 1]) {
            MOX_DrawSprite(static_cast<int>(intro_particlex[k]),
                           static_cast<int>(intro_particley[k]), *box);
        }
    }
}

void c_intro::MoveBee() {
    for (int k = 0; k < 256; k++) {
        intro_particlex[k] += intro_particledx[k];
        intro_particley[k] += intro_particledy[k];
        intro_particledy[k] += 0.1f;
    }
}
