// Key word, triggers, key codes, mouse, joystick translations and controllers, driven through
// injected key and mouse messages and an SDL virtual joystick (no window needed).
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "log_capture.h"
#include "mox/mox.h"

namespace {

void release_all() {
    for (int vk = 0; vk < 256; vk++)
        if (MOX_keys[vk]) mox_keyevent(vk, 0);
    int k, t;
    MOX_GetKeys(&k, &t);
    MOX_GetKeycode(&k, &t);
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override { release_all(); }
    void TearDown() override { release_all(); }
};

int keyword_of(std::initializer_list<int> vks) {
    for (int vk : vks) mox_keyevent(vk, 1);
    int k = 0;
    MOX_GetKeys(&k, nullptr);
    for (int vk : vks) mox_keyevent(vk, 0);
    return k;
}

TEST_F(InputTest, KeyWordSharesBitsBetweenKeys) {
    EXPECT_EQ(keyword_of({MOX_VK_LEFT, MOX_VK_RIGHT}), 0x4 | 0x8);
    EXPECT_EQ(keyword_of({MOX_VK_BACK}), 0x2000);
    EXPECT_EQ(keyword_of({MOX_VK_DELETE}), 0x2000);
    EXPECT_EQ(keyword_of({'2'}), 0x2000);
    EXPECT_EQ(keyword_of({MOX_VK_MENU}), 0x80);
    EXPECT_EQ(keyword_of({'C'}), 0x80);
    EXPECT_EQ(keyword_of({MOX_VK_RETURN, '1'}), 0x1000);
    EXPECT_EQ(keyword_of({MOX_VK_ESCAPE, MOX_VK_TAB, 'Z', 'X'}), 0x8000 | 0x4000 | 0x100 | 0x400);
    EXPECT_EQ(keyword_of({'A', '3', MOX_VK_F1}), 0);
}

TEST_F(InputTest, TriggerOnlyOnTheFirstPollOfAPress) {
    int k, t;
    mox_keyevent(MOX_VK_SPACE, 1);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(k, 0x10);
    EXPECT_EQ(t, 0x10);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(k, 0x10);
    EXPECT_EQ(t, 0);
    // A poll without a trigger pointer still consumes the trigger.
    mox_keyevent(MOX_VK_UP, 1);
    MOX_GetKeys(&k, nullptr);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(t, 0);
    mox_keyevent(MOX_VK_SPACE, 0);
    mox_keyevent(MOX_VK_UP, 0);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(k, 0);
    EXPECT_EQ(t, 0);
}

TEST_F(InputTest, KeyCodeTriggersOnChangesOfTheLastKey) {
    int c, t;
    mox_keyevent('A', 1);
    MOX_GetKeycode(&c, &t);
    EXPECT_EQ(c, 0x41);
    EXPECT_EQ(t, 1);
    mox_keyevent('A', 1);  // auto-repeat
    MOX_GetKeycode(&c, &t);
    EXPECT_EQ(c, 0x41);
    EXPECT_EQ(t, 0);
    mox_keyevent('B', 1);
    MOX_GetKeycode(&c, &t);
    EXPECT_EQ(c, 0x42);
    EXPECT_EQ(t, 1);
    mox_keyevent('A', 0);
    MOX_GetKeycode(&c, &t);
    EXPECT_EQ(c, 0x42);
    EXPECT_EQ(t, 0);
    mox_keyevent('B', 0);
    MOX_GetKeycode(&c, &t);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(t, 0);
    // Pressed again between two polls after a release: triggers again.
    mox_keyevent('B', 1);
    MOX_GetKeycode(&c, &t);
    mox_keyevent('B', 0);
    mox_keyevent('B', 1);
    MOX_GetKeycode(&c, &t);
    EXPECT_EQ(c, 0x42);
    EXPECT_EQ(t, 1);
}

TEST_F(InputTest, KeyCodeTable) {
    EXPECT_EQ(mox_translatekeycode(0x7B), 0xF03B);  // F12
    EXPECT_EQ(mox_translatekeycode(0x70), 0xF030);
    EXPECT_EQ(mox_translatekeycode(MOX_VK_ESCAPE), 0xF000);
    EXPECT_EQ(mox_translatekeycode(MOX_VK_TAB), 0xF028);
    EXPECT_EQ(mox_translatekeycode(MOX_VK_CAPITAL), 0xF027);
    EXPECT_EQ(mox_translatekeycode(0x5B), 0x5B);  // Windows key: its own number
    EXPECT_EQ(mox_translatekeycode('7'), '7');
    for (int vk = 0; vk < 256; vk++) {
        int code = mox_translatekeycode(vk);
        EXPECT_EQ(mox_keycodetovk(code), vk) << vk;
    }
    EXPECT_EQ(mox_keycodetovk(0xF0FF), -1);
}

TEST_F(InputTest, WheelMovesOneStepPerMessage) {
    int z0, z, dir;
    MOX_GetMouseWheel(&z0, &dir);
    mox_wheelevent(240);
    MOX_GetMouseWheel(&z, &dir);
    EXPECT_EQ(z, z0 + 1);
    EXPECT_EQ(dir, 1);
    MOX_GetMouseWheel(&z, &dir);
    EXPECT_EQ(z, z0 + 1);
    EXPECT_EQ(dir, 0);
    mox_wheelevent(-1);
    MOX_GetMouseWheel(&z, &dir);
    EXPECT_EQ(z, z0);
    EXPECT_EQ(dir, -1);
}

TEST_F(InputTest, MouseButtonsAndModes) {
    mox_mousebuttonevent(1, 1);
    mox_mousebuttonevent(4, 1);
    int x = 77, y = 88, b = 0;
    MOX_SetMouseMode(2);
    MOX_GetMouse(&x, &y, &b);
    EXPECT_EQ(x, 77);
    EXPECT_EQ(y, 88);
    EXPECT_EQ(b, 5);
    mox_mousebuttonevent(1, 0);
    MOX_SetMouseMode(0);
    MOX_GetMouse(&x, &y, &b);
    EXPECT_EQ(b, 4);
    mox_mousebuttonevent(4, 0);
}

TEST(Joystick, HatAsDegreesTimesHundred) {
    EXPECT_EQ(mox_joystick_hatbits(0), MOX_PAD_UP);
    EXPECT_EQ(mox_joystick_hatbits(4500), MOX_PAD_UP | MOX_PAD_RIGHT);
    EXPECT_EQ(mox_joystick_hatbits(9000), MOX_PAD_RIGHT);
    EXPECT_EQ(mox_joystick_hatbits(13500), MOX_PAD_RIGHT | MOX_PAD_DOWN);
    EXPECT_EQ(mox_joystick_hatbits(22500), MOX_PAD_DOWN | MOX_PAD_LEFT);
    EXPECT_EQ(mox_joystick_hatbits(31500), MOX_PAD_LEFT | MOX_PAD_UP);
    EXPECT_EQ(mox_joystick_hatbits(36000), MOX_PAD_UP);
    EXPECT_EQ(mox_joystick_hatbits(36100), 0);
    EXPECT_EQ(mox_joystick_hatbits(65535), 0);
    for (int hat : {1, 3, 2, 6, 4, 12, 8, 9})
        EXPECT_NE(mox_joystick_hatbits(mox_joystick_hattopov(hat)), 0);
    EXPECT_EQ(mox_joystick_hatbits(mox_joystick_hattopov(6)), MOX_PAD_RIGHT | MOX_PAD_DOWN);
    EXPECT_EQ(mox_joystick_hattopov(0), 65535);
}

TEST(Joystick, AxesAndButtonColumns) {
    EXPECT_EQ(mox_joystick_axis(0), -128);
    EXPECT_EQ(mox_joystick_axis(32767), 0);
    EXPECT_EQ(mox_joystick_axis(65535), 128);
    EXPECT_EQ(mox_joystick_padtype(10), 10);
    EXPECT_EQ(mox_joystick_padtype(14), 14);
    EXPECT_EQ(mox_joystick_padtype(12), 0);
    auto bit = [](int pad, int button) { return mox_joystick_buttonbits(pad, 1u << (button - 1)); };
    EXPECT_EQ(bit(10, 1), 0x10);
    EXPECT_EQ(bit(10, 7), 0x2000);
    EXPECT_EQ(bit(10, 10), 0x4000);
    EXPECT_EQ(bit(14, 1), 0x40);
    EXPECT_EQ(bit(14, 13), 0x8000);
    EXPECT_EQ(bit(14, 14), 0x1000);
    EXPECT_EQ(bit(0, 1), 0x80);
    EXPECT_EQ(bit(0, 5), 0x200);
    EXPECT_EQ(bit(0, 13), 0);
    EXPECT_EQ(mox_joystick_buttonbits(14, 0xFFFFFFFFu), 0xFFF0);
}

TEST(CommandLine, SplitsOnBlanksAndGroupsQuotes) {
    int argc = 0;
    char **argv = CommandLineToArgvA("prog.exe \"two words\" third", &argc);
    ASSERT_EQ(argc, 3);
    EXPECT_STREQ(argv[0], "prog.exe");
    EXPECT_STREQ(argv[1], "two words");
    EXPECT_STREQ(argv[2], "third");
    EXPECT_EQ(argv[3], nullptr);
    free(argv);

    argv = CommandLineToArgvA("a\"b c\"d", &argc);
    ASSERT_EQ(argc, 1);
    EXPECT_STREQ(argv[0], "ab cd");
    free(argv);

    argv = CommandLineToArgvA("  x\t\r\ny  \"\" ", &argc);
    ASSERT_EQ(argc, 3);
    EXPECT_STREQ(argv[0], "x");
    EXPECT_STREQ(argv[1], "y");
    EXPECT_STREQ(argv[2], "");
    free(argv);

    argv = CommandLineToArgvA("\"unterminated quote", &argc);
    ASSERT_EQ(argc, 1);
    EXPECT_STREQ(argv[0], "unterminated quote");
    free(argv);

    argv = CommandLineToArgvA("", &argc);
    EXPECT_EQ(argc, 0);
    EXPECT_EQ(argv[0], nullptr);
    free(argv);
    argv = CommandLineToArgvA(nullptr, &argc);
    EXPECT_EQ(argc, 0);
    free(argv);
}

class ControllerTest : public InputTest {};

TEST_F(ControllerTest, WithoutJoysticksFourControllers) {
    MOX_InitControllers();
    ASSERT_EQ(MOX_numcontrollers, 4);
    EXPECT_EQ(MOX_controller[0].type, 1);
    EXPECT_EQ(MOX_controllerkeys[0][0], 0xF001);
    EXPECT_EQ(MOX_controller[1].type, 1);
    EXPECT_EQ(MOX_controllerkeys[1][0], 'W');
    EXPECT_EQ(MOX_controller[2].type, 4);
    EXPECT_EQ(MOX_controller[3].type, 3);
}

TEST_F(ControllerTest, KeySetsDriveAxesAndMergedBits) {
    MOX_InitControllers();
    int k, t;
    mox_keyevent('W', 1);
    MOX_GetAllControllers(&k, &t);
    EXPECT_EQ(MOX_controller[1].y, -127);
    EXPECT_EQ(MOX_controller[1].keys & 0xF, 0);
    EXPECT_EQ(k, 0x1);
    EXPECT_EQ(t, 0x1);
    MOX_GetAllControllers(&k, &t);
    EXPECT_EQ(k, 0x1);
    EXPECT_EQ(t, 0);
    mox_keyevent('W', 0);

    // Set 1: V is entry 10 (0x200), C entry 9 (0x400); arrows through their key codes.
    mox_keyevent('V', 1);
    MOX_GetAllControllers(&k, &t);
    EXPECT_EQ(k, 0x200);
    mox_keyevent('V', 0);
    mox_keyevent('C', 1);
    mox_keyevent(MOX_VK_RIGHT, 1);
    mox_keyevent(MOX_VK_ESCAPE, 1);
    MOX_GetAllControllers(&k, &t);
    EXPECT_EQ(k, 0x400 | 0x8 | 0x8000);
    EXPECT_EQ(MOX_controller[0].x, 127);
}

TEST_F(ControllerTest, KeyCodeAndMouseArePolledButNotMerged) {
    MOX_InitControllers();
    mox_keyevent('Q', 1);
    mox_mousebuttonevent(2, 1);
    int k, t;
    MOX_GetAllControllers(&k, &t);
    EXPECT_EQ(k, 0);
    EXPECT_EQ(MOX_controller[3].keys, 'Q');
    EXPECT_EQ(MOX_controller[2].keys, 2);
    mox_mousebuttonevent(2, 0);
}

TEST_F(ControllerTest, TableRefusesANinthController) {
    MOX_InitControllers();
    int keys[16] = {};
    for (int i = MOX_numcontrollers; i < MOX_MAXCONTROLLERS; i++)
        EXPECT_EQ(MOX_AddKeyController(keys), i);
    EXPECT_EQ(MOX_AddKeyController(keys), -1);
    EXPECT_EQ(MOX_numcontrollers, MOX_MAXCONTROLLERS);
}

// A virtual ten-button pad with a hat, read through the driver and merged.
TEST_F(ControllerTest, VirtualJoystickMerges) {
    ASSERT_EQ(SDL_Init(SDL_INIT_JOYSTICK), 0);
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 4, 10, 1);
    ASSERT_GE(index, 0);
    {
        LogCapture log;
        MOX_InitControllers();
        EXPECT_TRUE(log.Has("mox.joystick_found"));
    }
    ASSERT_EQ(MOX_numcontrollers, 5);
    ASSERT_EQ(MOX_controller[0].type, 2);

