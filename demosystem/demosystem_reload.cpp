// Live reload: the folder watch (inotify, or polling where it is missing), settling of
// changes, and the reload of shaders and images in place. A new version replaces the old one
// only once it has built or decoded completely, so nothing half-written is ever shown.
#include "demosystem/demosystem_reload.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "core/coredebug.h"
#include "core/corefile.h"
#include "demosystem/demosystem.h"
#include "mox/mox.h"

namespace {

// A file still being written (no close seen) counts as settled after this much quiet; so does
// a deletion, which a save by rename follows at once with the new file.
constexpr uint32_t SETTLEMILLIS = 100;
// The poll fallback looks at the files this often.
constexpr uint32_t POLLMILLIS = 200;
// Compiler lines kept per failed shader.
constexpr size_t MAXLOGLINES = 8;
constexpr int LOGSIZE = 4096;

bool IsImage(int type) {
    return type == RESOURCE_TEXTURE || type == RESOURCE_SPRITE || type == RESOURCE_SPRITESHEET;
}
bool IsShader(int type) { return type == RESOURCE_SHADER || type == RESOURCE_POSTSHADER; }

int ResourceCount(const c_demo &d) { return std::clamp(d.numresources, 0, DEMO_MAXRESOURCES); }

std::string Folder(const std::string &name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// Whole file through the file layer, bytes as they are; false when it does not open.
bool ReadBytes(const char *filename, std::vector<unsigned char> *bytes) {
    s_corefile file{};
    if (!corefile_open(filename, &file, 0)) return false;
    const uint32_t size = corefile_fsize(&file);
    bytes->assign(size, 0);
    if (size) corefile_read(bytes->data(), 1, size, &file);
    corefile_close(&file);
    return true;
}

// Texture coordinates of sprite cells cut from a bitmap whose size may have changed.
void RecutSprite(s_sprite *s, int x, int y, int w, int h, const s_bitmap &image) {
    const float tw = image.texturewidth > 0 ? (float)image.texturewidth : 0;
    const float th = image.textureheight > 0 ? (float)image.textureheight : 0;
    s->width = w;
    s->height = h;
    s->u = tw > 0 ? x / tw : 0;
    s->v = th > 0 ? y / th : 0;
    s->u2 = tw > 0 ? (x + w) / tw : 0;
    s->v2 = th > 0 ? (y + h) / th : 0;
    s->textureid = image.textureid;
}

// Reloads one image resource from decoded pixels (which it takes over). False when the
// picture could not be stored; the old one then stays.
bool ReplaceImage(c_demo *d, s_demoresource &r, int width, int height, unsigned int *pixels) {
    switch (r.type) {
        case RESOURCE_TEXTURE: {
            s_bitmap &b = d->resource_texture[r.id];
            if (!MOX_ReplaceBitmap(&b, width, height, pixels)) return false;
            r.datapointer = &b;
            break;
        }
        case RESOURCE_SPRITE: {
            s_sprite &s = d->resource_sprite[r.id];
            if (!s.bitmap) {
                // Never loaded: it takes its place on the sprite list as a first load would.
                free(pixels);
                MOX_LoadSprite(r.filename, &s);
                r.datapointer = &s;
                return s.textureid != 0;
            }
            if (!MOX_ReplaceBitmap(s.bitmap, width, height, pixels)) return false;
            RecutSprite(&s, 0, 0, width, height, *s.bitmap);
            r.datapointer = &s;
            break;
        }
        case RESOURCE_SPRITESHEET: {
            s_spritesheet &sheet = d->resource_spritesheet[r.id];
            if (!MOX_ReplaceBitmap(&sheet.spritesheet, width, height, pixels)) return false;
            int n = 0;
            for (int y = 0; y < sheet.rows; y++) {
                for (int x = 0; x < sheet.columns && n < sheet.numsprites; x++, n++) {
                    if (!sheet.sprite) break;
                    RecutSprite(&sheet.sprite[n], x * sheet.width, y * sheet.height, sheet.width,
                                sheet.height, sheet.spritesheet);
                }
            }
            r.datapointer = &sheet;
            break;
        }
        default:
            free(pixels);
            return false;
    }
    r.loadOK = 1;
    return true;
}

bool ReloadImage(c_demo *d, s_demoresource &r, const std::vector<unsigned char> &bytes) {
    const char *dot = strrchr(r.filename, '.');
    if (!dot || strcasecmp(dot, ".tga") != 0) {
        core_log(LOG_WARNING, "edit.reload_unsupported", "- Reload: %s is no TGA image, kept\n",
                 r.filename);
        return false;
    }
    s_tgainfo info{};
    unsigned int *pixels = MOX_DecodeTGA(bytes.data(), bytes.size(), &info);
    if (!pixels) {
        core_log(LOG_ERROR, "edit.image_failed",
                 "- Reload: %s does not decode (%s), the last good version stays\n", r.filename,
                 info.error ? info.error : "unknown error");
        return false;
    }
    const int limit = MOX_MaxTextureSize();
    if (limit > 0 && (info.width > limit || info.height > limit)) {
        free(pixels);
        core_log(LOG_ERROR, "edit.image_failed",
                 "- Reload: %s is %d x %d, larger than the largest texture (%d), kept\n",
                 r.filename, info.width, info.height, limit);
        return false;
    }
    if (!ReplaceImage(d, r, info.width, info.height, pixels)) {
        core_log(LOG_ERROR, "edit.image_failed", "- Reload: %s could not be stored, kept\n",
                 r.filename);
        return false;
    }
    return true;
}

// Frees a shader text no descriptor or shader record refers to any more.
void ForgetText(c_demo *d, char *text) {
    if (!text) return;
    for (int i = 0; i < ResourceCount(*d); i++) {
        if (d->resource[i].datapointer == text) return;
    }
    for (const s_demoshader &sh : d->resource_shader) {
        if (sh.ff == text) return;
    }
    delete[] text;
}

void ClearError(s_livereload *state, const std::string &filename) {
    if (!state) return;
    auto &e = state->errors;
    e.erase(std::remove_if(e.begin(), e.end(),
                           [&](const s_reloaderror &x) { return x.filename == filename; }),
            e.end());
}

bool ReloadShader(c_demo *d, s_demoresource &r, const std::vector<unsigned char> &bytes) {
    const std::string source(bytes.begin(), bytes.end());
    s_demoshader &sh = d->resource_shader[r.id];
    char log[LOGSIZE] = "";
    const int id = MOX_RebuildShader(sh.shader_id, vv_demo, source.c_str(), log, sizeof log);
    s_livereload *state = d->gui_reload.get();
    if (id < 0) {
        std::vector<std::string> lines = ShaderLogLines(r.filename, log);
        if (lines.size() > MAXLOGLINES) lines.resize(MAXLOGLINES);
        core_log(LOG_ERROR, "edit.shader_failed",
                 "- Reload: %s does not build, the last good version stays: %s\n", r.filename,
                 lines.empty() ? "" : lines[0].c_str());
        if (state) {
            ClearError(state, r.filename);
            state->errors.push_back({r.filename, lines});
        }
        return false;
    }
    char *text = new char[source.size() + 1];
    memcpy(text, source.c_str(), source.size() + 1);
    char *oldtext = sh.ff;
    char *olddata = static_cast<char *>(r.datapointer);
    sh.shader_id = id;
    sh.ff = text;
    r.datapointer = text;
    r.loadOK = 1;
    ForgetText(d, oldtext);
    if (olddata != oldtext) ForgetText(d, olddata);
    ClearError(state, r.filename);
    return true;
}

}  // namespace

c_folderwatch::c_folderwatch(const std::string &folder, const std::vector<std::string> &names,
                             bool notify)
    : root(folder), tracked(names) {
    if (!root.empty() && root.back() != '/') root += '/';
    if (notify) fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::set<std::string> folders{""};
    for (const std::string &n : names) folders.insert(Folder(n));
    if (fd >= 0) {
        const uint32_t mask =
            IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM;
        for (const std::string &f : folders) {
            const int wd = inotify_add_watch(fd, (root + f).c_str(), mask);
            if (wd >= 0) dirs.push_back({wd, f});
        }
        if (dirs.empty()) {
            close(fd);
            fd = -1;
        }
    }
    if (fd < 0 && notify) {
        core_log(LOG_PROGRESS, "edit.reload_polling",
                 "- Reload: no file notifications, the files are looked at every %u ms\n",
                 POLLMILLIS);
    }
    for (const std::string &n : tracked) stamps.push_back({n, 0, -2});
    // Polling compares with what the files were like when the watch began.
    if (fd < 0) PollFiles(0);
}

c_folderwatch::~c_folderwatch() {
    if (fd >= 0) close(fd);
}

void c_folderwatch::Note(const std::string &name, uint32_t now, bool closed) {
    for (s_pending &p : pending) {
        if (p.name == name) {
            p.since = now;
            p.closed = closed;
            return;
        }
    }
    pending.push_back({name, now, closed});
}

void c_folderwatch::ReadEvents(uint32_t now) {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        for (ssize_t at = 0; at + (ssize_t)sizeof(inotify_event) <= got;) {
            const inotify_event *e = reinterpret_cast<const inotify_event *>(buffer + at);
            at += sizeof(inotify_event) + e->len;
            if (e->len == 0 || at > got) continue;
            std::string prefix;
            bool known = false;
            for (const auto &d : dirs) {
                if (d.first == e->wd) prefix = d.second, known = true;
            }
            if (!known) continue;
            const std::string name = prefix + std::string(e->name, strnlen(e->name, e->len));
            if (std::find(tracked.begin(), tracked.end(), name) == tracked.end()) continue;
            Note(name, now, (e->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0);
        }
    }
}

void c_folderwatch::PollFiles(uint32_t now) {
    if (lastpoll != 0 && now - lastpoll < POLLMILLIS) return;
    lastpoll = now ? now : 1;
    for (s_stamp &s : stamps) {
        struct stat st {};
        const bool there = stat((root + s.name).c_str(), &st) == 0;
        const long long mtime =
            there ? (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec : 0;
        const long long size = there ? (long long)st.st_size : -1;
        // The first look only takes the stamps.
        if (s.size != -2 && (mtime != s.mtime || size != s.size)) Note(s.name, now, false);
        s.mtime = mtime;
        s.size = size;
    }
}

std::vector<std::string> c_folderwatch::Settled(uint32_t now) {
    if (fd >= 0) {
        ReadEvents(now);
    } else {
        PollFiles(now);
    }
    // Polling sees a change only once it is over a poll apart: it waits one poll longer.
    const uint32_t quiet = fd >= 0 ? SETTLEMILLIS : POLLMILLIS + SETTLEMILLIS;
    std::vector<std::string> ready;
    auto keep = pending.begin();
    for (const s_pending &p : pending) {
        if (p.closed || now - p.since >= quiet) {
            ready.push_back(p.name);
        } else {
            *keep++ = p;
        }
    }
    pending.erase(keep, pending.end());
    return ready;
}

std::vector<std::string> ShaderLogLines(const std::string &filename, const char *log) {
    std::vector<std::string> lines;
    if (!log) return lines;
    const char *p = log;
    while (*p) {
        const size_t n = strcspn(p, "\r\n");
        const std::string line(p, n);
        p += n;
        while (*p == '\r' || *p == '\n') p++;
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        int source = 0, number = 0, column = 0, used = 0;
        char text[LOGSIZE];
        if (sscanf(line.c_str(), "%d:%d(%d): %n", &source, &number, &column, &used) == 3 &&
            used > 0) {
            snprintf(text, sizeof text, "%s:%d: %s", filename.c_str(), number, line.c_str() + used);
        } else if (sscanf(line.c_str(), "%d(%d) : %n", &source, &number, &used) == 2 && used > 0) {
            snprintf(text, sizeof text, "%s:%d: %s", filename.c_str(), number, line.c_str() + used);
        } else {
            snprintf(text, sizeof text, "%s: %s", filename.c_str(), line.c_str());
        }
        lines.push_back(text);
    }
    return lines;
}

bool ReloadResourceFile(c_demo *d, const std::string &filename) {
    if (!d || filename.empty()) return false;
    bool named = false, reloaded = false, read = false, readable = false;
    std::vector<unsigned char> bytes;
    for (int i = 0; i < ResourceCount(*d); i++) {
        s_demoresource &r = d->resource[i];
        if (filename != r.filename || (!IsImage(r.type) && !IsShader(r.type))) continue;
        if (r.id < 0 || r.id >= DEMO_MAXRESOURCES) continue;
        named = true;
        if (!read) {
            readable = ReadBytes(r.filename, &bytes);
            read = true;
        }
        if (!readable) break;
        const bool done = IsShader(r.type) ? ReloadShader(d, r, bytes) : ReloadImage(d, r, bytes);
        reloaded = reloaded || done;
    }
    if (named && !readable) {
        core_log(LOG_WARNING, "edit.reload_missing",
                 "- Reload: %s is gone, the last version loaded stays in use\n", filename.c_str());
    } else if (reloaded) {
        core_log(LOG_PROGRESS, "edit.reloaded", "- Reloaded %s\n", filename.c_str());
    }
    return reloaded;
}

void LiveReloadStart(c_demo *d) {
    if (!d || corefile_mounttype != MOUNT_DIR || !corefile_image.source) return;
    std::vector<std::string> names;
    for (int i = 0; i < ResourceCount(*d); i++) {
        const s_demoresource &r = d->resource[i];
        if ((IsImage(r.type) || IsShader(r.type)) && r.filename[0] &&
            std::find(names.begin(), names.end(), r.filename) == names.end()) {
            names.push_back(r.filename);
        }
    }
    auto state = std::make_shared<s_livereload>();
    state->watch =
        std::make_unique<c_folderwatch>(static_cast<const char *>(corefile_image.source), names);
    d->gui_reload = state;
}

int LiveReloadPoll(c_demo *d, uint32_t now) {
    if (!d || !d->gui_reload || !d->gui_reload->watch) return 0;
    int n = 0;
    for (const std::string &name : d->gui_reload->watch->Settled(now)) {
        if (ReloadResourceFile(d, name)) n++;
    }
    return n;
}

std::vector<std::string> LiveReloadMessages(const c_demo &d) {
    std::vector<std::string> out;
    if (!d.gui_reload) return out;
    for (const s_reloaderror &e : d.gui_reload->errors) {
        out.push_back(e.filename + " does not build; the last good version is running:");
        out.insert(out.end(), e.lines.begin(), e.lines.end());
    }
    return out;
}
