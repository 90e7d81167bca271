// Platform driver over SDL2: process entry, event thread, window and GL context, keyboard,
// mouse, joysticks, clock and title. The only file that includes SDL's video and input
// headers.
//
// Threads: the first thread initialises SDL, owns the window and pumps events; the program
// thread runs the program and owns the GL context. Window operations that X11 wants on the
// event thread (size, full screen, show, title, cursor) are handed to it as requests and
// waited for. Input events reach the program thread through a locked queue that its polls
// drain, so the public key and mouse state is only ever touched by one thread.
#include <SDL2/SDL.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/coredebug.h"
#include "mox/mox.h"

int MOX_keys[256];
int MOX_joykey;
int mox_input_prevkey;
int mox_keycode;
int mox_input_prevkeycode;
int mox_input_mouse_mode;
int mox_mouse_x, mox_mouse_y, mox_mouse_z, mox_mouse_zdir, mox_mouse_buttons;
bool mox_mouse_windowhide;

namespace {

SDL_Window *winhandle;
SDL_GLContext hrc;
bool fullscreen;
bool resizable;     // the user may resize the window: its new sizes reach MOX_video
int displayindex;   // monitor of the window and of a full-screen mode
int cursorcounter;  // cursor shown while >= 0, like the system's display counter

// Test hook: MOX_ESCAPE_AFTER_FRAMES=n in the environment presses Escape once n frames have
// been presented, so that a test can end a program as a user would, without a keyboard.
// Read at start-up; -1 when unset. Counted down on the program thread.
int escapeframes = -1;

std::atomic<bool> eventloop_running{false};
std::thread::id eventthread;

std::mutex requestlock;
std::vector<std::packaged_task<void()> *> requests;

// Runs `fn` on the event thread and waits for it; directly when there is no event loop
// (tests) or when already on it.
void on_event_thread(const std::function<void()> &fn) {
    if (!eventloop_running || std::this_thread::get_id() == eventthread) {
        fn();
        return;
    }
    std::packaged_task<void()> task(fn);
    std::future<void> done = task.get_future();
    {
        std::lock_guard<std::mutex> lock(requestlock);
        requests.push_back(&task);
    }
    done.wait();
}

void run_requests() {
    std::vector<std::packaged_task<void()> *> pending;
    {
        std::lock_guard<std::mutex> lock(requestlock);
        pending.swap(requests);
    }
    for (auto *task : pending) (*task)();
}

enum InputKind { INPUT_KEY, INPUT_BUTTON, INPUT_WHEEL, INPUT_MOTION, INPUT_RESIZE };
struct InputEvent {
    InputKind kind;
    int a, b;
};
// While the program does not poll, the oldest events give way: the latest key and button
// changes are the ones that must arrive.
constexpr size_t MAXQUEUED = 4096;
std::mutex inputlock;
std::deque<InputEvent> inputqueue;

// A key or button pressed and released between two polls must still be seen down by one poll
// of its kind (a key poll for keys, a mouse poll for buttons): until then its release waits in
// pendinginput. Program thread.
std::bitset<256> keysunseen;
int buttonsunseen;
// The last key pressed since the last key-code poll: a key-word poll lets a tap's release
// through, and a key-code poll that follows it in the same frame still reports the tap.
int pressedsincecodepoll;
// Keys down as the events tell, releases held back or not: a key's presses are counted as
// they happened, each one, even when its release waits for a poll.
std::bitset<256> keysdown;
std::vector<InputEvent> pendinginput;

// Pointer in window pixels, from the motion and button events in the order they came: a
// position asked of the display server may lag behind the clicks already queued.
int pointer_x, pointer_y;
bool pointer_tracked;

void post_input(InputKind kind, int a, int b) {
    std::lock_guard<std::mutex> lock(inputlock);
    if (inputqueue.size() >= MAXQUEUED) inputqueue.pop_front();
    inputqueue.push_back({kind, a, b});
}

int vk_from_scancode(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'A' + (sc - SDL_SCANCODE_A);
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return 0x70 + (sc - SDL_SCANCODE_F1);
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return 0x61 + (sc - SDL_SCANCODE_KP_1);
    switch (sc) {
        case SDL_SCANCODE_0:
            return '0';
        case SDL_SCANCODE_KP_0:
            return 0x60;
        case SDL_SCANCODE_RETURN:
        case SDL_SCANCODE_KP_ENTER:
            return MOX_VK_RETURN;
        case SDL_SCANCODE_ESCAPE:
            return MOX_VK_ESCAPE;
        case SDL_SCANCODE_BACKSPACE:
            return MOX_VK_BACK;
        case SDL_SCANCODE_TAB:
            return MOX_VK_TAB;
        case SDL_SCANCODE_SPACE:
            return MOX_VK_SPACE;
        case SDL_SCANCODE_LEFT:
            return MOX_VK_LEFT;
        case SDL_SCANCODE_UP:
            return MOX_VK_UP;
        case SDL_SCANCODE_RIGHT:
            return MOX_VK_RIGHT;
        case SDL_SCANCODE_DOWN:
            return MOX_VK_DOWN;
        case SDL_SCANCODE_INSERT:
            return MOX_VK_INSERT;
        case SDL_SCANCODE_DELETE:
            return MOX_VK_DELETE;
        case SDL_SCANCODE_HOME:
            return MOX_VK_HOME;
        case SDL_SCANCODE_END:
            return MOX_VK_END;
        case SDL_SCANCODE_PAGEUP:
            return MOX_VK_PRIOR;
        case SDL_SCANCODE_PAGEDOWN:
            return MOX_VK_NEXT;
        case SDL_SCANCODE_CAPSLOCK:
            return MOX_VK_CAPITAL;
        case SDL_SCANCODE_LCTRL:
        case SDL_SCANCODE_RCTRL:
            return MOX_VK_CONTROL;
        case SDL_SCANCODE_LSHIFT:
        case SDL_SCANCODE_RSHIFT:
            return MOX_VK_SHIFT;
        case SDL_SCANCODE_LALT:
        case SDL_SCANCODE_RALT:
            return MOX_VK_MENU;
        case SDL_SCANCODE_PAUSE:
            return 0x13;
        case SDL_SCANCODE_PRINTSCREEN:
            return 0x2C;
        case SDL_SCANCODE_LGUI:
            return 0x5B;
        case SDL_SCANCODE_RGUI:
            return 0x5C;
        case SDL_SCANCODE_APPLICATION:
            return 0x5D;
        case SDL_SCANCODE_KP_MULTIPLY:
            return 0x6A;
        case SDL_SCANCODE_KP_PLUS:
            return 0x6B;
        case SDL_SCANCODE_KP_MINUS:
            return 0x6D;
        case SDL_SCANCODE_KP_PERIOD:
            return 0x6E;
        case SDL_SCANCODE_KP_DIVIDE:
            return 0x6F;
        case SDL_SCANCODE_NUMLOCKCLEAR:
            return 0x90;
        case SDL_SCANCODE_SCROLLLOCK:
            return 0x91;
        case SDL_SCANCODE_SEMICOLON:
            return 0xBA;
        case SDL_SCANCODE_EQUALS:
            return 0xBB;
        case SDL_SCANCODE_COMMA:
            return 0xBC;
        case SDL_SCANCODE_MINUS:
            return 0xBD;
        case SDL_SCANCODE_PERIOD:
            return 0xBE;
        case SDL_SCANCODE_SLASH:
            return 0xBF;
        case SDL_SCANCODE_GRAVE:
            return 0xC0;
        case SDL_SCANCODE_LEFTBRACKET:
            return 0xDB;
        case SDL_SCANCODE_BACKSLASH:
            return 0xDC;
        case SDL_SCANCODE_RIGHTBRACKET:
            return 0xDD;
        case SDL_SCANCODE_APOSTROPHE:
            return 0xDE;
        default:
            return 0;
    }
}

// Keys held per virtual key, so that releasing one of two keys sharing a virtual key
// (left and right Ctrl) keeps it down. Event thread only.
int heldscancodes[256];

// Leaves a changed display mode before the process ends. Event thread.
void restore_display() {
    if (winhandle && fullscreen) SDL_SetWindowFullscreen(winhandle, 0);
    fullscreen = false;
}

[[noreturn]] void end_process(int status) {
    restore_display();
    fflush(stdout);
    fflush(stderr);
    _exit(status);
}

// Handles one SDL event; returns false when the window was closed.
bool handle_event(const SDL_Event &e) {
    switch (e.type) {
        case SDL_QUIT:
            return false;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED && resizable)
                post_input(INPUT_RESIZE, e.window.data1, e.window.data2);
            return e.window.event != SDL_WINDOWEVENT_CLOSE;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            int vk = vk_from_scancode(e.key.keysym.scancode);
            if (!vk) break;
            bool down = e.type == SDL_KEYDOWN;
            // Alt+F4 closes the window even where no window manager does it.
            if (down && vk == 0x73 && (e.key.keysym.mod & KMOD_ALT)) return false;
            if (down) {
                if (!e.key.repeat) heldscancodes[vk]++;
                post_input(INPUT_KEY, vk, 1);
            } else {
                if (heldscancodes[vk] > 0) heldscancodes[vk]--;
                if (heldscancodes[vk] == 0) post_input(INPUT_KEY, vk, 0);
            }
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            int bit = e.button.button == SDL_BUTTON_LEFT     ? 1
                      : e.button.button == SDL_BUTTON_RIGHT  ? 2
                      : e.button.button == SDL_BUTTON_MIDDLE ? 4
                                                             : 0;
            // The button acts where it was pressed, even if the pointer moved on since.
            post_input(INPUT_MOTION, e.button.x, e.button.y);
            if (bit) post_input(INPUT_BUTTON, bit, e.type == SDL_MOUSEBUTTONDOWN);
            break;
        }
        case SDL_MOUSEMOTION:
            post_input(INPUT_MOTION, e.motion.x, e.motion.y);
            break;
        case SDL_MOUSEWHEEL: {
            int delta = e.wheel.y;
            if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) delta = -delta;
            if (delta) post_input(INPUT_WHEEL, delta, 0);
            break;
        }
        default:
            break;
    }
    return true;
}

