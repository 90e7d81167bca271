// Sprites: rectangles of a texture drawn as one alpha-tested quad, cut from bitmaps, loaded
// from their own TGA file or created empty; collision tests; boxes and lines; the graphics
// bookkeeping (counts report, delete everything). Records belong to the caller and must stay
// in place while listed.
#pragma once
#include "mox/corebitmap.h"

constexpr int MOX_MAXSPRITES = 1024;

struct s_sprite {
    int width;  // also the size the sprite is drawn at
    int height;
    int depth;  // not used
    int atlaswidth;
    int atlasheight;
    float u, v;            // top-left texture coordinates
    float u2, v2;          // bottom-right texture coordinates
    void *texturepointer;  // not used
    int textureid;         // 0 for a sprite made with MOX_CreateSprite
    int posx, posy;
    int originx, originy;
    int hitbox_x1, hitbox_y1, hitbox_x2, hitbox_y2;  // relative to the sprite's position
    unsigned int *data;  // own pixels (MOX_CreateSprite only, malloc'd), else null
    int updateflag;
    int flags;         // not used
    s_bitmap *bitmap;  // source image of a sprite loaded with MOX_LoadSprite
};

extern s_sprite *mox_spritelist[MOX_MAXSPRITES];
extern int mox_numsprites;
extern s_bitmap mox_spritebmp[MOX_MAXSPRITES];

// Creation appends to the sprite list; with the list full (or, for MOX_CreateSprite, a size
// that is not positive or too large) it prints a message and leaves an empty record (size 0,
// texture 0, no data).
void MOX_GetSprite(int x, int y, int w, int h, s_bitmap bitmap, s_sprite *sprite);
void MOX_LoadSprite(const char *filename, s_sprite *sprite);
void MOX_CreateSprite(int w, int h, s_sprite *sprite);
void MOX_DeleteSprite(s_sprite *sprite);  // frees own pixels only
void MOX_ClearSprite(s_sprite sprite);
s_bitmap MOX_GetBitmapFromSprite(s_sprite sprite);
void MOX_SetSpritePosition(s_sprite *sprite, int x, int y);
void MOX_SetSpriteOrigin(s_sprite *sprite, int x, int y);
int MOX_SetSpriteCollisionBox(s_sprite *sprite, int x1, int y1, int x2, int y2);
// Overlap tests are strict: boxes that only touch do not collide.
int MOX_CheckSpriteCollision(int x1, int y1, s_sprite a, int x2, int y2, s_sprite b);
int MOX_CheckBoxCollision(int x1, int y1, int w1, int h1, int x2, int y2, int w2, int h2);
int MOX_CheckSpriteTransparency(int colour);  // 0xAARRGGBB keyed transparent

// Drawing: (x, y) is the top-left corner; alpha test on.
void MOX_DrawSprite(int x, int y, s_sprite sprite);
void MOX_DrawMirroredSprite(int x, int y, s_sprite sprite);
void MOX_DrawBlendSprite(int x, int y, s_sprite sprite, int mode);
void MOX_DrawAlphaSprite(int x, int y, s_sprite sprite, float alpha);
void MOX_DrawScaledSprite(int x, int y, float w, float h, s_sprite sprite, int unused);
void MOX_DrawRotatedSprite(int x, int y, s_sprite sprite, float angle);

// Primitives in 0xAARRGGBB colours, untextured (white texture), alpha test off.
void MOX_DrawBox(int x, int y, int w, int h, int colour);
void MOX_DrawLine(int x1, int y1, int x2, int y2, int colour);
// Many boxes or lines of one colour in one draw call, as the single calls would draw them in
// that order: `boxes` holds x, y, w, h of each box, `lines` x1, y1, x2, y2 of each line.
void MOX_DrawBoxes(const int *boxes, int count, int colour);
void MOX_DrawLines(const int *lines, int count, int colour);

void MOX_ShowGraphicsMemory();
// Deletes every listed sprite and bitmap and resets the bitmap, sprite and font counts.
void MOX_FlushGraphics();
// Takes the sprites and bitmaps whose records lie in the `bytes` bytes at `begin` off the
// lists (their slots stay taken), for an owner that frees or moves those records; a later
// MOX_FlushGraphics then leaves them alone. Program thread.
void MOX_UnlistGraphics(const void *begin, size_t bytes);
