#include "Verifier.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <cstring>
#include <nlohmann/json.hpp>

#include "hosts/headless/ReplayCheck.h"
#include "io/ReplayFile.h"

namespace server {
namespace asio = boost::asio;
using nlohmann::json;

namespace {

// The sanitizers reserve far more address space than any limit allows.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kLimitAddressSpace = false;
#else
constexpr bool kLimitAddressSpace = true;
#endif
#else
constexpr bool kLimitAddressSpace = true;
#endif

constexpr int kExecFailed = 127;
constexpr auto kReapPoll = std::chrono::milliseconds(3);

Verdict Refused(std::string words) {
    Verdict v;
    v.kind = Verdict::Kind::Refused;
    v.words = std::move(words);
    return v;
}

Verdict Unavailable(std::string words) {
    Verdict v;
    v.kind = Verdict::Kind::Unavailable;
    v.words = std::move(words);
    return v;
}

bool IntIn(const json& j, const char* key, int64_t low, int64_t high, int32_t* out) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number_integer()) return false;
    const int64_t v = it->get<int64_t>();
    if (v < low || v > high) return false;
    *out = static_cast<int32_t>(v);
    return true;
}

// A verified verdict's results, checked field by field.
bool ReadResults(const json& j, Verdict* v) {
    if (!IntIn(j, "difficulty", 0, 2, &v->difficulty)) return false;
    const auto results = j.find("results");
    if (results == j.end() || !results->is_array() || results->empty() || results->size() > 2) return false;
    for (const json& r : *results) {
        StoredResult s;
        if (!r.is_object() || !IntIn(r, "player", 1, 2, &s.player) ||
            s.player != static_cast<int32_t>(v->results.size()) + 1 || !IntIn(r, "score", 0, INT32_MAX, &s.score) ||
            !IntIn(r, "level", 1, kReplayLevels, &s.level) || !IntIn(r, "length", 0, INT32_MAX, &s.length) ||
            !IntIn(r, "ship", 0, 255, &s.ship))
            return false;
        const auto name = r.find("name");
        if (name == r.end() || !name->is_string() || name->get_ref<const std::string&>().size() > 4 * kReplayNameBytes)
            return false;
        s.name = name->get<std::string>();
        v->results.push_back(std::move(s));
    }
    return true;
}

}  // namespace

Verdict ReadWorkerVerdict(const std::string& output, int exitStatus, bool timedOut, const WorkerLimits& limits) {
    const std::string tooLong =
        "re-playing it took longer than the server allows (" + std::to_string(limits.seconds) + " s)";
    if (timedOut || (WIFSIGNALED(exitStatus) && WTERMSIG(exitStatus) == SIGXCPU)) return Refused(tooLong);
    if (WIFSIGNALED(exitStatus))
        return Refused("it could not be checked: the checker stopped by signal " +
                       std::to_string(WTERMSIG(exitStatus)) + " (" + strsignal(WTERMSIG(exitStatus)) +
                       "), as when a replay needs more than the server's " + std::to_string(limits.memoryMb) + " MB");
    if (WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == kExecFailed)
        return Unavailable("the server cannot start a checker now");
    if (!WIFEXITED(exitStatus) || WEXITSTATUS(exitStatus) != 0)
        return Refused("it could not be checked: the checker ended with status " +
                       std::to_string(WIFEXITED(exitStatus) ? WEXITSTATUS(exitStatus) : -1));
    const std::string noVerdict = "it could not be checked: the checker gave no verdict";
    const size_t newline = output.find('\n');
    if (newline == std::string::npos || newline + 1 != output.size()) return Refused(noVerdict);
    const json j = json::parse(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(newline), nullptr, false);
    if (j.is_discarded() || !j.is_object()) return Refused(noVerdict);
    const auto kind = j.find("verdict");
    const auto error = j.find("error");
    if (kind == j.end() || !kind->is_string()) return Refused(noVerdict);
    const std::string& k = kind->get_ref<const std::string&>();
    if (k == "verified") {
        Verdict v;
        v.kind = Verdict::Kind::Verified;
        if (!ReadResults(j, &v)) return Refused(noVerdict);
        return v;
    }
    if (error == j.end() || !error->is_string() || error->get_ref<const std::string&>().empty())
        return Refused(noVerdict);
    if (k == "refused" || k == "not-verified") return Refused(error->get<std::string>());
    if (k == "startup") return Unavailable("the server cannot re-play replays now: " + error->get<std::string>());
    return Refused(noVerdict);
}

// ---- the server's side -----------------------------------------------------------

struct Verifier::Job {
    explicit Job(asio::io_context& io) : in(io), out(io), timer(io), poll(io) {}
    pid_t pid = -1;
    asio::posix::stream_descriptor in, out;
    asio::steady_timer timer, poll;
    std::shared_ptr<const std::string> bytes;
    std::function<void(Verdict)> done;
    std::string output;
    std::array<char, 4096> chunk{};
    bool timedOut = false;
    bool saidTooMuch = false;
    bool reaping = false;
    int status = 0;
};

Verifier::Verifier(asio::io_context& io, std::vector<std::string> command, WorkerLimits limits)
    : io_(io), command_(std::move(command)), limits_(limits) {}