// Pumps events on the SDL thread; returns false when the window was closed.
bool pump_events() {
    SDL_Event e;
    bool open = true;
    while (SDL_PollEvent(&e)) open = handle_event(e) && open;
    return open;
}

// Brings queued input to the program thread's state. Without an event loop (tests) the
// calling thread pumps first.
void drain_input() {
    if (!eventloop_running && winhandle) pump_events();
    // Copied out rather than swapped with a new queue, which would allocate at every poll.
    static std::vector<InputEvent> events;
    {
        std::lock_guard<std::mutex> lock(inputlock);
        events.assign(inputqueue.begin(), inputqueue.end());
        inputqueue.clear();
    }
    for (const InputEvent &ev : events) {
        if (ev.kind != INPUT_KEY) continue;
        const int vk = ev.a & 0xFF;
        if (ev.b && !keysdown[vk]) mox_keypress(vk, keysdown[MOX_VK_SHIFT]);
        keysdown[vk] = ev.b != 0;
    }
    // Deferred releases go first: they came before anything queued since.
    pendinginput.insert(pendinginput.end(), events.begin(), events.end());
    events.swap(pendinginput);
    pendinginput.clear();
    for (const InputEvent &ev : events) {
        switch (ev.kind) {
            case INPUT_KEY: {
                const int vk = ev.a & 0xFF;
                if (!ev.b && keysunseen[vk]) {
                    pendinginput.push_back(ev);
                    break;
                }
                if (ev.b) keysunseen[vk] = true;
                if (ev.b) pressedsincecodepoll = vk;
                mox_keystate(ev.a, ev.b);
                break;
            }
            case INPUT_BUTTON:
                if (!ev.b && (buttonsunseen & ev.a)) {
                    pendinginput.push_back(ev);
                    break;
                }
                if (ev.b) buttonsunseen |= ev.a;
                mox_mousebuttonevent(ev.a, ev.b);
                break;
            case INPUT_WHEEL:
                mox_wheelevent(ev.a);
                break;
            case INPUT_RESIZE:
                mox_resizeevent(ev.a, ev.b);
                break;
            case INPUT_MOTION:
                // A motion after a button release that waits stays behind it, so the click keeps
                // its place.
                if (std::any_of(pendinginput.begin(), pendinginput.end(),
                                [](const InputEvent &p) { return p.kind == INPUT_BUTTON; })) {
                    pendinginput.push_back(ev);
                    break;
                }
                pointer_x = ev.a;
                pointer_y = ev.b;
                pointer_tracked = true;
                break;
        }
    }
}

