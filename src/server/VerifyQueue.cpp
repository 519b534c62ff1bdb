#include "VerifyQueue.h"

#include <utility>

namespace server {

bool VerifyQueue::Admit(Job job) {
    if (running_ < workers_) {
        ++running_;
        job();
        return true;
    }
    if (jobs_.size() >= static_cast<size_t>(waiting_)) return false;
    jobs_.push_back(std::move(job));
    return true;
}

void VerifyQueue::Done() {
    if (running_ > 0) --running_;
    while (running_ < workers_ && !jobs_.empty()) {
        Job next = std::move(jobs_.front());
        jobs_.pop_front();
        ++running_;
        next();
    }
}

}  // namespace server
