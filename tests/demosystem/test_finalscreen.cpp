// The final scene: circle placement and growth rules, the bounded search, and the same
// picture, circles and random sequence as the plain algorithm.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "demosystem/test_finalscreen_reference.h"
#include "demosystem/test_scenes_fixture.h"
#include "log_capture.h"

namespace {

class FinalScreenTest : public SceneTest {
protected:
    // Destroyed after TearDown has unlisted its canvas.
    std::unique_ptr<c_finalscreen> scene = std::make_unique<c_finalscreen>();

    s_bitmap *Logo(int w, int h, const std::vector<unsigned> &pixels) {
        s_bitmap *b = Texture("endlogo", w, h, 0);
        FillBitmap(b, pixels);
        return b;
    }

    s_bitmap *BlackLogo(int w, int h) { return Texture("endlogo", w, h, 0); }
};

uint64_t Mix(uint64_t h, uint64_t v) { return (h ^ v) * 0x100000001B3ull; }

uint64_t HashCircles(const Circle *c, int n) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (int i = 0; i < n; i++) {
        uint32_t r, g;
        memcpy(&r, &c[i].r, 4);
        memcpy(&g, &c[i].growfactor, 4);
        h = Mix(h, static_cast<uint32_t>(c[i].x));
        h = Mix(h, static_cast<uint32_t>(c[i].y));
        h = Mix(h, static_cast<uint32_t>(c[i].color));
        h = Mix(h, r);
        h = Mix(h, g);
        h = Mix(h, c[i].growing);
    }
    return h;
}

uint64_t HashPixels(const unsigned *p, size_t n) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i + 1 < n; i += 2) h = Mix(h, p[i] | static_cast<uint64_t>(p[i + 1]) << 32);
    return h;
}

TEST_F(FinalScreenTest, InitPreparesTheCanvasAndRestartRepeatsTheCircles) {
    std::vector<unsigned> px;
    MakeEndLogo(1920, 1080, &px);
    Logo(1920, 1080, px);
    {
        LogCapture log;
        scene->Init(&demo);
        EXPECT_EQ(log.Ids(), std::vector<std::string>{"scene.init"});
    }
    EXPECT_EQ(scene->bmp_effect.width, 1920);
    EXPECT_EQ(scene->bmp_effect.height, 1080);
    EXPECT_EQ(scene->bmp_endlogo, scene->bmp_finalbg);
    EXPECT_EQ(scene->numcircles, 0);
    EXPECT_EQ(scene->maxcircles, 0);
    EXPECT_EQ(scene->Capacity(), 1920 * 1080);

    // A restart reseeds the scene's own sequence: the same circles come again, whatever the
    // program's shared generator did meanwhile.
    auto run = [&] {
        for (int k = 0; k < 200; k++) scene->Tick(&demo);
        return HashCircles(scene->circles, scene->numcircles);
    };
    srand(5);
    uint64_t first = run();
    ASSERT_GT(scene->numcircles, 300);
    int count = scene->numcircles;
    scene->Restart(&demo);
    EXPECT_EQ(scene->numcircles, 0);
    srand(6);
    EXPECT_EQ(run(), first);
    EXPECT_EQ(scene->numcircles, count);
}

TEST_F(FinalScreenTest, NewCircleRefusesPointsInsideAndAcceptsPointsOnTheRim) {
    BlackLogo(200, 100);
    scene->Init(&demo);
    Circle *a = scene->newCircle(50, 50);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, &scene->circles[0]);
    EXPECT_FLOAT_EQ(a->r, 0.9f);
    EXPECT_FLOAT_EQ(a->growfactor, 0.06f);
    EXPECT_TRUE(a->growing);
    unsigned c = static_cast<unsigned>(a->color);
    unsigned g = c & 0xFF;
    EXPECT_EQ(c, 0xFF000000u | g * 0x010101u);
    EXPECT_GE(g, 160u);
    EXPECT_LT(g, 224u);

    EXPECT_EQ(scene->newCircle(50, 50), nullptr);  // the centre of an existing circle
    EXPECT_EQ(scene->numcircles, 1);

    // Grown to 0.9 + 69 * 0.06 = 5.04, (53, 54) at distance 5 lies inside.
    for (int i = 0; i < 69; i++) scene->GrowCircle(scene->circles[0]);
    EXPECT_EQ(scene->newCircle(53, 54), nullptr);
    // Grown to 4.98, the same offset lies outside.
    ASSERT_NE(scene->newCircle(150, 50), nullptr);
    for (int i = 0; i < 68; i++) scene->GrowCircle(scene->circles[1]);
    EXPECT_NE(scene->newCircle(153, 54), nullptr);
    EXPECT_EQ(scene->numcircles, 3);

    // Exactly on the rim is outside: the distance must be below the radius.
    Circle q(0, 0, 0, 5.0f, 0.06f, true);
    EXPECT_FALSE(CircleContains(q, 3, 4));
    EXPECT_TRUE(CircleContains(q, 3, 3));
    EXPECT_TRUE(CircleContains(q, 0, 0));
}

