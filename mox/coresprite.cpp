// Sprites, collision tests and the graphics bookkeeping.
#include "mox/coresprite.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/coredebug.h"
#include "mox/corefont.h"
#include "mox/corevideo.h"

s_sprite *mox_spritelist[MOX_MAXSPRITES];
int mox_numsprites = 0;
s_bitmap mox_spritebmp[MOX_MAXSPRITES];

namespace {

// Lists a new sprite; with the list full the record is emptied instead (its `bitmap` kept).
bool list_sprite(s_sprite *sprite, const char *who) {
    if (mox_numsprites < MOX_MAXSPRITES) {
        mox_spritelist[mox_numsprites++] = sprite;
        return true;
    }
    core_log(LOG_ERROR, "mox.sprite_table_full",
             "- ERROR: %s: sprite list full (%d sprites), sprite not created.\n", who,
             MOX_MAXSPRITES);
    s_bitmap *bitmap = sprite->bitmap;
    *sprite = s_sprite{};
    sprite->bitmap = bitmap;
    return false;
}

void set_size(s_sprite *sprite, int w, int h) {
    sprite->width = w;
    sprite->height = h;
    sprite->hitbox_x1 = 0;
    sprite->hitbox_y1 = 0;
    sprite->hitbox_x2 = w;
    sprite->hitbox_y2 = h;
    sprite->originx = 0;
    sprite->originy = 0;
    sprite->updateflag = 0;
}

// Alpha test on and the sprite's texture bound, as every sprite draw starts.
void begin_sprite(const s_sprite &sprite) {
    MOX_EnableRenderState(MOX_STATE_ALPHATEST);
    MOX_BindTexture(sprite.textureid);
}

void sprite_quad(int x, int y, const s_sprite &s) {
    MOX_DrawQuad((float)x, (float)y, (float)s.width, (float)s.height, s.u, s.v, s.u2, s.v2);
}

}  // namespace

void MOX_GetSprite(int x, int y, int w, int h, s_bitmap bitmap, s_sprite *sprite) {
    if (!list_sprite(sprite, "MOX_GetSprite")) return;
    set_size(sprite, w, h);
    sprite->data = nullptr;
    // An unloaded bitmap has no texture size; its sprites get zero coordinates.
    const float tw = bitmap.texturewidth > 0 ? (float)bitmap.texturewidth : 0;
    const float th = bitmap.textureheight > 0 ? (float)bitmap.textureheight : 0;
    sprite->u = tw > 0 ? x / tw : 0;
    sprite->v = th > 0 ? y / th : 0;
    sprite->u2 = tw > 0 ? (x + w) / tw : 0;
    sprite->v2 = th > 0 ? (y + h) / th : 0;
    sprite->textureid = bitmap.textureid;
}

void MOX_LoadSprite(const char *filename, s_sprite *sprite) {
    const int n = mox_numsprites;
    if (n >= MOX_MAXSPRITES) {
        list_sprite(sprite, "MOX_LoadSprite");
        return;
    }
    s_bitmap *image = &mox_spritebmp[n];
    *image = s_bitmap{};
    MOX_LoadBitmap(filename, image);
    sprite->bitmap = image;
    MOX_GetSprite(0, 0, image->width, image->height, *image, sprite);
}

void MOX_CreateSprite(int w, int h, s_sprite *sprite) {
    if (w <= 0 || h <= 0 || (int64_t)w * h > INT32_MAX / 4) {
        core_log(LOG_ERROR, "mox.sprite_bad_size", "- ERROR: MOX_CreateSprite: bad size %d x %d.\n",
                 w, h);
        *sprite = s_sprite{};
        return;
    }
    auto *data = static_cast<unsigned int *>(calloc((size_t)w * h, 4));
    if (!data) {
        core_log(LOG_ERROR, "mox.sprite_no_memory",
                 "- ERROR: MOX_CreateSprite: no memory for %d x %d.\n", w, h);
        *sprite = s_sprite{};
        return;
    }
    if (!list_sprite(sprite, "MOX_CreateSprite")) {
        free(data);
        return;
    }
    set_size(sprite, w, h);
    sprite->data = data;
    sprite->textureid = 0;
    sprite->u = 0;
    sprite->v = 0;
    sprite->u2 = (float)(w * 0.99999) / w;
    sprite->v2 = (float)(h * 0.9999) / h;
}

void MOX_DeleteSprite(s_sprite *sprite) {
    free(sprite->data);
    sprite->data = nullptr;
}

void MOX_ClearSprite(s_sprite sprite) {
    if (sprite.data) memset(sprite.data, 0, (size_t)sprite.width * sprite.height * 4);
}

s_bitmap MOX_GetBitmapFromSprite(s_sprite sprite) {
    s_bitmap b{};
    b.width = sprite.width;
    b.height = sprite.height;
    b.size = sprite.width * sprite.height;
    b.datasize = b.size * 4;
    b.data = sprite.data;
    b.u = sprite.u;
    b.v = sprite.v;
    b.u2 = sprite.u2;
    b.v2 = sprite.v2;
    b.textureid = sprite.textureid;
    b.updateflag = sprite.updateflag;
    return b;
}

