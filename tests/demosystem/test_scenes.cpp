// The intro, welcome, compos, party events and screen scenes: what a tick changes, what they
// draw (read back from the framebuffer), and how they cope with missing media. `Call` is one
// frame at 60 frames per second: a tick, then the picture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "demosystem/test_scenes_fixture.h"
#include "log_capture.h"

namespace {

// ---- intro ------------------------------------------------------------------------------

class IntroTest : public SceneTest {
protected:
    std::unique_ptr<c_intro> intro = std::make_unique<c_intro>();

    void Media() {
        IntroMedia();
        intro->Init(&demo);
        MOX_SetFrameBuffer(0);
    }

    void Call(int state, int time = 0) {
        intro->state = state;
        intro->time = time;
        intro->Tick(&demo);
        Clear();
        intro->Update(&demo, nullptr);
    }
};

TEST_F(IntroTest, StateZeroShowsOnlyBackgroundAndFrame) {
    Media();
    Call(0);
    EXPECT_EQ(gltest_pixel(330, 10), GREY);            // background at (320, 0)
    EXPECT_EQ(gltest_pixel(4, 4), BLUE);               // television frame
    EXPECT_EQ(gltest_pixel(3 * 8 + 924, 442), BLACK);  // no bee
    EXPECT_FLOAT_EQ(intro->introframe, 0);

    // The background rises 25 pixels per 100000 frames.
    Call(0, 400000);
    EXPECT_EQ(gltest_pixel(330, 10), BLACK);  // now at y = -100, 64 high
}

TEST_F(IntroTest, StateOneWaitsWithWordsApartAndTheBeeInPlace) {
    Media();
    Call(1);
    // The line is centred 154 pixels right of the pictures' places (gimbard 420, presents
    // 768, the bee 768); d = |cos 0| * 240 keeps both words inside the television's
    // opening: at 574 - 240 and 922 + 240.
    EXPECT_EQ(gltest_pixel(335, 442), RED);
    EXPECT_EQ(gltest_pixel(333, 442), BLACK);
    EXPECT_EQ(gltest_pixel(1163, 442), GREEN);
    EXPECT_EQ(gltest_pixel(1161, 442), BLACK);
    EXPECT_EQ(gltest_pixel(924, 442), BLACK);          // box 0 of the bee is empty
    EXPECT_EQ(gltest_pixel(3 * 8 + 924, 442), WHITE);  // box 3 is black: drawn
    Call(1);
    EXPECT_FLOAT_EQ(intro->introframe, 0);  // no bounce before state 2
    EXPECT_EQ(intro->intro_explode, 0);
}

TEST_F(IntroTest, BeeBurstsOnTheTickAfterTheFortiethIncrement) {
    Media();
    float x0 = intro->intro_particlex[3];
    for (int i = 0; i < 40; i++) Call(2);
    EXPECT_EQ(intro->intro_explode, 0);
    EXPECT_FLOAT_EQ(intro->intro_particlex[3], x0);
    EXPECT_NEAR(intro->introframe, 0.40f, 1e-5);

    float dx = intro->intro_particledx[3];
    float dy = intro->intro_particledy[3];
    float y0 = intro->intro_particley[3];
    Call(2);
    EXPECT_EQ(intro->intro_explode, 1);
    // Moved by its velocity under gravity 0.1, less than a box: still over its old place.
    EXPECT_EQ(gltest_pixel(3 * 8 + 924, 442), WHITE);
    EXPECT_FLOAT_EQ(intro->intro_particlex[3], x0 + dx);
    EXPECT_FLOAT_EQ(intro->intro_particley[3], y0 + dy);
    EXPECT_FLOAT_EQ(intro->intro_particledy[3], dy + 0.1f);

    // Once burst it stays burst, even back in state 1.
    Call(1);
    EXPECT_EQ(intro->intro_explode, 1);
    EXPECT_FLOAT_EQ(intro->intro_particlex[3], x0 + 2 * dx);
}

TEST_F(IntroTest, RestartPutsTheBeeTogetherWithTheSameVelocities) {
    Texture("introbg", 4, 4, GREY);
    srand(77);
    int untouched = rand();
    srand(77);
    intro->Init(&demo);
    EXPECT_EQ(rand(), untouched);  // the velocities come from the scene's own sequence
    std::vector<float> dx(intro->intro_particledx, intro->intro_particledx + 256);
    std::vector<float> dy(intro->intro_particledy, intro->intro_particledy + 256);
    for (int k = 0; k < 256; k++) {
        EXPECT_GE(dx[k], -2.0f);
        EXPECT_LE(dx[k], 1.96f);
        EXPECT_LE(dy[k], 0.0f);
        EXPECT_GE(dy[k], -1.98f);
    }
    EXPECT_NE(dx[0], dx[1]);

    for (int i = 0; i < 60; i++) Call(2);  // burst and flown apart
    ASSERT_EQ(intro->intro_explode, 1);
    intro->Restart(&demo);
    EXPECT_EQ(intro->intro_explode, 0);
    EXPECT_FLOAT_EQ(intro->introframe, 0);
    EXPECT_FLOAT_EQ(intro->intro_particlex[17], 922 + 8);
    EXPECT_FLOAT_EQ(intro->intro_particley[17], 440 + 8);
    EXPECT_EQ(std::vector<float>(intro->intro_particledx, intro->intro_particledx + 256), dx);
    EXPECT_EQ(std::vector<float>(intro->intro_particledy, intro->intro_particledy + 256), dy);
}

TEST_F(IntroTest, StateFourSendsTheWordsApart) {
    Media();
    Call(4);
    // introout starts near 0, so the words meet: gimbard at 574, presents at 922.
    EXPECT_EQ(gltest_pixel(575, 441), RED);
    EXPECT_EQ(gltest_pixel(924, 442), GREEN);
    EXPECT_FLOAT_EQ(intro->introout, 0.01f);
    for (int i = 0; i < 100; i++) Call(4);
    float d = (1 - std::cos(intro->introout)) * 640;
    EXPECT_EQ(gltest_pixel(static_cast<int>(574 - d) + 1, 441), RED);
    EXPECT_EQ(gltest_pixel(static_cast<int>(574 - d) - 1, 441), BLACK);
}

TEST_F(IntroTest, StateFiveDropsTheLogoInWhateverCameBefore) {
    Media();
    for (int i = 0; i < 60; i++) Call(2);
    float frame = intro->introframe;
    // The logo comes down from above the screen, never moving up, and rests at (436, 40)
    // within 36 ticks.
    auto bottom = [] {
        int b = -1;
        for (int y = 0; y < 60; y++)
            if (gltest_pixel(440, y) == YELLOW) b = y;
        return b;
    };
    int last = -1;
    for (int i = 1; i <= 30; i++) {
        Call(5);
        const int b = bottom();
        EXPECT_LT(b, 55) << "tick " << i;
        EXPECT_GE(b, last) << "tick " << i;
        last = b;
    }
    EXPECT_GE(last, 0);  // seen on its way in
    for (int i = 31; i <= 36; i++) Call(5);
    EXPECT_EQ(bottom(), 55);
    EXPECT_EQ(gltest_pixel(436, 40), YELLOW);
    EXPECT_EQ(gltest_pixel(451, 55), YELLOW);
    EXPECT_EQ(gltest_pixel(435, 40), BLACK);
    EXPECT_EQ(gltest_pixel(436, 39), BLACK);
    EXPECT_EQ(gltest_pixel(4, 4), BLUE);
    EXPECT_EQ(gltest_pixel(3 * 8 + 924, 442), BLACK);  // no bee
    EXPECT_FLOAT_EQ(intro->introframe, frame);
    // A restart puts it back above the screen.
    intro->Restart(&demo);
    Call(5);
    EXPECT_NE(gltest_pixel(436, 40), YELLOW);
}

// ---- welcome ----------------------------------------------------------------------------

class WelcomeTest : public SceneTest {
protected:
    std::unique_ptr<c_welcome> welcome = std::make_unique<c_welcome>();