TEST_F(FinalScreenTest, EqualsIgnoresColour) {
    Circle a(1, 2, 0xFF111111, 3.0f, 0.06f, true);
    EXPECT_TRUE(a.Equals(Circle(1, 2, 0xFF999999, 3.0f, 0.06f, true)));
    EXPECT_FALSE(a.Equals(Circle(1, 2, 0xFF111111, 3.0f, 0.06f, false)));
    EXPECT_FALSE(a.Equals(Circle(1, 3, 0xFF111111, 3.0f, 0.06f, true)));
    EXPECT_FALSE(a.Equals(Circle(1, 2, 0xFF111111, 3.5f, 0.06f, true)));
    Circle d;
    EXPECT_EQ(d.x, 0);
    EXPECT_FALSE(d.growing);
}

TEST_F(FinalScreenTest, EdgesAreTheLogoBorders) {
    BlackLogo(200, 100);
    scene->Init(&demo);
    EXPECT_FALSE(scene->Edges(Circle(2, 50, 0, 0.9f, 0, true)));
    EXPECT_TRUE(scene->Edges(Circle(2, 50, 0, 2.5f, 0, true)));
    EXPECT_FALSE(scene->Edges(Circle(199, 50, 0, 0.9f, 0, true)));
    EXPECT_TRUE(scene->Edges(Circle(199, 50, 0, 1.5f, 0, true)));
    EXPECT_TRUE(scene->Edges(Circle(100, 1, 0, 1.5f, 0, true)));
    EXPECT_TRUE(scene->Edges(Circle(100, 99, 0, 1.5f, 0, true)));
    EXPECT_FALSE(scene->Edges(Circle(100, 98, 0, 1.5f, 0, true)));
}

TEST_F(FinalScreenTest, CircleStopsInTheTickItsEdgePassesTheBorder) {
    BlackLogo(200, 100);  // nothing to place: only the circle made here
    scene->Init(&demo);
    ASSERT_NE(scene->newCircle(3, 50), nullptr);
    const Circle &q = scene->circles[0];
    float before = q.r;
    int calls = 0;
    while (q.growing && calls < 1000) {
        before = q.r;
        scene->Tick(&demo);
        calls++;
    }
    ASSERT_FALSE(q.growing);
    EXPECT_FLOAT_EQ(q.r, before);  // not grown in the tick that stopped it
    EXPECT_GT(q.r, 3.0f);
    EXPECT_LE(q.r - q.growfactor, 3.0f);
    scene->Tick(&demo);
    EXPECT_FLOAT_EQ(q.r, before);
}

TEST_F(FinalScreenTest, NeighboursStopTwoPixelsApart) {
    BlackLogo(200, 100);
    scene->Init(&demo);
    ASSERT_NE(scene->newCircle(50, 50), nullptr);
    ASSERT_NE(scene->newCircle(60, 50), nullptr);
    ASSERT_NE(scene->newCircle(150, 50), nullptr);
    const Circle *c = scene->circles;
    float sum = 0;
    int calls = 0;
    while (c[0].growing && calls < 1000) {
        sum = c[0].r + c[1].r;
        scene->Tick(&demo);
        calls++;
    }
    ASSERT_FALSE(c[0].growing);
    // Stopped in the first tick in which the radii summed to more than distance - 2.
    EXPECT_FALSE(c[1].growing);
    EXPECT_FLOAT_EQ(c[0].r + c[1].r, sum);
    EXPECT_GT(sum, 8.0f);
    EXPECT_LE(sum - 2 * 0.06f, 8.0f);
    EXPECT_TRUE(c[2].growing);
    EXPECT_TRUE(CirclesTouch(c[0], c[1]));
    EXPECT_FALSE(CirclesTouch(Circle(0, 0, 0, 3.9f, 0, true), Circle(10, 0, 0, 4.0f, 0, true)));
}

TEST_F(FinalScreenTest, PlacementPutsThreeCirclesOnNonBlackPixels) {
    std::vector<unsigned> px(300 * 200, 0);
    for (int y = 50; y < 150; y++)
        for (int x = 100; x < 200; x++) px[static_cast<size_t>(y) * 300 + x] = 0x00404040;
    Logo(300, 200, px);  // alpha 0: only the colour counts
    scene->Init(&demo);
    scene->Tick(&demo);
    ASSERT_EQ(scene->numcircles, 3);
    for (int i = 0; i < 3; i++) {
        EXPECT_GE(scene->circles[i].x, 100);
        EXPECT_LT(scene->circles[i].x, 200);
        EXPECT_GE(scene->circles[i].y, 50);
        EXPECT_LT(scene->circles[i].y, 150);
    }
}

