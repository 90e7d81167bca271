// The process entry's two threads without a GL context: window requests from the program
// thread run on the event thread, and key, button and wheel events pushed into SDL's queue
// travel through the event thread's pump to the program thread's polls; the pointer's position
// is the one its events carried.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "mox/mox.h"

namespace {

int keys_seen, keycode_seen, buttons_seen, wheel_seen;
int x_seen, y_seen;

void push_key(SDL_Scancode sc, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.scancode = sc;
    SDL_PushEvent(&e);
}

// Polls until `done` holds or about two seconds have passed.
template <typename Cond>
bool poll_until(Cond done) {
    for (int i = 0; i < 2000; i++) {
        if (done()) return true;
        SDL_Delay(1);
    }
    return false;
}

int program(int, char *[]) {
    MOX_SetTitle("threads");
    MOX_HideMouse();
    MOX_ShowMouse();
    push_key(SDL_SCANCODE_LCTRL, true);
    push_key(SDL_SCANCODE_RCTRL, true);
    push_key(SDL_SCANCODE_RCTRL, false);  // left Ctrl still held
    push_key(SDL_SCANCODE_ESCAPE, true);
    poll_until([] {
        MOX_GetKeys(&keys_seen, nullptr);
        return keys_seen == (0x20 | 0x8000);
    });
    int trigger;
    MOX_GetKeycode(&keycode_seen, &trigger);

    // The pointer comes from the events: a motion, then a press that happened further on.
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = 40;
    e.motion.y = 30;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_RIGHT;
    e.button.x = 123;
    e.button.y = 45;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = 3;
    SDL_PushEvent(&e);
    poll_until([] {
        int z, dir;
        MOX_GetMouse(&x_seen, &y_seen, &buttons_seen);
        MOX_GetMouseWheel(&z, &dir);
        if (dir) wheel_seen = dir;
        return buttons_seen == 2 && wheel_seen == 1;
    });
    return 7;
}

TEST(DriverThreads, RequestsAndInputCrossBetweenThreads) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no display";
    char name[] = "tsan_driver";
    char *argv[] = {name, nullptr};
    EXPECT_EQ(mox_processentry(1, argv, program), 7);
    EXPECT_EQ(keys_seen, 0x20 | 0x8000);
    EXPECT_EQ(keycode_seen, 0xF000);
    EXPECT_EQ(buttons_seen, 2);
    EXPECT_EQ(wheel_seen, 1);
    EXPECT_EQ(x_seen, 123);
    EXPECT_EQ(y_seen, 45);
}

}  // namespace