    void Call(int state, int time = 0) {
        welcome->state = state;
        welcome->time = time;
        welcome->Tick(&demo);
        Clear();
        welcome->Update(&demo, nullptr);
    }
};

TEST_F(WelcomeTest, ConstructorAndInitDefaults) {
    EXPECT_EQ(welcome->particleSize, 32);
    EXPECT_EQ(welcome->numberOfLines, 4);
    EXPECT_EQ(welcome->beeSize, 96);
    welcome->Init(&demo);
    EXPECT_FLOAT_EQ(welcome->effectPosition.x, 320);
    EXPECT_FLOAT_EQ(welcome->effectPosition.y, 240);
    EXPECT_EQ(welcome->textx[0], 2460);
    EXPECT_EQ(welcome->textx[539], 2460 - 539);
}

TEST_F(WelcomeTest, EachMarkerRevealsMoreRows) {
    Sheet("location", 540, 8, 1, GREEN);
    welcome->Init(&demo);
    Call(1);
    EXPECT_EQ(welcome->textx[0], 2460);  // nothing yet
    Call(2);
    EXPECT_NE(welcome->textx[111], 2460 - 111);
    EXPECT_EQ(welcome->textx[112], 2460 - 112);
    Call(4);
    EXPECT_NE(welcome->textx[335], 2460 - 335);
    EXPECT_EQ(welcome->textx[336], 2460 - 336);
    Call(6);  // 560 rows, capped to the 540 there are
    EXPECT_NE(welcome->textx[539], 2460 - 539);
}

TEST_F(WelcomeTest, RowsEaseToExactly640AndAreDrawnThere) {
    Sheet("location", 540, 8, 1, GREEN);
    welcome->Init(&demo);
    for (int i = 0; i < 400; i++) Call(6);
    for (int i = 0; i < 540; i++) ASSERT_EQ(welcome->textx[i], 640) << "row " << i;
    EXPECT_EQ(gltest_pixel(640, 400), GREEN);
    EXPECT_EQ(gltest_pixel(647, 939), GREEN);
    EXPECT_EQ(gltest_pixel(639, 400), BLACK);
    EXPECT_EQ(gltest_pixel(648, 400), BLACK);

    // Within 32 pixels the easing moves one pixel per tick.
    welcome->textx[0] = 671;
    Call(6);
    EXPECT_EQ(welcome->textx[0], 670);
}

TEST_F(WelcomeTest, FadeCountsUpInStateZeroAndDownInStateThree) {
    welcome->Init(&demo);
    for (int i = 0; i < 600; i++) Call(0);
    EXPECT_EQ(welcome->fade, 540);
    Call(1);
    EXPECT_EQ(welcome->fade, 540);
    for (int i = 0; i < 10; i++) Call(3);
    EXPECT_EQ(welcome->fade, 530);
}

TEST_F(WelcomeTest, BeeAndOfferTextFollowTime) {
    Sprite("bee45", 16, 16, RED);
    Sprite("offertext", 16, 16, YELLOW);
    welcome->Init(&demo);
    Call(0, 0);
    // frame 0: the bee at the centre of its path (320, 240 + 8); offer at x = 1920 (off).
    EXPECT_EQ(gltest_pixel(321, 249), RED);
    EXPECT_EQ(gltest_pixel(1910, 65), BLACK);
    // 240 * frame = 48 at time 10000: the offer text at 1920 - 48.
    Call(0, 10000);
    EXPECT_EQ(gltest_pixel(1873, 65), YELLOW);
    EXPECT_EQ(gltest_pixel(1871, 65), BLACK);
}

TEST_F(WelcomeTest, SinLinesHangUnderTheBee) {
    Sheet("particleblue", 63, 4, 4, BLUE);
    welcome->Init(&demo);
    Call(0, 0);
    // t = 0 at the top of every line, so the first particle of each sits at (352, 336).
    EXPECT_EQ(gltest_pixel(353, 337), BLUE);
}

// ---- compos -----------------------------------------------------------------------------

class ComposTest : public SceneTest {
protected:
    std::unique_ptr<c_compos> compos = std::make_unique<c_compos>();