TEST_F(FinalScreenTest, BlackOrMissingLogoEndsTheSearch) {
    BlackLogo(1920, 1080);
    scene->Init(&demo);
    for (int i = 0; i < 10; i++) {
        scene->time = i * 735;
        scene->Tick(&demo);
        scene->Update(&demo, nullptr);
    }
    EXPECT_EQ(scene->numcircles, 0);

    demo.numresources = 0;
    auto bare = std::make_unique<c_finalscreen>();
    LogCapture log;
    bare->Init(&demo);
    EXPECT_TRUE(log.Has("scene.resource_missing"));
    EXPECT_EQ(bare->Capacity(), 0);
    EXPECT_EQ(bare->newCircle(5, 5), nullptr);
    bare->Tick(&demo);
    bare->Update(&demo, nullptr);
    EXPECT_EQ(bare->numcircles, 0);
    MOX_FlushGraphics();  // unlist its canvas before it goes
}

TEST_F(FinalScreenTest, CircleArrayIsNeverOverrun) {
    std::vector<unsigned> px(2 * 1, 0xFFFFFFFF);
    Logo(2, 1, px);
    scene->Init(&demo);
    ASSERT_EQ(scene->Capacity(), 2);
    ASSERT_NE(scene->newCircle(0, 0), nullptr);
    ASSERT_NE(scene->newCircle(1, 0), nullptr);      // 1 away from a radius of 0.9
    EXPECT_EQ(scene->newCircle(100, 100), nullptr);  // free point, but no slot left
    // Placement keeps finding the two covered pixels or nothing, and always returns.
    for (int i = 0; i < 20; i++) scene->Tick(&demo);
    EXPECT_EQ(scene->numcircles, 2);
}

TEST_F(FinalScreenTest, CanvasIsUploadedAndDrawn) {
    BlackLogo(200, 100);
    scene->Init(&demo);
    ASSERT_NE(scene->newCircle(100, 100), nullptr);
    for (int i = 0; i < 100; i++) scene->GrowCircle(scene->circles[0]);  // r = 6.9
    // Late enough that the wobble has settled to 1.5: offsets trunc(sin(...) * 1.5).
    scene->time = 1000000;
    Clear();
    scene->Update(&demo, nullptr);
    float t = 100.0f;
    int dx = static_cast<int>(std::sin(0.411 * t) * 1.5f);
    int dy = static_cast<int>(std::sin(0.3917178 * t) * 1.5f - 64);
    unsigned grey = static_cast<unsigned>(scene->circles[0].color);
    // (x + 0, y + 6) is on the outline; the pixel reads back in memory order.
    unsigned g = grey & 0xFF;
    EXPECT_EQ(gltest_pixel(100 + dx, 100 + dy + 6), 0xFF000000u | g * 0x010101u);
    EXPECT_EQ(gltest_pixel(100 + dx, 100 + dy) & 0xFFFFFFu, 0u);  // the inside stays clear
}

TEST_F(FinalScreenTest, MatchesThePlainAlgorithm) {
    std::vector<unsigned> px;
    MakeEndLogo(1920, 1080, &px);
    s_bitmap *logo = Logo(1920, 1080, px);
    constexpr int TICKS = 900;
    // Painted at irregular intervals, as frames fall between ticks, so that clearing only
    // what the previous picture painted is put to the test.
    auto painted = [](int k) { return k % 3 != 1; };

    // The scene first, recording each tick; then the plain algorithm compared against it.
    std::vector<int> counts(TICKS);
    std::vector<uint64_t> circlehash(TICKS), canvashash(TICKS);
    srand(77);
    int untouched = rand();
    srand(77);
    scene->Init(&demo);
    for (int k = 0; k < TICKS; k++) {
        scene->Tick(&demo);
        counts[k] = scene->numcircles;
        circlehash[k] = HashCircles(scene->circles, scene->numcircles);
        if (!painted(k)) continue;
        scene->time = k * 735;
        scene->Paint();
        canvashash[k] = HashPixels(scene->bmp_effect.data, scene->bmp_effect.size);
    }
    EXPECT_EQ(rand(), untouched);  // the program's shared generator is left alone

    int growing = 0;
    for (int i = 0; i < scene->numcircles; i++) growing += scene->circles[i].growing;
    ASSERT_GT(scene->numcircles, 1000);
    ASSERT_GT(scene->numcircles - growing, 500);

    s_bitmap *canvas = Texture(nullptr, 1920, 1080, 0);
    ReferenceFinalScreen ref;
    ref.Init(*logo, *canvas);
    for (int k = 0; k < TICKS; k++) {
        ref.Tick();
        ASSERT_EQ(static_cast<int>(ref.circles.size()), counts[k]) << "tick " << k;
        ASSERT_EQ(HashCircles(ref.circles.data(), counts[k]), circlehash[k]) << "tick " << k;
        if (!painted(k)) continue;
        ref.time = k * 735;
        ref.Paint();
        ASSERT_EQ(HashPixels(canvas->data, static_cast<size_t>(canvas->size)), canvashash[k])
            << "tick " << k;
    }
}

}  // namespace
