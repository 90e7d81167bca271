// Records the messages logged while it lives, so a test can assert on their item ids.
#pragma once
#include <algorithm>
#include <string>
#include <vector>

#include "core/coredebug.h"

struct s_logged {
    int level;
    std::string id;
    std::string text;
};

class LogCapture {
public:
    explicit LogCapture(int maxlevel = LOG_DEBUG) : previous_(core_setloglevel(maxlevel)) {
        core_setlogsink(&LogCapture::Sink, this);
    }
    ~LogCapture() {
        core_setlogsink(nullptr, nullptr);
        core_setloglevel(previous_);
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    const std::vector<s_logged> &messages() const { return messages_; }
    int Count(const std::string &id) const {
        return (int)std::count_if(messages_.begin(), messages_.end(),
                                  [&](const s_logged &m) { return m.id == id; });
    }
    bool Has(const std::string &id) const { return Count(id) > 0; }
    std::vector<std::string> Ids() const {
        std::vector<std::string> ids;
        for (const s_logged &m : messages_) ids.push_back(m.id);
        return ids;
    }
    void Clear() { messages_.clear(); }
    // Every message's text, for a failure report.
    std::string Text() const {
        std::string all;
        for (const s_logged &m : messages_) all += m.id + ": " + m.text;
        return all;
    }

private:
    static void Sink(int level, const char *id, const char *text, void *user) {
        static_cast<LogCapture *>(user)->messages_.push_back({level, id, text});
    }
    int previous_;
    std::vector<s_logged> messages_;
};

// Runs `fn` with its messages kept off the console and returns its result.
template <typename F>
auto Quietly(F &&fn) {
    LogCapture quiet;
    return fn();
}
