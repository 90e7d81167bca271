// The process entry's two threads without a GL context: window requests from the program
// thread run on the event thread, and key, button and wheel events pushed into SDL's queue
// travel through the event thread's pump to the program thread's polls.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "mox/mox.h"

namespace {

int keys_seen, keycode_seen, buttons_seen, wheel_seen;

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

  SDL_Event e{};
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.button = SDL_BUTTON_RIGHT;
  SDL_PushEvent(&e);
  e = SDL_Event{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = 3;
  SDL_PushEvent(&e);
  poll_until([] {
    int x, y, z, dir;
    MOX_GetMouse(&x, &y, &buttons_seen);
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
}

}  // namespace
