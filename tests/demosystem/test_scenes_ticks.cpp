// Scenes on the tick of music time: how playback steps a scene and catches it up after a
// jump, and, for each scene of the invitation, the same picture at a position whether it is
// reached at 60 or 30 frames per second, by a cold start or by a seek backwards.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <vector>

#include "demosystem/test_finalscreen_reference.h"
#include "demosystem/test_scenes_fixture.h"

namespace {

constexpr int RATE = 44100;
constexpr int TICK = RATE / SCENE_TICKS_PER_SECOND;  // 735 sample frames

// A scene that records what playback hands it on each call.
class RecordingScene : public c_demofunction {
public:
    struct Seen {
        int time, state, position;
    };
    int restarts = 0, updates = 0;
    std::vector<Seen> ticks;
    Seen drawn = {};

    void Init(c_demo *) override {}
    void Restart(c_demo *) override {
        restarts++;
        ticks.clear();
    }
    void Tick(c_demo *demo) override { ticks.push_back({time, state, demo->position}); }
    void Update(c_demo *demo, s_effectevent *) override {
        updates++;
        drawn = {time, state, demo->position};
    }
};

class SceneClock : public SceneTest {
protected:
    RecordingScene scene;
    s_effectevent event = {10000, 200000, EFFECT_FUNCTION, 0, 0, nullptr};

    void SetUp() override {
        SceneTest::SetUp();
        demo.demomusic.samplerate = RATE;
        scene.clock = {};
    }

    void At(int position) {
        demo.position = position;
        RunScene(&demo, &scene, &event);
    }
};

TEST_F(SceneClock, StepsOncePerTickReachedAndDrawsAtThePosition) {
    At(10000);  // the event's first frame reaches its first tick
    EXPECT_EQ(scene.restarts, 1);
    ASSERT_EQ(scene.ticks.size(), 1u);
    EXPECT_EQ(scene.ticks[0].time, 0);

    At(10000 + TICK - 1);  // still the same tick: drawn again, not stepped
    EXPECT_EQ(scene.ticks.size(), 1u);
    EXPECT_EQ(scene.updates, 2);
    EXPECT_EQ(scene.drawn.time, TICK - 1);

    At(10000 + 3 * TICK + 5);  // three more ticks in one frame, each at its own time
    ASSERT_EQ(scene.ticks.size(), 4u);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(scene.ticks[k].time, k * TICK);
        EXPECT_EQ(scene.ticks[k].position, 10000 + k * TICK);
    }
    EXPECT_EQ(scene.drawn.time, 3 * TICK + 5);
    EXPECT_EQ(scene.drawn.position, 10000 + 3 * TICK + 5);
    EXPECT_EQ(demo.position, 10000 + 3 * TICK + 5);
    EXPECT_EQ(scene.restarts, 1);
}

TEST_F(SceneClock, EachTickSeesTheMarkersPassedByItsOwnTime) {
    for (int t : {5000, 10000, 12000, 30000, 300000}) demo.CreateMarker(t, 0);
    At(60000);
    ASSERT_EQ(scene.ticks.size(), static_cast<size_t>(SceneTicksAt(50000, RATE)));
    for (const RecordingScene::Seen &s : scene.ticks) {
        // Markers strictly inside the event (12000 and 30000) and before the tick.
        int expected = (s.position > 12000) + (s.position > 30000);
        ASSERT_EQ(s.state, expected) << "tick at " << s.position;
    }
    EXPECT_EQ(scene.drawn.state, 2);
}

TEST_F(SceneClock, MovingBackOrToAnotherEventRestartsAndCatchesUp) {
    At(50000);
    const std::vector<RecordingScene::Seen> forward = scene.ticks;
    At(30000);  // backwards: the same ticks again from the start
    EXPECT_EQ(scene.restarts, 2);
    ASSERT_EQ(scene.ticks.size(), static_cast<size_t>(SceneTicksAt(20000, RATE)));
    for (size_t k = 0; k < scene.ticks.size(); k++)
        EXPECT_EQ(scene.ticks[k].position, forward[k].position);

    // The same record edited (moved or resized) counts as another event.
    event.length += 1;
    At(30000);
    EXPECT_EQ(scene.restarts, 3);
    s_effectevent other = event;
    demo.position = 30000;
    RunScene(&demo, &scene, &other);
    EXPECT_EQ(scene.restarts, 4);
    EXPECT_EQ(scene.ticks.size(), static_cast<size_t>(SceneTicksAt(20000, RATE)));
}

TEST_F(SceneClock, HugeJumpsAndOddRatesStayBounded) {
    event.length = INT_MAX - event.t;
    At(INT_MAX - 1);
    EXPECT_EQ(static_cast<long long>(scene.ticks.size()), SCENE_MAX_TICKS);

    // A music claiming one frame per second, or none: still bounded, still at 60 per second
    // of the music's own time.
    demo.demomusic.samplerate = 1;
    scene.clock = {};
    At(10000 + 1000);
    EXPECT_EQ(static_cast<long long>(scene.ticks.size()), SCENE_MAX_TICKS);
    demo.demomusic.samplerate = 0;
    scene.clock = {};
    At(10000 + RATE);
    EXPECT_EQ(static_cast<long long>(scene.ticks.size()), SCENE_TICKS_PER_SECOND + 1);
}