    void Call(int state) {
        compos->state = state;
        compos->Tick(&demo);
        Clear();
        compos->Update(&demo, nullptr);
    }
};

TEST_F(ComposTest, ScrollsOnlyInStateTwo) {
    compos->Init(&demo);
    EXPECT_EQ(compos->rect_x, 738);
    EXPECT_EQ(compos->rect_h, 333);
    Call(1);
    EXPECT_FLOAT_EQ(compos->scrollX, 0);
    Call(2);
    EXPECT_FLOAT_EQ(compos->scrollX, 120);
    Call(3);
    EXPECT_FLOAT_EQ(compos->scrollX, 120);
    Call(2);
    EXPECT_FLOAT_EQ(compos->scrollX, 120 + (1920 - 120) / 16.0f);
    for (int i = 0; i < 400; i++) Call(2);
    EXPECT_NEAR(compos->scrollX, 1920, 0.01);
}

TEST_F(ComposTest, BarsRideTheWaveAroundTheBoxMiddle) {
    Texture("compobg", 64, 64, GREY);
    Sheet("bars", 6, 32, 16, RED);
    compos->Init(&demo);
    demo.position = 0;  // a = 0: bar 0 at sin(pi) ~ 0, y = 343 + 166
    Call(0);
    EXPECT_EQ(gltest_pixel(2, 2), GREY);
    EXPECT_EQ(gltest_pixel(739, 509), RED);
    EXPECT_EQ(gltest_pixel(739, 524), RED);
    EXPECT_EQ(gltest_pixel(739, 508), BLACK);
    EXPECT_EQ(gltest_pixel(739, 525), BLACK);
    EXPECT_EQ(gltest_pixel(737, 510), BLACK);

    // The wave follows the absolute position, truncated to thousands.
    demo.position = 50999;  // a = 50 * 0.02 = 1
    Call(0);
    int y0 = static_cast<int>(std::round(std::sin(2.0 + 3.141592653) * 95 + 509));
    EXPECT_EQ(gltest_pixel(739, y0), RED);
    EXPECT_EQ(gltest_pixel(739, y0 - 1), BLACK);
}

// ---- party events -----------------------------------------------------------------------

class PartyEventsTest : public SceneTest {
protected:
    std::unique_ptr<c_partyevents> events = std::make_unique<c_partyevents>();