namespace {

// In the child, between fork and exec: only calls that are safe there.
[[noreturn]] void StartWorker(int in, int out, const WorkerLimits& limits, char* const* argv) {
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    close_range(3, ~0U, 0);
    if (kLimitAddressSpace) {
        const rlim_t bytes = static_cast<rlim_t>(limits.memoryMb) * 1024 * 1024;
        const rlimit as = {bytes, bytes};
        setrlimit(RLIMIT_AS, &as);
    }
    const rlimit cpu = {static_cast<rlim_t>(limits.seconds), static_cast<rlim_t>(limits.seconds) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    const rlimit core = {0, 0};
    setrlimit(RLIMIT_CORE, &core);
    execv(argv[0], argv);
    _exit(kExecFailed);
}

}  // namespace

void Verifier::Run(std::shared_ptr<const std::string> bytes, std::function<void(Verdict)> done) {
    auto job = std::make_shared<Job>(io_);
    job->bytes = std::move(bytes);
    job->done = std::move(done);
    std::vector<char*> argv;
    for (std::string& arg : command_) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int toWorker[2] = {-1, -1}, fromWorker[2] = {-1, -1};
    if (pipe2(toWorker, O_CLOEXEC) != 0 || pipe2(fromWorker, O_CLOEXEC) != 0 || (job->pid = fork()) < 0) {
        for (const int fd : {toWorker[0], toWorker[1], fromWorker[0], fromWorker[1]})
            if (fd >= 0) close(fd);
        asio::post(io_, [job] { job->done(Unavailable("the server cannot start a checker now")); });
        return;
    }
    if (job->pid == 0) StartWorker(toWorker[0], fromWorker[1], limits_, argv.data());
    close(toWorker[0]);
    close(fromWorker[1]);
    job->in.assign(toWorker[1]);
    job->out.assign(fromWorker[0]);
    asio::async_write(job->in, asio::buffer(*job->bytes), [job](const boost::system::error_code&, size_t) {
        boost::system::error_code ignored;
        job->in.close(ignored);
    });
    job->timer.expires_after(std::chrono::seconds(limits_.seconds));
    job->timer.async_wait([job](const boost::system::error_code& ec) {
        if (ec || job->pid <= 0) return;
        job->timedOut = true;
        kill(job->pid, SIGKILL);
    });
    ReadMore(job);
}

void Verifier::ReadMore(const std::shared_ptr<Job>& job) {
    job->out.async_read_some(asio::buffer(job->chunk), [this, job](const boost::system::error_code& ec, size_t n) {
        job->output.append(job->chunk.data(), n);
        if (job->output.size() > kMostWorkerOutput && !job->saidTooMuch) {
            job->saidTooMuch = true;
            kill(job->pid, SIGKILL);
        }
        if (ec || job->saidTooMuch)
            Reap(job);
        else
            ReadMore(job);
    });
}

void Verifier::Reap(const std::shared_ptr<Job>& job) {
    rusage usage{};
    const pid_t reaped = wait4(job->pid, &job->status, WNOHANG, &usage);
    if (reaped == 0) {
        job->poll.expires_after(kReapPoll);
        job->poll.async_wait([this, job](const boost::system::error_code&) { Reap(job); });
        return;
    }
    if (reaped == job->pid) peakKb_ = std::max(peakKb_, usage.ru_maxrss);
    Finish(job);
}

void Verifier::Finish(const std::shared_ptr<Job>& job) {
    job->pid = -1;
    job->timer.cancel();
    boost::system::error_code ignored;
    job->in.close(ignored);
    job->out.close(ignored);
    Verdict v = job->saidTooMuch ? Refused("it could not be checked: the checker gave no verdict")
                                 : ReadWorkerVerdict(job->output, job->status, job->timedOut, limits_);
    job->done(std::move(v));
}

// ---- the worker's side -------------------------------------------------------------

int RunVerifyWorker(const std::string& gameData) {
    // The verdict goes to the stdout we were given; anything the game
    // itself prints goes to stderr.
    const int verdictFd = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    std::string bytes;
    char chunk[16384];
    while (bytes.size() <= kReplayFileCapacity) {
        const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(chunk, static_cast<size_t>(n));
    }
    const ReplayCheckOutcome outcome =
        CheckReplay(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), gameData);
    json j;
    switch (outcome.kind) {
    case ReplayCheckOutcome::Kind::Verified: {
        j["verdict"] = "verified";
        j["difficulty"] = outcome.difficulty;
        json results = json::array();
        for (const ReplayCheckResult& r : outcome.results)
            results.push_back({{"player", r.player},
                               {"name", r.name},
                               {"score", r.score},
                               {"level", r.level},
                               {"length", r.length},
                               {"ship", r.ship}});
        j["results"] = results;
        break;
    }
    case ReplayCheckOutcome::Kind::Refused:
        j["verdict"] = "refused";
        break;
    case ReplayCheckOutcome::Kind::NotVerified:
        j["verdict"] = "not-verified";
        break;
    case ReplayCheckOutcome::Kind::StartupFailed:
        j["verdict"] = "startup";
        break;
    }
    if (outcome.kind != ReplayCheckOutcome::Kind::Verified) j["error"] = outcome.words;
    j["seconds"] = outcome.seconds;
    const std::string line = j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = write(verdictFd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 1;
        written += static_cast<size_t>(n);
    }
    return 0;
}

}  // namespace server
