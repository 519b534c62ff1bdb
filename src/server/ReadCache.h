#pragma once
#include <cstddef>
#include <string>
#include <unordered_map>

#include "server/Api.h"
#include "server/Routes.h"

// The answers to the table's pages (scores, around), kept for a moment so
// that many readers of one page cost one read of the store. Every replay
// recorded by this process forgets them all at once; one recorded by
// another process on the same database shows within `seconds`. Only what
// the store answered whole (200) is kept, and at most `most` answers: a
// reader asking for page after page finds the oldest forgotten.
namespace server {

// How long a page is kept, and how many are.
constexpr double kReadCacheSeconds = 1.0;
constexpr size_t kReadCacheAnswers = 1024;

class ReadCache {
public:
    explicit ReadCache(double seconds = kReadCacheSeconds, size_t most = kReadCacheAnswers)
        : seconds_(seconds), most_(most) {}

    // The key of a route whose answer may be kept; empty for any other.
    static std::string KeyOf(const Route& route);

    // The answer kept under `key` at most `seconds` before `now`, or null.
    const Answer* Find(const std::string& key, double now);
    void Keep(const std::string& key, const Answer& answer, double now);
    // The table has changed: nothing kept is answered again.
    void Forget() { kept_.clear(); }
    size_t Size() const { return kept_.size(); }

private:
    struct Kept {
        Answer answer;
        double at = 0;
    };
    double seconds_;
    size_t most_;
    std::unordered_map<std::string, Kept> kept_;
};

}  // namespace server