void apply_cursor() {
    if (winhandle) SDL_ShowCursor(cursorcounter >= 0 ? SDL_ENABLE : SDL_DISABLE);
}

// Switches the window to a display mode of exactly width x height, preferring 60 Hz.
bool enter_fullscreen(int width, int height) {
    const int display = displayindex;
    SDL_DisplayMode best{};
    bool found = false;
    int n = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < n; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(display, i, &m) != 0 || m.w != width || m.h != height) continue;
        if (!found || m.refresh_rate == 60) best = m;
        found = true;
        if (m.refresh_rate == 60) break;
    }
    if (!found) return false;
    if (SDL_SetWindowDisplayMode(winhandle, &best) != 0) return false;
    if (SDL_SetWindowFullscreen(winhandle, SDL_WINDOW_FULLSCREEN) != 0) return false;
    return (SDL_GetWindowFlags(winhandle) & SDL_WINDOW_FULLSCREEN) != 0;
}

bool glsl_entrypoints() {
    return glCreateShader && glShaderSource && glCompileShader && glGetShaderiv &&
           glGetShaderInfoLog && glCreateProgram && glAttachShader && glDetachShader &&
           glLinkProgram && glValidateProgram && glGetProgramiv && glGetProgramInfoLog &&
           glUseProgram && glGetUniformLocation && glUniform1i && glUniform1f && glUniform2f &&
           glUniform3f && glUniform4f && glUniform1fv && glDeleteShader && glDeleteProgram;
}

}  // namespace