TEST(SceneRandom, SeededSequencesRepeatAndSpread) {
    s_scenerandom a, b;
    SceneSeed(&a, 42);
    SceneSeed(&b, 42);
    int buckets[8] = {};
    for (int i = 0; i < 8000; i++) {
        int v = SceneRandom(&a);
        ASSERT_EQ(v, SceneRandom(&b));
        ASSERT_GE(v, 0);
        buckets[v % 8]++;
    }
    for (int n : buckets) EXPECT_NEAR(n, 1000, 150);
    SceneSeed(&b, 43);
    EXPECT_NE(SceneRandom(&a), SceneRandom(&b));
}

// ---- every scene of the invitation --------------------------------------------------------

// One scene shown for an event that starts at E0, with markers at the given seconds into it.
class SameFrame : public SceneTest {
protected:
    static constexpr int E0 = 20000;
    s_effectevent event = {E0, 30 * RATE, EFFECT_FUNCTION, 0, 0, nullptr};

    void SetUp() override {
        SceneTest::SetUp();
        demo.demomusic.samplerate = RATE;
    }

    void Markers(std::initializer_list<double> seconds) {
        for (double s : seconds) demo.CreateMarker(E0 + static_cast<int>(s * RATE), 0);
    }

    std::vector<uint32_t> Frame(c_demofunction *scene, int position) {
        demo.position = position;
        Clear();
        RunScene(&demo, scene, &event);
        std::vector<uint32_t> pixels(1920 * 1080);
        glFinish();
        glReadPixels(0, 0, 1920, 1080, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    // Frames every `step` sample frames from the event's start, the last one at `position`.
    std::vector<uint32_t> Played(c_demofunction *scene, int position, int step) {
        scene->clock = {};
        for (int p = E0 + (position - E0) % step; p < position; p += step) Frame(scene, p);
        return Frame(scene, position);
    }

    // The picture at P = `seconds` into the event: the same at 60 and 30 frames per second,
    // by a cold start (as a freshly loaded scene) and by a seek back from later; and not the
    // picture a few ticks earlier, so that the scene's evolution is what is compared.
    void ExpectSameFrame(c_demofunction *scene, double seconds) {
        const int p = E0 + static_cast<int>(seconds * RATE) + 123;
        const std::vector<uint32_t> at60 = Played(scene, p, TICK);
        size_t lit = 0;
        for (uint32_t px : at60) lit += (px & 0xFFFFFFu) != 0;
        ASSERT_GT(lit, 1000u) << "the picture shows nothing";

        EXPECT_TRUE(at60 == Played(scene, p, 2 * TICK)) << "30 frames per second";
        scene->Init(&demo);
        scene->clock = {};
        EXPECT_TRUE(at60 == Frame(scene, p)) << "cold start";
        Frame(scene, p + RATE);
        EXPECT_TRUE(at60 == Frame(scene, p)) << "seek back";

        scene->clock = {};
        EXPECT_FALSE(at60 == Frame(scene, p - 5 * TICK)) << "five ticks earlier";
    }
};

TEST_F(SameFrame, Intro) {
    IntroMedia();
    c_intro intro;
    intro.Init(&demo);
    Markers({0.1, 0.2, 1.0});
    ExpectSameFrame(&intro, 1.2);  // bouncing, the bee burst and falling apart
}

TEST_F(SameFrame, Welcome) {
    Texture("welcomebg", 640, 400, GREY);
    Sprite("bee45", 96, 96, YELLOW);
    Sprite("offertext", 256, 32, RED);
    Sheet("location", 540, 600, 1, GREEN);
    Sheet("particleblue", 63, 16, 16, BLUE);
    auto welcome = std::make_unique<c_welcome>();
    welcome->Init(&demo);
    Markers({0.1, 0.2, 0.3, 0.4});
    ExpectSameFrame(welcome.get(), 0.8);  // rows of the location text easing in
}

TEST_F(SameFrame, Compos) {
    Texture("compobg", 1920, 1080, GREY);
    Sheet("bars", 6, 455, 36, RED);
    c_compos compos;
    compos.Init(&demo);
    Markers({0.1, 0.3});
    ExpectSameFrame(&compos, 0.6);  // sliding out
}

TEST_F(SameFrame, PartyEvents) {
    Texture("eventsbg", 1920, 1080, GREY);
    Sheet("particle", 64, 32, 32, BLUE);
    Sprite("whytext", 400, 64, RED);
    Sprite("whyaap", 400, 64, GREEN);
    Sprite("whyenjoy", 400, 64, YELLOW);
    c_partyevents events;
    events.Init(&demo);
    Markers({0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
    ExpectSameFrame(&events, 0.9);  // all three lines easing in
}

TEST_F(SameFrame, Screen) {
    Texture("screenbg", 640, 400, 0xFF200000);
    Sheet("particle", 64, 32, 32, GREEN);
    auto screen = std::make_unique<c_screen>();
    screen->Init(&demo);
    Markers({0.2, 0.6});  // beats: bursts of sparks
    ExpectSameFrame(screen.get(), 0.8);
}

TEST_F(SameFrame, FinalScreen) {
    std::vector<unsigned> px;
    MakeEndLogo(1920, 1080, &px);
    FillBitmap(Texture("endlogo", 1920, 1080, 0), px);
    auto scene = std::make_unique<c_finalscreen>();
    scene->Init(&demo);
    ExpectSameFrame(scene.get(), 1.2);  // circles placed, growing and wobbling
    MOX_FlushGraphics();                // unlist its canvas before it goes
}

}  // namespace
