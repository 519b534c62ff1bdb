#pragma once
#include <sys/types.h>

#include <boost/asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/Store.h"

// Re-playing a replay in a worker process: the server runs itself again
// (--verify-worker), writes the replay to the worker's stdin and reads one
// line of JSON, its verdict, from its stdout. The worker's address space
// and CPU time are limited (setrlimit) and the server kills it when its
// wall-clock time is up, so that a replay can hold a worker only so long;
// a worker that is killed, crashes, or says anything but a verdict is a
// refusal, never a verdict it did not give.
namespace server {

struct Verdict {
    enum class Kind : uint8_t {
        Verified,
        Refused,      // 422: not a replay, not verified, or it could not be checked within the limits
        Unavailable,  // 503: the server could not check it now (no worker could start, its data set)
    };
    Kind kind = Kind::Unavailable;
    std::string words;
    int32_t difficulty = 0;
    std::vector<StoredResult> results;
};

struct WorkerLimits {
    int32_t seconds = 10;
    int32_t memoryMb = 256;
};

// The most a worker may say.
constexpr size_t kMostWorkerOutput = 16 * 1024;

// Reads a worker's line: the verdict it gives, or a refusal when the line
// is not one (`exitStatus` as waitpid gave it).
Verdict ReadWorkerVerdict(const std::string& output, int exitStatus, bool timedOut, const WorkerLimits& limits);

class Verifier {
public:
    // `command`: the worker program and its arguments.
    Verifier(boost::asio::io_context& io, std::vector<std::string> command, WorkerLimits limits);
    // Re-plays `bytes` in a new worker; `done` is called once, on the
    // event loop, with the verdict.
    void Run(std::shared_ptr<const std::string> bytes, std::function<void(Verdict)> done);
    // The peak resident memory of the workers so far, in kB.
    long PeakWorkerKb() const { return peakKb_; }

private:
    struct Job;
    void ReadMore(const std::shared_ptr<Job>& job);
    void Finish(const std::shared_ptr<Job>& job);
    void Reap(const std::shared_ptr<Job>& job);

    boost::asio::io_context& io_;
    std::vector<std::string> command_;
    WorkerLimits limits_;
    long peakKb_ = 0;
};

// The worker's side: reads a replay from stdin, checks it on the data set
// in `gameData` and writes its verdict line to stdout. Returns the exit status.
int RunVerifyWorker(const std::string& gameData);

}  // namespace server