int mox_initdriver() {
    if (winhandle) return 0;
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK) != 0) {
        core_log(LOG_ERROR, "mox.video_init_failed", "[MOX] Could not initialise video: %s\n",
                 SDL_GetError());
        return -1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    winhandle =
        SDL_CreateWindow("MOX Application", 0, 0, 10, 10, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!winhandle) {
        core_log(LOG_ERROR, "mox.window_failed", "[MOX] Window creation failed: %s\n",
                 SDL_GetError());
        SDL_Quit();
        return -1;
    }
    eventthread = std::this_thread::get_id();
    if (const char *n = getenv("MOX_ESCAPE_AFTER_FRAMES"))
        escapeframes = atoi(n) > 0 ? atoi(n) : -1;
    mox_mouse_x = mox_mouse_y = mox_mouse_z = mox_mouse_zdir = mox_mouse_buttons = 0;
    return 0;
}

namespace {

struct s_programrun {
    int argc;
    char **argv;
    int (*program)(int, char *[]);
    int result;
    std::atomic<bool> done;
};

int run_program(void *data) {
    auto *run = static_cast<s_programrun *>(data);
    run->result = run->program(run->argc, run->argv);
    if (hrc) SDL_GL_MakeCurrent(winhandle, nullptr);
    run->done = true;
    return 0;
}

}  // namespace

int mox_processentry(int argc, char *argv[], int (*program)(int, char *[])) {
    if (mox_initdriver() != 0) return 1;
    s_programrun run{argc, argv, program, 0, {false}};
    eventloop_running = true;
    // A thread SDL starts itself: SDL frees what it keeps per thread (the text of the last
    // error) when such a thread ends, and never for a thread started elsewhere.
    SDL_Thread *moxthread = SDL_CreateThread(run_program, "program", &run);
    if (!moxthread) {
        core_log(LOG_ERROR, "mox.no_thread", "[MOX] cannot start the program thread: %s\n",
                 SDL_GetError());
        SDL_Quit();
        return 1;
    }
    while (!run.done) {
        run_requests();
        if (!pump_events()) end_process(0);
        SDL_Delay(1);
    }
    SDL_WaitThread(moxthread, nullptr);
    const int result = run.result;
    // The program's allocations are checked now, while the platform's libraries still hold
    // theirs: what those lose while shutting down and unloading is not the program's to mend.
    core_leakcheck();
    eventloop_running = false;
    run_requests();
    restore_display();
    if (hrc) SDL_GL_DeleteContext(hrc);
    hrc = nullptr;
    SDL_DestroyWindow(winhandle);
    winhandle = nullptr;
    SDL_Quit();
    return result;
}

char **CommandLineToArgvA(const char *cmdline, int *argc) {
    if (!cmdline) cmdline = "";
    size_t len = strlen(cmdline);
    size_t slots = (len + 2) / 2 + 1;
    char **argv = static_cast<char **>(malloc(slots * sizeof(char *) + len + 2));
    if (!argv) {
        if (argc) *argc = 0;
        return nullptr;
    }
    char *out = reinterpret_cast<char *>(argv + slots);
    int n = 0;
    bool inquote = false, inword = false, afterblank = true;
    for (const char *p = cmdline; *p; p++) {
        char c = *p;
        if (inquote) {
            if (c == '"')
                inquote = false;
            else
                *out++ = c;
            continue;
        }
        switch (c) {
            case '"':
                inquote = true;
                inword = true;
                if (afterblank) argv[n++] = out;
                afterblank = false;
                break;
            case ' ':
            case '\t':
            case '\n':
            case '\r':
                if (inword) *out++ = 0;
                inword = false;
                afterblank = true;
                break;
            default:
                inword = true;
                if (afterblank) argv[n++] = out;
                afterblank = false;
                *out++ = c;
                break;
        }
    }
    *out = 0;
    argv[n] = nullptr;
    if (argc) *argc = n;
    return argv;
}