    void Call(int state) {
        events->state = state;
        events->time = 0;
        events->Tick(&demo);
        Clear();
        events->Update(&demo, nullptr);
    }
};

TEST_F(PartyEventsTest, BackgroundComesToRestAt929) {
    events->Init(&demo);
    EXPECT_EQ(events->aapX, -480);
    EXPECT_EQ(events->butwhyX, -1280);
    EXPECT_EQ(events->enjoyX, -480);
    for (int i = 0; i < 124; i++) Call(0);
    EXPECT_LT(events->scrollX, 929);
    Call(0);
    EXPECT_EQ(events->scrollX, 929);
    for (int i = 0; i < 50; i++) Call(0);
    EXPECT_EQ(events->scrollX, 929);
}

TEST_F(PartyEventsTest, TextLinesAppearByStateAndRestAt65) {
    Sprite("whytext", 16, 16, RED);
    Sprite("whyaap", 16, 16, GREEN);
    Sprite("whyenjoy", 16, 16, YELLOW);
    events->Init(&demo);
    Call(1);
    EXPECT_EQ(events->butwhyX, -1280);
    Call(2);
    EXPECT_EQ(events->butwhyX, (31 * -1280 + 96) / 32);
    EXPECT_EQ(events->aapX, -480);
    Call(4);
    EXPECT_EQ(events->aapX, (31 * -480 + 96) / 32);
    EXPECT_EQ(events->enjoyX, -480);
    for (int i = 0; i < 400; i++) Call(6);
    EXPECT_EQ(events->butwhyX, 65);
    EXPECT_EQ(events->aapX, 65);
    EXPECT_EQ(events->enjoyX, 65);
    EXPECT_EQ(gltest_pixel(65, 64), RED);
    EXPECT_EQ(gltest_pixel(64, 64), BLACK);
    EXPECT_EQ(gltest_pixel(65, 560), GREEN);
    EXPECT_EQ(gltest_pixel(65, 920), YELLOW);

    // Back in state 1 no line is drawn, and they keep their places.
    Call(1);
    EXPECT_EQ(gltest_pixel(70, 70), BLACK);
    EXPECT_EQ(events->butwhyX, 65);
}

TEST_F(PartyEventsTest, SpirographCentredOnTheBackground) {
    Sheet("particle", 64, 4, 4, BLUE);
    events->Init(&demo);
    for (int i = 0; i < 125; i++) Call(0);
    // First particle: t = f, at centre (449, 400) + (k cos f + d cos(-f k / r), ...).
    float f = demo.GetBeatMultiplier();
    double R = 321 + 32 * std::sin(0.1 * f);
    double r = 82 + 8 * std::sin(0.12 * f);
    double k = R - r;
    double x = k * std::cos(f) + 102 * std::cos(-f * k / r);
    double y = k * std::sin(f) + 102 * std::sin(-f * k / r);
    EXPECT_EQ(gltest_pixel(static_cast<int>(449 + x) + 1, static_cast<int>(400 + y) + 1), BLUE);
}

// ---- screen -----------------------------------------------------------------------------

class ScreenTest : public SceneTest {
protected:
    std::unique_ptr<c_screen> screen = std::make_unique<c_screen>();

