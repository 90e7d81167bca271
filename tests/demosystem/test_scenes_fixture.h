// Shared set-up for the scene tests: a GL context at the render size, a demo object with
// hand-made resources (solid-colour bitmaps, sprites and sprite sheets), and the clean-up
// that empties the core library's lists before the records go away.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "demosystem/invite/intro.h"
#include "demosystem/invite/invite.h"
#include "gl_context.h"

// Colours in memory order (0xAABBGGRR), as gltest_pixel reads them.
constexpr unsigned RED = 0xFF0000FF;
constexpr unsigned GREEN = 0xFF00FF00;
constexpr unsigned BLUE = 0xFFFF0000;
constexpr unsigned WHITE = 0xFFFFFFFF;
constexpr unsigned GREY = 0xFF808080;
constexpr unsigned YELLOW = 0xFF00FFFF;
constexpr unsigned BLACK = 0xFF000000;

// The demo object is several megabytes: one static instance, reset per test.
inline c_demo &SceneDemo() {
    static c_demo demo;
    return demo;
}

class SceneTest : public ::testing::Test {
protected:
    c_demo &demo = SceneDemo();

    void SetUp() override {
        ASSERT_TRUE(gltest_init(1920, 1080)) << "no GL context (display?)";
        demo.numresources = 0;
        demo.nummarkers = 0;
        demo.numlayers = 0;
        demo.position = 0;
        demo.effects = {};
        demo.renderwidth = 1920;
        demo.renderheight = 1080;
    }

    void TearDown() override {
        // Deletes every listed bitmap and sprite while the records still exist.
        MOX_FlushGraphics();
    }

    void AddResource(const char *name, int type, void *data) {
        s_demoresource &r = demo.resource[demo.numresources++];
        memset(&r, 0, sizeof r);
        strncpy(r.name, name, DEMO_NAMESIZE - 1);
        r.type = type;
        r.datapointer = data;
        r.loadOK = 1;
    }

    // A w x h bitmap filled with `abgr` (memory order, red lowest).
    s_bitmap *Texture(const char *name, int w, int h, unsigned abgr) {
        bitmaps.push_back(std::make_unique<s_bitmap>());
        s_bitmap *b = bitmaps.back().get();
        MOX_CreateBitmap(w, h, b);
        MOX_ClearBitmapWithColor(*b, static_cast<int>(abgr));
        if (name) AddResource(name, RESOURCE_TEXTURE, b);
        return b;
    }

    s_sprite *Sprite(const char *name, int w, int h, unsigned abgr) {
        s_bitmap *b = Texture(nullptr, w, h, abgr);
        sprites.push_back(std::make_unique<s_sprite>());
        s_sprite *s = sprites.back().get();
        MOX_GetSprite(0, 0, w, h, *b, s);
        if (name) AddResource(name, RESOURCE_SPRITE, s);
        return s;
    }

    // A sheet of `frames` cells of w x h in one column, all of colour `abgr`.
    s_spritesheet *Sheet(const char *name, int frames, int w, int h, unsigned abgr) {
        sheets.push_back(std::make_unique<s_spritesheet>());
        s_spritesheet *sh = sheets.back().get();
        memset(sh, 0, sizeof *sh);
        sh->columns = 1;
        sh->rows = frames;
        sh->width = w;
        sh->height = h;
        sh->numsprites = frames;
        MOX_CreateBitmap(w, h * frames, &sh->spritesheet);
        MOX_ClearBitmapWithColor(sh->spritesheet, static_cast<int>(abgr));
        frameblocks.push_back(std::make_unique<s_sprite[]>(frames));
        sh->sprite = frameblocks.back().get();
        for (int i = 0; i < frames; i++)
            MOX_GetSprite(0, i * h, w, h, sh->spritesheet, &sh->sprite[i]);
        if (name) AddResource(name, RESOURCE_SPRITESHEET, sh);
        return sh;
    }

    // The intro's media in solid colours: background grey, the group name red, "presents"
    // green, the television frame blue, the logo yellow and both kinds of bee box white.
    void IntroMedia() {
        Texture("introbg", 64, 64, GREY);
        Sprite("gimbard", 16, 16, RED);
        Sprite("presents", 16, 16, GREEN);
        Sprite("tvframe", 16, 16, BLUE);
        Sprite("intrologo", 16, 16, YELLOW);
        Sprite("boxblack", 8, 8, WHITE);
        Sprite("boxwhite", 8, 8, WHITE);
    }

    // A new frame: framebuffer 0 cleared, and the texture bind cache forgotten as
    // MOX_SwapBuffers does (selecting a framebuffer binds its texture behind the cache).
    void Clear() {
        MOX_SetFrameBuffer(0);
        MOX_ClearFrameBuffer(0xFF000000);
        MOX_lasttextureid = -1;
    }

private:
    std::vector<std::unique_ptr<s_bitmap>> bitmaps;
    std::vector<std::unique_ptr<s_sprite>> sprites;
    std::vector<std::unique_ptr<s_spritesheet>> sheets;
    std::vector<std::unique_ptr<s_sprite[]>> frameblocks;
};
