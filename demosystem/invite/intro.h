// The party invitation's scenes: the six effect objects behind the effect table, their
// helpers and the tables they draw from. Each scene fetches its media by resource name in
// `Init`, evolves what moves per step in `Tick` (from `Restart`'s starting state) and draws
// into the current framebuffer in `Update`, flat, with the depth test off; media that are
// missing or of another kind are reported once by `Init` and left out of the drawing.
#pragma once
#include <cstdint>
#include <vector>

#include "demosystem/demosystem.h"

// The loaded data of the first resource named `name` of resource type `type`, or null with
// a console line naming it when there is none, only others of that name, or it did not load.
void *GetSceneResource(c_demo *demo, const char *name, int type);
// Frame `n` of a sheet, or null when the sheet is missing or holds fewer frames.
s_sprite *GetSheetFrame(const s_spritesheet *sheet, int n);

struct s_point2d {
    float x, y;
};

// The bee of the intro, row by row: 0 no box, 1 black box, 2 white box.
extern const int atarilogo[256];

class c_intro : public c_demofunction {
public:
    s_bitmap *bmp_introbg = nullptr;
    s_spritesheet *sprsheet_title = nullptr;
    s_sprite *spr_gimbard = nullptr;
    s_sprite *spr_presents = nullptr;
    s_sprite *spr_tvframe = nullptr;
    s_sprite *spr_intrologo = nullptr;
    s_sprite *spr_introparticle[2] = {nullptr, nullptr};
    float intro_particlex[256] = {};
    float intro_particley[256] = {};
    float intro_particledx[256] = {};
    float intro_particledy[256] = {};
    int offsetX = 0, offsetY = 0;
    int introbuffer_id = 0;
    float introframe = 0;
    float introout = 0;
    float logoin = 0;  // 0..1: how far the logo has dropped into place
    int intro_explode;
    bool logostarted = false;
    float logoaccel = 0;
    s_scenerandom random = {};  // the bee's burst velocities

    c_intro();
    void Init(c_demo *demo) override;
    void Restart(c_demo *demo) override;
    void Tick(c_demo *demo) override;
    void Update(c_demo *demo, s_effectevent *event) override;
    bool TestsDepth() const override { return false; }
    void DrawBee();
    // Once burst, each box moves by its velocity, which gravity bends downwards.
    void MoveBee();
};

class c_welcome : public c_demofunction {
public:
    s_bitmap *bmp_welcomebg = nullptr;
    s_sprite *spr_bee = nullptr;
    s_sprite *spr_welcomeoffer = nullptr;
    s_spritesheet *sprsheet_location = nullptr;
    s_spritesheet *sprsheet_particle = nullptr;
    float frame = 0;
    s_point2d effectPosition = {0, 0};
    int textx[540] = {};
    int particleSize;
    int numberOfLines;
    int beeSize;
    int fade = 0;

    c_welcome();
    void Init(c_demo *demo) override;
    void Restart(c_demo *demo) override;
    void Tick(c_demo *demo) override;
    void Update(c_demo *demo, s_effectevent *event) override;
    bool TestsDepth() const override { return false; }
    s_point2d BeeMovement(s_point2d p) const;
    void DrawSinLines(s_point2d p, int lines, float beat);
    // Rows of the location text shown in the current state.
    int LocationRows() const;
};

class c_compos : public c_demofunction {
public:
    s_bitmap *bmp_compobg = nullptr;
    s_spritesheet *sprsheet_bar = nullptr;
    s_sprite *spr_bestdemo = nullptr;
    s_sprite *spr_bestcompo = nullptr;
    int rect_x = 0, rect_y = 0, rect_w = 0, rect_h = 0;
    float scrollX = 0;

    void Init(c_demo *demo) override;
    void Restart(c_demo *demo) override;
    void Tick(c_demo *demo) override;
    void Update(c_demo *demo, s_effectevent *event) override;
    bool TestsDepth() const override { return false; }
};

class c_partyevents : public c_demofunction {
public:
    s_bitmap *bmp_eventbg = nullptr;
    s_spritesheet *sprsheet_particle = nullptr;
    s_sprite *spr_whyaap = nullptr;
    s_sprite *spr_butwhy = nullptr;
    s_sprite *spr_whyenjoy = nullptr;
    int scrollX;
    int aapX = 0;
    int butwhyX = 0;
    int enjoyX = 0;

    c_partyevents();
    void Init(c_demo *demo) override;
    void Restart(c_demo *demo) override;
    void Tick(c_demo *demo) override;
    void Update(c_demo *demo, s_effectevent *event) override;
    bool TestsDepth() const override { return false; }
};

struct s_particle {
    float x, y;
    float speed;    // horizontal velocity per tick
    float gravity;  // vertical velocity per tick, y downwards
    int color;      // 0..127; the frame drawn is color / 2
};