    SDL_Joystick *j = SDL_JoystickOpen(index);
    ASSERT_NE(j, nullptr);
    auto set_x = [&](int x) {
        SDL_JoystickSetVirtualAxis(j, 0, Sint16(x - 32768));
        SDL_JoystickUpdate();
    };
    int k, t;
    // -100 on the -128..128 scale adds left; -64 exactly adds nothing.
    set_x(32767 - 100 * 256);
    MOX_GetAllControllers(&k, &t);
    EXPECT_EQ(MOX_controller[0].x, -100);
    EXPECT_EQ(k, MOX_PAD_LEFT);
    set_x(32767 - 64 * 256);
    MOX_GetAllControllers(&k, &t);
    EXPECT_EQ(MOX_controller[0].x, -64);
    EXPECT_EQ(k, 0);

    SDL_JoystickSetVirtualButton(j, 6, 1);  // button 7 of a ten-button pad
    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_RIGHTUP);
    SDL_JoystickUpdate();
    MOX_GetAllControllers(&k, &t);
    EXPECT_EQ(k, 0x2000 | MOX_PAD_UP | MOX_PAD_RIGHT);

    SDL_JoystickClose(j);
    SDL_JoystickDetachVirtual(index);
    SDL_JoystickUpdate();
    MOX_GetAllControllers(&k, &t);
    EXPECT_EQ(MOX_controller[0].active, 0);
    EXPECT_EQ(k, 0);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

}  // namespace