    void Call() {
        screen->Tick(&demo);
        Clear();
        screen->Update(&demo, nullptr);
    }
};

TEST_F(ScreenTest, OneSparkPerTickWithoutBeat) {
    screen->Init(&demo);
    demo.position = 100000;  // long after time 0 and no marker: multiplier 1
    ASSERT_FLOAT_EQ(demo.GetBeatMultiplier(), 1.0f);
    Call();
    EXPECT_EQ(screen->newpart, 1);
    Call();
    EXPECT_EQ(screen->newpart, 2);

    demo.position = 0;  // right on the pulse: multiplier 2, 30 sparks
    ASSERT_FLOAT_EQ(demo.GetBeatMultiplier(), 2.0f);
    Call();
    EXPECT_EQ(screen->newpart, 32);

    // The ring wraps from 511 to 0.
    demo.position = 100000;
    screen->newpart = 511;
    Call();
    EXPECT_EQ(screen->newpart, 0);
}

TEST_F(ScreenTest, RandomNumbersAreDrawnForYXSpeedGravityColour) {
    screen->Init(&demo);
    demo.position = 100000;
    s_scenerandom sequence = screen->random;
    int r[5];
    for (int &v : r) v = SceneRandom(&sequence);
    Call();

    float y = static_cast<float>(64 + r[0] % 640);
    float x = 256 + (r[1] & 255) + (y - 64) / 6;
    float speed = static_cast<float>((r[2] & 15) + 1 + 1);
    float gravity = -(r[3] & 15) / 4.0f;
    const s_particle &p = screen->particle[0];
    // A new spark is shown where it starts; it moves from the next tick on.
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.speed, speed);
    EXPECT_FLOAT_EQ(p.gravity, gravity);
    EXPECT_EQ(p.color, r[4] & 127);
    Call();
    EXPECT_FLOAT_EQ(p.x, x + speed);
    EXPECT_FLOAT_EQ(p.y, y + gravity);
    EXPECT_FLOAT_EQ(p.gravity, gravity + 0.1f);
    // Never-filled slots move too.
    EXPECT_FLOAT_EQ(screen->particle[2].gravity, 0.2f);

    // A restart empties the ring and starts the sequence again.
    screen->Restart(&demo);
    EXPECT_EQ(screen->newpart, 0);
    EXPECT_FLOAT_EQ(screen->particle[0].x, 0);
    Call();
    EXPECT_FLOAT_EQ(screen->particle[0].x, x);
    EXPECT_EQ(screen->particle[0].color, r[4] & 127);
}

TEST_F(ScreenTest, SparksAreDrawnAdditivelyWithFrameColourHalf) {
    Texture("screenbg", 64, 64, 0xFF000040);  // dark red
    Sheet("particle", 64, 4, 4, GREEN);
    screen->Init(&demo);
    demo.position = 100000;
    for (s_particle &p : screen->particle) p = {600, 20, 0, 0, 0};
    screen->particle[0] = {10, 10, 0, 0, 0};
    screen->newpart = 1;
    Call();
    // Background and spark add up where they overlap.
    EXPECT_EQ(gltest_pixel(11, 11), 0xFF00FF40u);
    EXPECT_EQ(gltest_pixel(30, 30), 0xFF000040u);
}