void GetDesktopResolution(int &width, int &height) {
    SDL_DisplayMode m;
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &m) == 0) {
        width = m.w;
        height = m.h;
    } else {
        width = height = 0;
    }
}

int mox_getnumdisplays() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
    return std::max(SDL_GetNumVideoDisplays(), 0);
}

int mox_setdisplay(int display) {
    if (display < 0 || display >= mox_getnumdisplays()) return 0;
    displayindex = display;
    return 1;
}

int mox_initwindow(int width, int height, int flags) {
    if (!winhandle && mox_initdriver() != 0) {
        fflush(stdout);
        _exit(1);
    }
    bool contextmade = false;
    std::string failure;
    on_event_thread([&] {
        if (fullscreen && !(flags & 1)) restore_display();
        resizable = (flags & MOX_VIDEO_RESIZABLE) != 0;
        SDL_SetWindowResizable(winhandle, resizable ? SDL_TRUE : SDL_FALSE);
        // The smallest window that still shows the editor's panels readable.
        if (resizable) SDL_SetWindowMinimumSize(winhandle, 640, 360);
        SDL_SetWindowSize(winhandle, width, height);
        SDL_Rect bounds{};
        SDL_GetDisplayBounds(displayindex, &bounds);
        SDL_SetWindowPosition(winhandle, bounds.x + 10, bounds.y + 10);
        // SDL changes the display mode only for a shown window.
        if (!(flags & MOX_VIDEO_HIDDEN)) SDL_ShowWindow(winhandle);
        if ((flags & 1) && !fullscreen) {
            fullscreen = enter_fullscreen(width, height);
            if (fullscreen) {
                mox_mouse_windowhide = true;
                cursorcounter--;
                apply_cursor();
            } else {
                core_log(LOG_WARNING, "mox.fullscreen_unavailable",
                         "[MOX] Full screen %dx%d not available: windowed\n", width, height);
            }
        }
        if (!(flags & MOX_VIDEO_HIDDEN)) SDL_RaiseWindow(winhandle);
        if (hrc) {
            contextmade = true;
            return;
        }
        hrc = SDL_GL_CreateContext(winhandle);
        if (!hrc) {
            failure = SDL_GetError();
            restore_display();
            return;
        }
        SDL_GL_MakeCurrent(winhandle, nullptr);
        contextmade = true;
    });
    if (!contextmade || SDL_GL_MakeCurrent(winhandle, hrc) != 0) {
        if (failure.empty()) failure = SDL_GetError();
        core_log(LOG_ERROR, "mox.context_failed", "[MOX] Could not create the OpenGL context: %s\n",
                 failure.c_str());
        fflush(stdout);
        on_event_thread(restore_display);
        _exit(1);
    }
    static bool glewdone;
    if (glewdone) return 0;
    glewdone = true;
    core_log(LOG_PROGRESS, "mox.glew_init", "[MOX] Init Glew");
    glewExperimental = GL_TRUE;
    GLenum err = glewInit();
    if (err != GLEW_OK) core_log(LOG_WARNING, "mox.glew_error", "\nError Initing Glew");
    // GLEW can report an error from its window-system part after loading the GL entry points;
    // shaders are switched on exactly when the GLSL entry points were loaded.
    MOX_shaders_enabled = GLEW_VERSION_2_0 && glsl_entrypoints();
    if (MOX_shaders_enabled)
        core_log(LOG_PROGRESS, "mox.glsl_ready", "\nReady for GLSL\n");
    else
        core_log(LOG_WARNING, "mox.glsl_unavailable", "\nGLSL not available: shaders disabled\n");
    return 0;
}

void mox_closewindow() {
    if (!hrc) return;
    SDL_GL_MakeCurrent(winhandle, nullptr);
    SDL_GL_DeleteContext(hrc);
    hrc = nullptr;
}

void mox_swapbuffers() {
    if (!hrc) return;
    SDL_GL_SwapWindow(winhandle);
    if (escapeframes > 0 && --escapeframes == 0) post_input(INPUT_KEY, MOX_VK_ESCAPE, 1);
    if (!eventloop_running) pump_events();
}