constexpr int SCREEN_NUMPARTICLES = 512;

class c_screen : public c_demofunction {
public:
    s_spritesheet *sprsheet_particle = nullptr;
    s_bitmap *bmp_screenbg = nullptr;
    s_sprite *spr_screen = nullptr;
    s_particle particle[SCREEN_NUMPARTICLES] = {};
    int newpart;
    bool wrapped = false;       // the ring has come round: every slot holds a spark
    s_scenerandom random = {};  // where and how the sparks start

    c_screen();
    void Init(c_demo *demo) override;
    void Restart(c_demo *demo) override;
    // Moves every spark, then spawns as many as the beat asks for.
    void Tick(c_demo *demo) override;
    void Update(c_demo *demo, s_effectevent *event) override;
    bool TestsDepth() const override { return false; }
};

class Circle {
public:
    int x = 0, y = 0;  // centre in end-logo pixels
    int color = 0;     // 0xAARRGGBB
    float r = 0;
    float growfactor = 0;  // radius growth per tick
    bool growing = false;

    Circle() = default;
    Circle(int x, int y, int color, float r, float growfactor, bool growing);
    // Same place, size and growth; the colour is not compared.
    bool Equals(const Circle &other) const;
};

// Circle rules shared by the scene and anything that checks it against the plain algorithm.
// Point (x, y) lies strictly inside q.
bool CircleContains(const Circle &q, int x, int y);
// q and o are closer than 2 pixels apart (edge to edge), so q stops growing.
bool CirclesTouch(const Circle &q, const Circle &o);

class c_finalscreen : public c_demofunction {
public:
    // Rules of the circle placement.
    static constexpr int SAMPLE_WIDTH = 1920;  // placement points lie in this area
    static constexpr int SAMPLE_HEIGHT = 1080;
    static constexpr int NEW_PER_TICK = 3;
    static constexpr int ATTEMPTS_PER_TICK = 1000;

    s_bitmap *bmp_finalbg = nullptr;
    s_bitmap *bmp_endlogo = nullptr;
    s_sprite *spr_finaltext = nullptr;
    Circle *circles = nullptr;  // one slot per end-logo pixel of the sampled area
    int numcircles;
    int numspots;
    int maxcircles;
    s_scenerandom random = {};  // placement points and greys

    c_finalscreen();
    void Init(c_demo *demo) override;
    void Restart(c_demo *demo) override;
    // Placement of up to three new circles, then each circle's stop test and growth.
    void Tick(c_demo *demo) override;
    // Paints and then uploads and draws the canvas.
    void Update(c_demo *demo, s_effectevent *event) override;
    bool TestsDepth() const override { return false; }

    Circle *newCircle(int x, int y);
    bool Edges(const Circle &q) const;
    void GrowCircle(Circle &q);
    void DrawCircleOutline(int x, int y, float r, int colour, s_bitmap bitmap);

    // The circles as they stand, outlined on the wobbling paths of the current `time`, into
    // the canvas `bmp_effect` (memory copy only).
    void Paint();
    int Capacity() const { return static_cast<int>(circlestore.size()); }

private:
    std::vector<Circle> circlestore;
    int logowidth = 0, logoheight = 0;
    // The part of the logo that placement samples, and its non-black pixels (y * samplewidth
    // + x, row by row), from which a placement point is drawn with one random number.
    int samplewidth = 0, sampleheight = 0;
    std::vector<int> nonblack;
    // Per sampled pixel: known to lie inside a circle (circles only grow, so that stays
    // true). Circles change only through newCircle and GrowCircle.
    std::vector<uint64_t> coveredbits;
    // Uniform grid over the sampled area holding circle indices by centre.
    static constexpr int CELL = 32;
    int gridw = 0, gridh = 0;
    std::vector<std::vector<int>> grid;
    float maxradius = 0;                         // largest radius of any circle so far
    std::vector<double> sinofindex, cosofindex;  // sin(i) and cos(i) per circle index
    // Canvas tiles painted by the last Paint, cleared by the next.
    int tilesx = 0, tilesy = 0;
    std::vector<uint8_t> dirtytiles;

    bool PickPoint(int *x, int *y);
    void CellRange(double x0, double y0, double x1, double y1, int *cx0, int *cy0, int *cx1,
                   int *cy1) const;
    bool AnyCircleContains(int x, int y);
    bool TouchesAnother(const Circle &q) const;
    void MarkPainted(int x0, int y0, int x1, int y1);  // inclusive canvas rectangle
    void ClearCanvas();
};

extern c_intro intro;
extern c_welcome welcome;
extern c_compos compos;
extern c_partyevents partyevents;
extern c_screen screen;
extern c_finalscreen finalscreen;
