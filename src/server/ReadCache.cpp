#include "ReadCache.h"

#include <iterator>

namespace server {

std::string ReadCache::KeyOf(const Route& route) {
    switch (route.kind) {
    case RouteKind::Scores:
        return "s" + std::to_string(route.difficulty) + "/" + std::to_string(route.limit) + "/" +
               std::to_string(route.offset);
    case RouteKind::Around:
        return "a" + route.id + "/" + std::to_string(route.before) + "/" + std::to_string(route.after);
    default:
        return {};
    }
}

const Answer* ReadCache::Find(const std::string& key, double now) {
    const auto found = kept_.find(key);
    if (found == kept_.end()) return nullptr;
    if (now - found->second.at > seconds_ || now < found->second.at) {
        kept_.erase(found);
        return nullptr;
    }
    return &found->second.answer;
}

void ReadCache::Keep(const std::string& key, const Answer& answer, double now) {
    if (key.empty() || answer.status != 200 || most_ == 0) return;
    if (kept_.size() >= most_ && kept_.find(key) == kept_.end()) {
        // Full: the stale go first, then the oldest.
        for (auto it = kept_.begin(); it != kept_.end();)
            it = now - it->second.at > seconds_ ? kept_.erase(it) : std::next(it);
        if (kept_.size() >= most_) {
            auto oldest = kept_.begin();
            for (auto it = kept_.begin(); it != kept_.end(); ++it)
                if (it->second.at < oldest->second.at) oldest = it;
            kept_.erase(oldest);
        }
    }
    kept_[key] = Kept{answer, now};
}

}  // namespace server
