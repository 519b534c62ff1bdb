#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hosts/desktop/WorldHttp.h"
#include "hosts/desktop/WorldOutbox.h"
#include "platform/WorldLink.h"

// The desktop's link to the world table's server (platform/WorldLink.h):
// HTTP(S) with libcurl on one thread of its own, so that no call the game
// makes waits on the network. A game handed to Send is kept in the outbox
// folder first, then sent whenever sending is on and a server is set; a
// game the server could not take now (no answer, 429, 503, any other
// status) stays kept and is tried again later, in this run (each failure
// waits twice as long as the last, or as the server's Retry-After says)
// or the next. A ranked (201, 200) or refused (422) game leaves the
// outbox, and its answer waits for TakeSent. A live game's feed is asked
// for on a second thread of the link's, so that its long poll never holds
// a table, a replay or a sent game back.
class DesktopWorldLink final : public WorldLink {
public:
    struct Options {
        // Where world-outbox/ and world-games.txt live: beside the settings file.
        std::string folder;
        HttpLimits limits;  // maxBody is set per request
        std::chrono::milliseconds firstRetry{2000};
        std::chrono::milliseconds lastRetry{600000};
    };
    explicit DesktopWorldLink(Options options);
    // Stops the thread (a request under way is cut off).
    ~DesktopWorldLink() override;
    DesktopWorldLink(const DesktopWorldLink&) = delete;
    DesktopWorldLink& operator=(const DesktopWorldLink&) = delete;

    void Follow(const char* server, bool sending) override;
    bool Configured() const override;
    bool Send(const uint8_t* replay, size_t size, const char* tag, char* reason, size_t reasonSize) override;
    bool TakeSent(WorldSent* sent) override;
    void AskTable(int32_t difficulty) override;
    WorldAnswer Table(WorldTable* table, char* reason, size_t reasonSize) override;
    void AskReplay(const char* id) override;
    WorldAnswer Replay(uint8_t* buffer, size_t capacity, size_t* size, char* reason, size_t reasonSize) override;
    void AskFeed(const char* code, uint32_t from) override;
    WorldAnswer Feed(uint8_t* buffer, WorldFeedPart* part, char* reason, size_t reasonSize) override;

    // How sending stands, for the runner and the tests: games kept in the
    // outbox, and the last failure to send ("" none since the last answer).
    int Waiting() const;
    std::string LastFailure() const;

private:
    using Clock = std::chrono::steady_clock;
    enum class Sent : uint8_t { Nothing, Answered, Failed, Busy };

    void Run();
    void RunFeeds();
    void FetchFeed(const std::string& server, const std::string& code, uint32_t from, uint64_t ask);
    Sent SendOne(const std::string& server, int64_t* retryAfter);
    Sent SendClaim(const std::string& server, WorldOutbox::Claim* claim, int64_t* retryAfter);
    void FetchTable(const std::string& server, int32_t difficulty, uint64_t ask);
    // The table (and the rows around this player's best game): "" or why not.
    std::string ReadTable(const std::string& server, int32_t difficulty, WorldTable* table);
    void FetchReplay(const std::string& server, const std::string& id, uint64_t ask);
    bool Get(const std::string& url, size_t maxBody, HttpAnswer* answer);
    void Answer(const WorldSent& sent);

    Options options_;
    WorldOutbox outbox_;
    OwnWorldGames own_;  // touched by the thread alone

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stop_{false};
    std::string server_;
    bool sending_ = false;
    Clock::time_point nextTry_;
    // Counts the games kept: a look at the outbox that found nothing stands
    // only if no game was kept while it looked.
    uint64_t keptCount_ = 0;
    std::chrono::milliseconds retry_;
    std::string lastFailure_;

    // Answers to sent games, in order (the oldest go when TakeSent lags).
    static constexpr int kAnswersKept = 16;
    WorldSent answers_[kAnswersKept];
    int answerFirst_ = 0, answerCount_ = 0;

    // One kind of answer asked for (the table, a replay, a feed): a new ask
    // replaces the last, and only the newest one's fetch settles it. All of
    // it under mutex_.
    struct AskedAnswer {
        uint64_t ask = 0, done = 0;
        WorldAnswer state = WorldAnswer::None;
        char reason[kWorldReasonBytes] = {};
        // A new ask, waiting; with `refusal` it fails at once in those words.
        void Ask(const char* refusal);
        // A fetch to do: true with its ask, once, for the newest.
        bool Due(uint64_t* asked);
        // The fetch for `asked` is over: false when a newer ask replaced it
        // or it failed (`failure`, in words); true: its answer is to be
        // filled in, and it is Ready.
        bool Settle(uint64_t asked, const std::string& failure);
        // The state, with the failure's words to `out`.
        WorldAnswer Tell(char* out, size_t size) const;
    };

    AskedAnswer tableAnswer_;
    int32_t tableDifficulty_ = 0;
    WorldTable table_;
    AskedAnswer replayAnswer_;
    std::string replayId_;
    std::vector<uint8_t> replay_;

    // The feed asked for, on its own thread.
    std::condition_variable feedWake_;
    AskedAnswer feedAnswer_;
    std::string feedCode_;
    uint32_t feedFrom_ = 0;
    std::vector<uint8_t> feed_;
    WorldFeedPart feedPart_;
    HttpSession* feedSession_ = nullptr;  // the feed thread's own

    std::thread thread_;  // last: started once everything above is made
    std::thread feedThread_;
};
