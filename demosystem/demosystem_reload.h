// Live reload: while the editor runs, the production folder is watched and a fragment shader,
// texture, sprite or sprite sheet image written there replaces the one in use, in place, without
// touching the time, the pause state or the selection. What does not build or decode (a shader
// with errors, a half-written image, a file that is gone) leaves the last good version running;
// a shader's compiler messages stay on the screen, with file name and line numbers, until a
// good version is saved.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class c_demo;

// Watches one folder (and the folders below it that resources are named in) for files that
// were written, created, renamed into place or deleted. Uses inotify; where that is not
// available, it polls the files it was told to track.
class c_folderwatch {
public:
    // `notify` false polls even where inotify is available.
    c_folderwatch(const std::string &root, const std::vector<std::string> &names,
                  bool notify = true);
    ~c_folderwatch();
    c_folderwatch(const c_folderwatch &) = delete;
    c_folderwatch &operator=(const c_folderwatch &) = delete;

    // Names (relative to the root, as tracked) whose change has settled by `now`
    // (milliseconds), each once.
    std::vector<std::string> Settled(uint32_t now);
    bool Notifying() const { return fd >= 0; }

private:
    struct s_pending {
        std::string name;
        uint32_t since;  // the last event about it
        bool closed;     // written and closed, or renamed into place: ready at once
    };
    struct s_stamp {
        std::string name;
        long long mtime;  // nanoseconds
        long long size;   // -1: missing
    };
    void Note(const std::string &name, uint32_t now, bool closed);
    void ReadEvents(uint32_t now);
    void PollFiles(uint32_t now);

    std::string root;
    int fd = -1;
    std::vector<std::pair<int, std::string>> dirs;  // watch descriptor, folder prefix
    std::vector<std::string> tracked;
    std::vector<s_stamp> stamps;
    std::vector<s_pending> pending;
    uint32_t lastpoll = 0;
};

// Compiler messages of a shader that did not build, shown until it builds.
struct s_reloaderror {
    std::string filename;
    std::vector<std::string> lines;  // "file:line: message"
};

struct s_livereload {
    std::unique_ptr<c_folderwatch> watch;
    std::vector<s_reloaderror> errors;
};

// Starts watching the folder mounted as a directory for the files the resources name; does
// nothing when no directory is mounted.
void LiveReloadStart(c_demo *demo);
// Reloads what has changed; the editor calls it once a frame. Returns the files reloaded.
int LiveReloadPoll(c_demo *demo, uint32_t now);
// Reloads every resource that names `filename`; true when one of them took the new version.
bool ReloadResourceFile(c_demo *demo, const std::string &filename);
// The messages to keep on the screen: one heading and the compiler's lines per failed shader.
std::vector<std::string> LiveReloadMessages(const c_demo &demo);
// Compiler log lines as "file:line: message" (GLSL logs name the line as "0:12(5): ..." or
// "0(12) : ..."); a line without a number keeps its text after "file: ".
std::vector<std::string> ShaderLogLines(const std::string &filename, const char *log);