TEST_F(ScreenTest, OnlyFilledSlotsOutsideTheScreenAndTitleAreDrawn) {
    Sheet("particle", 64, 32, 32, GREEN);
    screen->Init(&demo);
    demo.position = 100000;
    // Right after a restart one slot holds a spark; the empty ones draw nothing in the
    // corner they start from.
    Call();
    EXPECT_EQ(gltest_pixel(2, 2), BLACK);
    const s_particle &first = screen->particle[0];
    EXPECT_EQ(gltest_pixel(static_cast<int>(first.x) + 16, static_cast<int>(first.y) + 16), GREEN);

    // Sparks touching the big screen or the title pass behind them; beside them they show.
    const float at[4][2] = {{1400, 300}, {970, 300}, {500, 800}, {500, 660}};
    const bool shown[4] = {false, false, false, true};
    screen->Restart(&demo);
    screen->wrapped = true;
    for (s_particle &p : screen->particle) p = {-100, -100, 0, 0, 0};
    for (int i = 0; i < 4; i++) screen->particle[i] = {at[i][0], at[i][1], 0, 0, 0};
    screen->newpart = 4;
    Clear();
    screen->Update(&demo, nullptr);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(gltest_pixel(static_cast<int>(at[i][0]) + 16, static_cast<int>(at[i][1]) + 16),
                  shown[i] ? GREEN : BLACK)
            << "spark at " << at[i][0] << "," << at[i][1];
}

// ---- missing and short media ------------------------------------------------------------

TEST_F(SceneTest, MissingMediaAreNamedAndNeverDrawn) {
    auto intro = std::make_unique<c_intro>();
    auto welcome = std::make_unique<c_welcome>();
    auto compos = std::make_unique<c_compos>();
    auto events = std::make_unique<c_partyevents>();
    auto screen = std::make_unique<c_screen>();
    c_demofunction *scenes[] = {intro.get(), welcome.get(), compos.get(), events.get(),
                                screen.get()};

    LogCapture log;
    for (c_demofunction *s : scenes) s->Init(&demo);
    // One line per lookup (two scenes look up "particle"), one per scene started.
    EXPECT_EQ(log.Count("scene.resource_missing"), 24);
    EXPECT_EQ(log.Count("scene.init"), 5);

    for (int state = 0; state < 8; state++) {
        for (c_demofunction *s : scenes) {
            s->state = state;
            s->time = 1000 * state;
            s->Tick(&demo);
            Clear();
            s->Update(&demo, nullptr);
        }
    }
    EXPECT_EQ(gltest_pixel(960, 540), BLACK);
    // The scenes' own motion goes on without media.
    EXPECT_LT(welcome->textx[0], 2460);
    EXPECT_GT(events->scrollX, 0);
}

TEST_F(SceneTest, MediaOfAnotherKindAreRefused) {
    Sprite("introbg", 8, 8, RED);    // a sprite where a texture is expected
    Texture("particle", 8, 8, RED);  // a texture where a sheet is expected
    Sheet("tvframe", 2, 8, 8, RED);  // a sheet where a sprite is expected
    auto intro = std::make_unique<c_intro>();
    auto screen = std::make_unique<c_screen>();
    LogCapture log;
    intro->Init(&demo);
    screen->Init(&demo);
    EXPECT_EQ(log.Count("scene.resource_wrong_kind"), 3);
    EXPECT_EQ(intro->bmp_introbg, nullptr);
    EXPECT_EQ(intro->spr_tvframe, nullptr);
    EXPECT_EQ(screen->sprsheet_particle, nullptr);
    intro->state = 1;
    screen->state = 1;
    intro->Tick(&demo);
    screen->Tick(&demo);
    intro->Update(&demo, nullptr);
    screen->Update(&demo, nullptr);
}

TEST_F(SceneTest, NameSharedWithAFunctionFindsTheSprite) {
    AddResource("screen", RESOURCE_FUNCTION, nullptr);  // the scene's own function resource
    s_sprite *sprite = Sprite("screen", 8, 8, RED);
    auto screen = std::make_unique<c_screen>();
    LogCapture log;
    screen->Init(&demo);
    EXPECT_EQ(screen->spr_screen, sprite);
    EXPECT_EQ(log.Count("scene.resource_missing"), 2);  // only the two others it looks up

    demo.resource[demo.numresources - 1].loadOK = 0;
    log.Clear();
    screen->Init(&demo);
    EXPECT_EQ(screen->spr_screen, nullptr);
    EXPECT_EQ(log.Count("scene.resource_not_loaded"), 1);
}

