// The screen scene: a fountain of sparks whose density follows the beat.
#include "core/coredebug.h"
#include "demosystem/invite/intro.h"

namespace {

// Parts of the hall's picture that sparks pass behind rather than over, so they stay
// readable: the big screen in its frame and the title with its subtitle (left, top, right,
// bottom, in pixels of the 1920 x 1080 picture).
constexpr int SPARK_COVERS[2][4] = {{994, 104, 1866, 608}, {80, 712, 1170, 876}};

bool BehindCover(int x, int y, const s_sprite &spark) {
    for (const auto &c : SPARK_COVERS)
        if (x + spark.width > c[0] && x < c[2] && y + spark.height > c[1] && y < c[3]) return true;
    return false;
}

}  // namespace

c_screen::c_screen() : newpart(0) {}

void c_screen::Init(c_demo *demo) {
    core_log(LOG_PROGRESS, "scene.init", "- Init Screen\n");
    bmp_screenbg = static_cast<s_bitmap *>(GetSceneResource(demo, "screenbg", RESOURCE_TEXTURE));
    spr_screen = static_cast<s_sprite *>(GetSceneResource(demo, "screen", RESOURCE_SPRITE));
    sprsheet_particle =
        static_cast<s_spritesheet *>(GetSceneResource(demo, "particle", RESOURCE_SPRITESHEET));
    Restart(demo);
}

void c_screen::Restart(c_demo *) {
    SceneSeed(&random, 0x5C4EE7ull);
    for (s_particle &p : particle) p = {};
    newpart = 0;
    wrapped = false;
}

void c_screen::Tick(c_demo *demo) {
    // Every slot moves, also the never-filled ones, which are not drawn.
    for (s_particle &p : particle) {
        p.x += p.speed;
        p.y += p.gravity;
        p.gravity += 0.1f;
    }

    float b = demo->GetBeatMultiplier();
    int n = static_cast<int>((b - 1) * 30);
    if (n < 1) n = 1;
    // One statement per draw keeps the order of the random numbers fixed.
    for (int s = 0; s < n; s++) {
        s_particle &p = particle[newpart];
        p.y = static_cast<float>(64 + SceneRandom(&random) % 640);
        p.x = 256 + (SceneRandom(&random) & 255) + (p.y - 64) / 6;
        p.speed = static_cast<float>((SceneRandom(&random) & 15) + n + 1);
        p.gravity = -(SceneRandom(&random) & 15) / 4.0f;
        p.color = SceneRandom(&random) & 127;
        newpart = (newpart + 1) % SCREEN_NUMPARTICLES;
        if (newpart == 0) wrapped = true;
    }
}

void c_screen::Update(c_demo *, s_effectevent *) {
    if (bmp_screenbg) MOX_DrawBitmap(0, 0, *bmp_screenbg);
    // Slots not filled since the restart hold no spark (they would sit in the corner).
    int filled = wrapped ? SCREEN_NUMPARTICLES : newpart;
    for (int i = 0; i < filled; i++) {
        const s_particle &p = particle[i];
        int x = static_cast<int>(p.x), y = static_cast<int>(p.y);
        const s_sprite *spr = GetSheetFrame(sprsheet_particle, p.color / 2);
        if (spr && !BehindCover(x, y, *spr)) MOX_DrawBlendSprite(x, y, *spr, 2);
    }
}