// Events through the driver's queue, as the window delivers them: a tap shorter than the time
// between two polls is still seen down by exactly one poll, with its trigger.
namespace {

void push_key(SDL_Scancode sc, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.scancode = sc;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
}

void push_button(Uint8 button, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = button;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
}

// Runs after the other suites: the window it brings up stays.
class InputQueue : public InputTest {};

}  // namespace

TEST_F(InputQueue, TapsBetweenTwoPollsAreSeenOnce) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ASSERT_EQ(mox_initdriver(), 0);
    int k = 0, t = 0, buttons = 0;
    MOX_GetKeys(&k, &t);

    push_key(SDL_SCANCODE_SPACE, true);
    push_key(SDL_SCANCODE_SPACE, false);
    push_key(SDL_SCANCODE_RETURN, true);
    push_key(SDL_SCANCODE_RETURN, false);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(k, 0x10 | 0x1000);
    EXPECT_EQ(t, 0x10 | 0x1000);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(k, 0);
    EXPECT_EQ(t, 0);

    // A key-code poll right after the key poll that let a tap's release through still reports
    // the tap's key once, with its trigger (the editor reads letters so).
    push_key(SDL_SCANCODE_U, true);
    push_key(SDL_SCANCODE_U, false);
    MOX_GetKeys(&k, &t);
    int code = 0, codetrigger = 0;
    MOX_GetKeycode(&code, &codetrigger);
    EXPECT_EQ(code, 'U');
    EXPECT_TRUE(codetrigger);
    MOX_GetKeycode(&code, &codetrigger);
    EXPECT_EQ(code, 0);

    // Every press between two polls is kept in order, with Shift as it was at the press.
    int presses[MOX_MAXPRESSES];
    MOX_TakeKeyPresses(presses, MOX_MAXPRESSES);
    push_key(SDL_SCANCODE_A, true);
    push_key(SDL_SCANCODE_A, false);
    push_key(SDL_SCANCODE_LSHIFT, true);
    push_key(SDL_SCANCODE_B, true);
    push_key(SDL_SCANCODE_B, false);
    push_key(SDL_SCANCODE_LSHIFT, false);
    push_key(SDL_SCANCODE_C, true);  // after Shift's release, though that waits for a poll
    push_key(SDL_SCANCODE_C, false);
    push_key(SDL_SCANCODE_C, true);  // the same key twice before a poll: two presses
    push_key(SDL_SCANCODE_C, false);
    MOX_GetKeys(&k, &t);
    MOX_GetKeys(&k, &t);
    MOX_GetKeys(&k, &t);
    ASSERT_EQ(MOX_TakeKeyPresses(presses, MOX_MAXPRESSES), 5);
    EXPECT_EQ(presses[0], 'A');
    EXPECT_EQ(presses[1], MOX_VK_SHIFT);
    EXPECT_EQ(presses[2], 'B' | MOX_PRESS_SHIFT);
    EXPECT_EQ(presses[3], 'C');
    EXPECT_EQ(presses[4], 'C');
    EXPECT_EQ(MOX_TakeKeyPresses(presses, MOX_MAXPRESSES), 0);
    // Presses nobody takes: the newest are kept.
    for (int i = 0; i < MOX_MAXPRESSES + 5; i++) {
        mox_keyevent('0' + i % 10, 1);
        mox_keyevent('0' + i % 10, 0);
    }
    ASSERT_EQ(MOX_TakeKeyPresses(presses, MOX_MAXPRESSES), MOX_MAXPRESSES);
    EXPECT_EQ(presses[MOX_MAXPRESSES - 1], '0' + (MOX_MAXPRESSES + 4) % 10);

    // A mouse poll that takes a tap first keeps it for the next key poll.
    push_key(SDL_SCANCODE_Z, true);
    push_key(SDL_SCANCODE_Z, false);
    MOX_GetMouse(nullptr, nullptr, &buttons);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(t, 0x100);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(k, 0);

    // A key held across polls is not delayed, and a click is seen like a tap.
    push_key(SDL_SCANCODE_LEFT, true);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(t, 0x4);
    push_key(SDL_SCANCODE_LEFT, false);
    push_button(SDL_BUTTON_LEFT, true);
    push_button(SDL_BUTTON_LEFT, false);
    MOX_GetKeys(&k, &t);
    EXPECT_EQ(k, 0);
    MOX_GetMouse(nullptr, nullptr, &buttons);
    EXPECT_EQ(buttons, 1);
    MOX_GetMouse(nullptr, nullptr, &buttons);
    EXPECT_EQ(buttons, 0);
}
