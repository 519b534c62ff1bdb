#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>

// Who re-plays next: at most `workers` jobs run at once, at most `waiting`
// more wait their turn in order of arrival, and a job beyond those is
// refused at once (the server answers 503). A job is started by calling
// it; it says it is done by calling Done() exactly once.
namespace server {

class VerifyQueue {
public:
    using Job = std::function<void()>;
    VerifyQueue(int32_t workers, int32_t waiting) : workers_(workers), waiting_(waiting) {}
    // Starts the job now, or keeps it waiting; false when there is no room.
    bool Admit(Job job);
    // A running job ended: the longest waiting one starts.
    void Done();
    int32_t Running() const { return running_; }
    size_t Waiting() const { return jobs_.size(); }

private:
    int32_t workers_;
    int32_t waiting_;
    int32_t running_ = 0;
    std::deque<Job> jobs_;
};

}  // namespace server