void MOX_SetSpritePosition(s_sprite *sprite, int x, int y) {
    sprite->posx = x;
    sprite->posy = y;
}

void MOX_SetSpriteOrigin(s_sprite *sprite, int x, int y) {
    sprite->originx = x;
    sprite->originy = y;
}

int MOX_SetSpriteCollisionBox(s_sprite *sprite, int x1, int y1, int x2, int y2) {
    sprite->hitbox_x1 = x1;
    sprite->hitbox_y1 = y1;
    sprite->hitbox_x2 = x2;
    sprite->hitbox_y2 = y2;
    return 1;
}

int MOX_CheckBoxCollision(int x1, int y1, int w1, int h1, int x2, int y2, int w2, int h2) {
    return (x1 + w1 > x2 && y1 + h1 > y2 && x2 + w2 > x1 && y2 + h2 > y1) ? 1 : 0;
}

int MOX_CheckSpriteCollision(int x1, int y1, s_sprite a, int x2, int y2, s_sprite b) {
    return MOX_CheckBoxCollision(x1 + a.hitbox_x1, y1 + a.hitbox_y1, a.hitbox_x2 - a.hitbox_x1,
                                 a.hitbox_y2 - a.hitbox_y1, x2 + b.hitbox_x1, y2 + b.hitbox_y1,
                                 b.hitbox_x2 - b.hitbox_x1, b.hitbox_y2 - b.hitbox_y1);
}

int MOX_CheckSpriteTransparency(int colour) {
    const unsigned c = (unsigned)colour;
    return ((c >> 16 & 0xFF) > 240 && (c >> 8 & 0xFF) < 16 && (c & 0xFF) > 240) ? 1 : 0;
}

void MOX_DrawSprite(int x, int y, s_sprite sprite) {
    begin_sprite(sprite);
    sprite_quad(x, y, sprite);
}

void MOX_DrawMirroredSprite(int x, int y, s_sprite sprite) {
    begin_sprite(sprite);
    MOX_DrawQuad((float)x, (float)y, (float)sprite.width, (float)sprite.height, sprite.u2, sprite.v,
                 sprite.u, sprite.v2);
}

void MOX_DrawBlendSprite(int x, int y, s_sprite sprite, int mode) {
    begin_sprite(sprite);
    MOX_SetBlendMode(mode);
    MOX_EnableRenderState(MOX_STATE_BLEND);
    sprite_quad(x, y, sprite);
    MOX_DisableRenderState(MOX_STATE_BLEND);
}

void MOX_DrawAlphaSprite(int x, int y, s_sprite sprite, float alpha) {
    begin_sprite(sprite);
    MOX_EnableAlphaBlend(alpha);
    sprite_quad(x, y, sprite);
    MOX_DisableAlphaBlend();
}

void MOX_DrawScaledSprite(int x, int y, float w, float h, s_sprite sprite, int) {
    begin_sprite(sprite);
    MOX_DrawQuad((float)x, (float)y, w, h, sprite.u, sprite.v, sprite.u2, sprite.v2);
}

void MOX_DrawRotatedSprite(int x, int y, s_sprite sprite, float angle) {
    begin_sprite(sprite);
    MOX_DrawRotatedQuad((float)x, (float)y, (float)sprite.width, (float)sprite.height, sprite.u,
                        sprite.v, sprite.u2, sprite.v2, angle);
}

void MOX_ShowGraphicsMemory() {
    core_log(LOG_PROGRESS, "mox.memory_info",
             "[=== GRAPHICS MEMORY INFO ===]\nNum.Bitmaps: %d / %d\nNum.Sprites: %d / %d\n"
             "Num.Fonts: %d / 16\nNum.Framebuffers: %d / %d\n[============================]\n",
             mox_numbitmaps, MOX_MAXBITMAPS, mox_numsprites, MOX_MAXSPRITES, mox_numfonts,
             MOX_numframebuffers, MOX_MAXFRAMEBUFFERS);
}

void MOX_UnlistGraphics(const void *begin, size_t bytes) {
    const auto inside = [&](const void *record) {
        const auto p = reinterpret_cast<uintptr_t>(record), b = reinterpret_cast<uintptr_t>(begin);
        return p >= b && p - b < bytes;
    };
    for (int i = 0; i < mox_numsprites; ++i)
        if (inside(mox_spritelist[i])) mox_spritelist[i] = nullptr;
    for (int i = 0; i < mox_numbitmaps; ++i)
        if (inside(mox_bitmaplist[i])) mox_bitmaplist[i] = nullptr;
}

void MOX_FlushGraphics() {
    for (int i = 0; i < mox_numsprites; ++i)
        if (mox_spritelist[i]) MOX_DeleteSprite(mox_spritelist[i]);
    core_log(LOG_PROGRESS, "mox.sprites_deleted", "[%d sprites deleted]\n", mox_numsprites);
    for (int i = 0; i < mox_numbitmaps; ++i)
        if (mox_bitmaplist[i]) MOX_DeleteBitmap(mox_bitmaplist[i]);
    core_log(LOG_PROGRESS, "mox.bitmaps_deleted", "[%d bitmaps deleted]\n", mox_numbitmaps);
    mox_numbitmaps = 0;
    mox_numfonts = 0;
    mox_numsprites = 0;
}