void MOX_SetTitle(const char *title) {
    if (!winhandle || !title) return;
    on_event_thread([title] { SDL_SetWindowTitle(winhandle, title); });
}

uint32_t MOX_GetMillis() { return SDL_GetTicks(); }

void mox_getkeys(int *, int *) {
    drain_input();
    MOX_joykey = mox_keyword(MOX_keys);
    keysunseen.reset();
}

int mox_getkeycode() {
    drain_input();
    keysunseen.reset();
    const int vk = mox_keycode ? mox_keycode : pressedsincecodepoll;
    pressedsincecodepoll = 0;
    return mox_translatekeycode(vk);
}

void mox_getmouse(int *x, int *y, int *buttons) {
    drain_input();
    buttonsunseen = 0;
    if (mox_input_mouse_mode == 0 || mox_input_mouse_mode == 1) {
        int sx = 0, sy = 0, wx = 0, wy = 0;
        if (winhandle) {
            SDL_GetWindowPosition(winhandle, &wx, &wy);
            if (pointer_tracked) {
                sx = pointer_x + wx;
                sy = pointer_y + wy;
            } else {
                SDL_GetGlobalMouseState(&sx, &sy);
            }
            if (mox_input_mouse_mode == 1) wx = wy = 0;
        }
        mox_mouse_x = sx - wx;
        mox_mouse_y = sy - wy;
        if (x) *x = mox_mouse_x;
        if (y) *y = mox_mouse_y;
    }
    if (buttons) *buttons = mox_mouse_buttons;
}

void mox_setmouse(int x, int y) {
    if (!winhandle) return;
    on_event_thread([x, y] { SDL_WarpMouseInWindow(winhandle, x, y); });
}

void mox_showmouse() {
    cursorcounter++;
    on_event_thread(apply_cursor);
}

void mox_hidemouse() {
    cursorcounter--;
    on_event_thread(apply_cursor);
}

void mox_getmousewheel(int *z, int *zdir) {
    drain_input();
    if (z) *z = mox_mouse_z;
    if (zdir) *zdir = mox_mouse_zdir;
    mox_mouse_zdir = 0;
}

namespace {
constexpr int MAXJOYSTICKS = 16;
SDL_Joystick *joysticks[MAXJOYSTICKS];

SDL_Joystick *open_joystick(int id) {
    if (id < 0 || id >= MAXJOYSTICKS || !SDL_WasInit(SDL_INIT_JOYSTICK)) return nullptr;
    if (joysticks[id] && !SDL_JoystickGetAttached(joysticks[id])) {
        SDL_JoystickClose(joysticks[id]);
        joysticks[id] = nullptr;
    }
    if (!joysticks[id] && id < SDL_NumJoysticks()) joysticks[id] = SDL_JoystickOpen(id);
    return joysticks[id];
}

int axis_position(SDL_Joystick *j, int axis) {
    if (axis >= SDL_JoystickNumAxes(j)) return 0x7FFF;
    return SDL_JoystickGetAxis(j, axis) + 32768;
}
}  // namespace

int mox_getnumjoysticks() {
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return 0;
    int n = SDL_NumJoysticks();
    return n > 0 ? n : 0;
}

int mox_joystickconnected(int id) { return open_joystick(id) ? 1 : 0; }

int mox_initjoystick(int id) { return id; }

int mox_polljoystick(int id, int *x, int *y, int *z, int *r, int *keys) {
    SDL_Joystick *j = open_joystick(id);
    if (!j) {
        *x = *y = *z = *r = *keys = 0;
        return 0;
    }
    int padtype = mox_joystick_padtype(SDL_JoystickNumButtons(j));
    *x = mox_joystick_axis(axis_position(j, 0));
    *y = mox_joystick_axis(axis_position(j, 1));
    *z = mox_joystick_axis(axis_position(j, 2));
    *r = mox_joystick_axis(axis_position(j, 3));
    int pov = SDL_JoystickNumHats(j) > 0 ? mox_joystick_hattopov(SDL_JoystickGetHat(j, 0)) : 65535;
    unsigned buttons = 0;
    int nb = SDL_JoystickNumButtons(j);
    for (int b = 0; b < nb && b < 32; b++)
        if (SDL_JoystickGetButton(j, b)) buttons |= 1u << b;
    *keys = mox_joystick_hatbits(pov) | mox_joystick_buttonbits(padtype, buttons);
    return 1;
}