TEST_F(SceneTest, ShortSheetsAreDrawnUpToWhatTheyHold) {
    Sheet("location", 10, 8, 1, GREEN);
    Sheet("particleblue", 5, 4, 4, BLUE);
    Sheet("bars", 2, 32, 16, RED);
    Sheet("particle", 3, 4, 4, YELLOW);
    auto welcome = std::make_unique<c_welcome>();
    auto compos = std::make_unique<c_compos>();
    auto events = std::make_unique<c_partyevents>();
    auto screen = std::make_unique<c_screen>();
    c_demofunction *scenes[] = {welcome.get(), compos.get(), events.get(), screen.get()};
    for (c_demofunction *s : scenes) s->Init(&demo);
    for (int call = 0; call < 300; call++) {
        for (c_demofunction *s : scenes) {
            s->state = 6;
            s->time = 735 * call;
            s->Tick(&demo);
            s->Update(&demo, nullptr);
        }
    }
    // Rows past the sheet still ease (they are state, not drawing).
    EXPECT_EQ(welcome->textx[539], 640);
    Clear();
    welcome->Update(&demo, nullptr);
    EXPECT_EQ(gltest_pixel(641, 409), GREEN);
    EXPECT_EQ(gltest_pixel(641, 410), BLACK);

    const s_spritesheet *location = welcome->sprsheet_location;
    EXPECT_NE(GetSheetFrame(location, 9), nullptr);
    EXPECT_EQ(GetSheetFrame(location, 10), nullptr);
    EXPECT_EQ(GetSheetFrame(location, -1), nullptr);
    s_spritesheet empty{};
    EXPECT_EQ(GetSheetFrame(&empty, 0), nullptr);
}

}  // namespace

namespace {

// ---- the playback path ------------------------------------------------------------------

class PlaybackTest : public SceneTest {
protected:
    void At(int position) {
        demo.demomusic.numchannels = 1;
        demo.demomusic.offset = static_cast<uint64_t>(position) << 8;
        demo.HandleDemo();
    }
};

TEST_F(PlaybackTest, EveryScenePlaysThroughTheTimeline) {
    demo.Init(1920, 1080, 1);
    demo.CreateLayer(1920, 1080, "scenes");
    const char *names[] = {"intro", "welcome", "compos", "partyevents", "screen", "finalscreen"};
    demo.effects = invite_effects;
    for (int k = 0; k < invite_effects.count; k++) {
        AddResource(names[k], RESOURCE_FUNCTION, nullptr);
        demo.resource[demo.numresources - 1].id = k;
        demo.CreateEventA(&demo.layer[0], 100000 * k, 100000, EFFECT_FUNCTION, k, 0, nullptr);
    }
    Sprite("intrologo", 16, 16, YELLOW);
    Texture("endlogo", 64, 64, WHITE);
    // Five markers inside the intro, one on the boundary (inside neither event), two in
    // the compos event.
    for (int t : {10000, 20000, 30000, 40000, 50000, 100000, 210000, 220000})
        demo.CreateMarker(t, 0);
    for (int k = 0; k < invite_effects.count; k++) invite_effects.entry[k]->Init(&demo);

    At(80000);
    EXPECT_EQ(intro.time, 80000);
    EXPECT_EQ(intro.state, 5);
    EXPECT_EQ(gltest_pixel(437, 41), YELLOW);       // the composed picture shows the logo, landed
    EXPECT_EQ(gltest_pixel(430, 41), 0xFF302010u);  // over the background colour

    // Entered half way, each scene has caught up with every tick since its event began.
    const long long ticks = SceneTicksAt(50000, 44100);
    At(150000);
    EXPECT_EQ(welcome.time, 50000);
    EXPECT_EQ(welcome.state, 0);
    EXPECT_EQ(welcome.fade, ticks);  // one step per tick in state 0

    At(250000);
    EXPECT_EQ(compos.state, 2);
    EXPECT_GT(compos.scrollX, 120);  // slid for the ticks after the second marker
    EXPECT_LT(compos.scrollX, 1920);

    At(350000);
    EXPECT_EQ(partyevents.time, 50000);
    EXPECT_GT(partyevents.scrollX, 30);

    At(450000);
    EXPECT_EQ(screen.clock.ticks, ticks);
    EXPECT_NE(screen.newpart, 0);

    At(550000);
    EXPECT_EQ(finalscreen.time, 50000);
    EXPECT_EQ(finalscreen.clock.ticks, ticks);
    EXPECT_GT(finalscreen.numcircles, 3);

    // A scene is called only while its event covers the position.
    const int circles = finalscreen.numcircles;
    At(600000);
    EXPECT_EQ(finalscreen.numcircles, circles);
}

}  // namespace
