#include "hosts/desktop/DesktopWorldLink.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hosts/desktop/WorldAnswers.h"

namespace {

// The largest JSON answer the link reads (a table of 100 rows is some 15 KiB).
constexpr size_t kJsonBytesMax = 256 * 1024;
// The most a server's Retry-After may hold the sending back.
constexpr int64_t kRetryAfterMaxSeconds = 3600;
// The rows around this player's best: two before and two after it.
constexpr const char kAroundQuery[] = "?before=2&after=2";
// A feed's request: the server holds it up to 2 s when nothing new is held.
constexpr long kFeedRequestMs = 10000;

// A room's code as a feed's path may hold it: letters, upper case.
bool IsFeedCode(const char* code) {
    const size_t length = code == nullptr ? 0 : strnlen(code, kWorldFeedCodeBytes);
    if (length == 0 || length >= static_cast<size_t>(kWorldFeedCodeBytes)) return false;
    for (size_t i = 0; i < length; ++i)
        if (code[i] < 'A' || code[i] > 'Z') return false;
    return true;
}

void Say(char* out, size_t size, const std::string& text) {
    if (out != nullptr && size > 0) CopyShownText(text.data(), text.size(), out, size);
}

// The server's address without the slashes it may end with.
std::string Base(const std::string& server) {
    std::string base = server;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

std::string StatusWords(const HttpAnswer& answer) { return "the server answered " + std::to_string(answer.status); }

void MarkOwn(WorldRow* rows, int count, const OwnWorldGames& own) {
    for (int i = 0; i < count; ++i) rows[i].own = own.Has(rows[i].replay);
}

}  // namespace

DesktopWorldLink::DesktopWorldLink(Options options)
    : options_(std::move(options)),
      outbox_(options_.folder.empty() ? std::string() : options_.folder + "/" + kWorldOutboxFolder),
      own_(options_.folder.empty() ? std::string() : options_.folder + "/" + kWorldGamesFile),
      retry_(options_.firstRetry),
      thread_([this] { Run(); }),
      feedThread_([this] { RunFeeds(); }) {}

DesktopWorldLink::~DesktopWorldLink() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    feedWake_.notify_all();
    thread_.join();
    feedThread_.join();
}

void DesktopWorldLink::Follow(const char* server, bool sending) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const std::string next = server == nullptr ? std::string() : std::string(server);
        // A new address, or sending turned on, is tried at once.
        if (next != server_ || (sending && !sending_)) {
            nextTry_ = Clock::now();
            retry_ = options_.firstRetry;
        }
        server_ = next;
        sending_ = sending;
    }
    wake_.notify_all();
}

bool DesktopWorldLink::Configured() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return !server_.empty();
}

bool DesktopWorldLink::Send(const uint8_t* replay, size_t size, const char* tag, char* reason, size_t reasonSize) {
    if (!outbox_.Keep(replay, size, tag, reason, reasonSize)) return false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        nextTry_ = Clock::now();
        ++keptCount_;
    }
    wake_.notify_all();
    return true;
}

bool DesktopWorldLink::TakeSent(WorldSent* sent) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (answerCount_ == 0) return false;
    *sent = answers_[answerFirst_];
    answerFirst_ = (answerFirst_ + 1) % kAnswersKept;
    --answerCount_;
    return true;
}

void DesktopWorldLink::AskTable(int32_t difficulty) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        tableDifficulty_ = difficulty;
        tableAnswer_.Ask(server_.empty()                    ? "no world server is set"
                         : difficulty < 0 || difficulty > 2 ? "no such table"
                                                            : nullptr);
    }
    wake_.notify_all();
}

WorldAnswer DesktopWorldLink::Table(WorldTable* table, char* reason, size_t reasonSize) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (tableAnswer_.state == WorldAnswer::Ready && table != nullptr) *table = table_;
    return tableAnswer_.Tell(reason, reasonSize);
}

void DesktopWorldLink::AskReplay(const char* id) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        replayId_ = id != nullptr && IsWorldId(id) ? id : "";
        replayAnswer_.Ask(server_.empty()     ? "no world server is set"
                          : replayId_.empty() ? "not a replay's id"
                                              : nullptr);
    }
    wake_.notify_all();
}

WorldAnswer DesktopWorldLink::Replay(uint8_t* buffer, size_t capacity, size_t* size, char* reason, size_t reasonSize) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (replayAnswer_.state == WorldAnswer::Ready) {
        if (replay_.size() > capacity) {
            Say(reason, reasonSize, "the replay is too large");
            return WorldAnswer::Failed;
        }
        std::memcpy(buffer, replay_.data(), replay_.size());
        *size = replay_.size();
    }
    return replayAnswer_.Tell(reason, reasonSize);
}

int DesktopWorldLink::Waiting() const { return static_cast<int>(outbox_.Kept().size()); }

std::string DesktopWorldLink::LastFailure() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return lastFailure_;
}

// ---- the thread -------------------------------------------------------------

void DesktopWorldLink::Run() {
    own_.Load();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        const std::string server = server_;
        uint64_t ask = 0;
        if (tableAnswer_.Due(&ask)) {
            const int32_t difficulty = tableDifficulty_;
            lock.unlock();
            FetchTable(server, difficulty, ask);
            lock.lock();
            continue;
        }
        if (replayAnswer_.Due(&ask)) {
            const std::string id = replayId_;
            lock.unlock();
            FetchReplay(server, id, ask);
            lock.lock();
            continue;
        }
        const bool canSend = sending_ && !server.empty();
        if (canSend && Clock::now() >= nextTry_) {
            const uint64_t keptBefore = keptCount_;
            lock.unlock();
            int64_t retryAfter = -1;
            const Sent sent = SendOne(server, &retryAfter);
            lock.lock();
            if (sent == Sent::Answered) {
                retry_ = options_.firstRetry;
            } else if (sent == Sent::Nothing && keptCount_ != keptBefore) {
                nextTry_ = Clock::now();  // a game was kept while the outbox was read: look again
            } else if (sent == Sent::Nothing) {
                nextTry_ = Clock::time_point::max();  // until a game is kept or the settings change
            } else {
                std::chrono::milliseconds wait = retry_;
                if (retryAfter >= 0)
                    wait = std::chrono::seconds(std::clamp<int64_t>(retryAfter, 1, kRetryAfterMaxSeconds));
                if (sent == Sent::Failed) retry_ = std::min(retry_ * 2, options_.lastRetry);
                nextTry_ = Clock::now() + wait;
            }
            continue;
        }
        if (canSend && nextTry_ != Clock::time_point::max())
            wake_.wait_until(lock, nextTry_);
        else
            wake_.wait(lock);
    }
}

DesktopWorldLink::Sent DesktopWorldLink::SendOne(const std::string& server, int64_t* retryAfter) {
    bool held = false;
    for (const std::string& name : outbox_.Kept()) {
        if (stop_) return Sent::Busy;
        WorldOutbox::Claim claim;
        const WorldOutbox::Claimed claimed = outbox_.TryClaim(name, &claim);
        if (claimed == WorldOutbox::Claimed::Held) held = true;
        if (claimed != WorldOutbox::Claimed::Yes) continue;
        return SendClaim(server, &claim, retryAfter);
    }
    // Another copy of the game is sending what is left: look again later.
    return held ? Sent::Busy : Sent::Nothing;
}

DesktopWorldLink::Sent DesktopWorldLink::SendClaim(const std::string& server, WorldOutbox::Claim* claim,
                                                   int64_t* retryAfter) {
    HttpLimits limits = options_.limits;
    limits.maxBody = kJsonBytesMax;
    HttpAnswer answer;
    std::string failure;
    WorldSent sent;
    std::snprintf(sent.tag, sizeof sent.tag, "%s", claim->tag.c_str());
    if (!HttpRequest(Base(server) + "/api/v1/replays", claim->replay.data(), claim->replay.size(), limits, &stop_,
                     &answer)) {
        failure = answer.failure;
    } else if (answer.status == 200 || answer.status == 201) {
        if (ReadSentAnswer(answer.body.data(), answer.body.size(), &sent)) {
            int32_t best = 0;
            for (int i = 0; i < sent.count; ++i) best = std::max(best, sent.results[i].score);
            own_.Add(sent.id, sent.difficulty, best);
        } else {
            failure = "the server's answer to a sent game could not be read";
        }
    } else if (answer.status == 422) {
        sent.outcome = WorldSent::Outcome::Refused;
        ReadRefusal(answer.body.data(), answer.body.size(), "the server refused the game", sent.reason,
                    sizeof sent.reason);
    } else {
        failure = StatusWords(answer);
        if (answer.status == 429 || answer.status == 503) *retryAfter = answer.retryAfter;
    }
    if (!failure.empty()) {
        WorldOutbox::Release(claim);
        const std::lock_guard<std::mutex> lock(mutex_);
        lastFailure_ = failure;
        return Sent::Failed;
    }
    WorldOutbox::Done(claim);
    Answer(sent);
    return Sent::Answered;
}

void DesktopWorldLink::Answer(const WorldSent& sent) {
    const std::lock_guard<std::mutex> lock(mutex_);
    lastFailure_.clear();
    if (answerCount_ == kAnswersKept) {  // the oldest goes
        answerFirst_ = (answerFirst_ + 1) % kAnswersKept;
        --answerCount_;
    }
    answers_[(answerFirst_ + answerCount_) % kAnswersKept] = sent;
    ++answerCount_;
}

bool DesktopWorldLink::Get(const std::string& url, size_t maxBody, HttpAnswer* answer) {
    HttpLimits limits = options_.limits;
    limits.maxBody = maxBody;
    return HttpRequest(url, nullptr, 0, limits, &stop_, answer);
}

void DesktopWorldLink::FetchTable(const std::string& server, int32_t difficulty, uint64_t ask) {
    WorldTable table;
    const std::string failure = ReadTable(server, difficulty, &table);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (tableAnswer_.Settle(ask, failure)) table_ = table;
}

std::string DesktopWorldLink::ReadTable(const std::string& server, int32_t difficulty, WorldTable* table) {
    HttpAnswer answer;
    const std::string scores = Base(server) + "/api/v1/scores";
    if (!Get(scores + "?difficulty=" + std::to_string(difficulty) + "&limit=" + std::to_string(kWorldTopRows),
             kJsonBytesMax, &answer))
        return answer.failure;
    if (answer.status != 200) {
        char reason[kWorldReasonBytes];
        ReadRefusal(answer.body.data(), answer.body.size(), StatusWords(answer).c_str(), reason, sizeof reason);
        return reason;
    }
    table->difficulty = difficulty;
    if (!ReadTableRows(answer.body.data(), answer.body.size(), table->top, kWorldTopRows, &table->topCount))
        return "the server's answer is not a table";
    table->entries = answer.totalCount >= 0 ? answer.totalCount : table->topCount;
    // The rows around this player's best game of that table, when there is one.
    own_.Load();
    char best[kWorldIdBytes];
    if (own_.Best(difficulty, best, sizeof best) &&
        Get(scores + "/around/" + best + kAroundQuery, kJsonBytesMax, &answer) && answer.status == 200 &&
        !ReadTableRows(answer.body.data(), answer.body.size(), table->around, kWorldAroundRows, &table->aroundCount)) {
        table->aroundCount = 0;
    }
    MarkOwn(table->top, table->topCount, own_);
    MarkOwn(table->around, table->aroundCount, own_);
    return "";
}

void DesktopWorldLink::FetchReplay(const std::string& server, const std::string& id, uint64_t ask) {
    HttpAnswer answer;
    std::string failure;
    if (!Get(Base(server) + "/api/v1/replays/" + id, kWorldReplayBytesMax, &answer))
        failure = answer.failure;
    else if (answer.status == 404)
        failure = "the server has no such replay";
    else if (answer.status != 200)
        failure = StatusWords(answer);
    else if (answer.body.empty())
        failure = "the server sent an empty replay";
    const std::lock_guard<std::mutex> lock(mutex_);
    if (replayAnswer_.Settle(ask, failure)) replay_.assign(answer.body.begin(), answer.body.end());
}

// ---- a live game's feed ------------------------------------------------------

void DesktopWorldLink::AskFeed(const char* code, uint32_t from) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        feedCode_ = IsFeedCode(code) ? code : "";
        feedFrom_ = from;
        feedAnswer_.Ask(server_.empty()     ? "no world server is set"
                        : feedCode_.empty() ? "that is no room's code"
                                            : nullptr);
    }
    feedWake_.notify_all();
}

WorldAnswer DesktopWorldLink::Feed(uint8_t* buffer, WorldFeedPart* part, char* reason, size_t reasonSize) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (feedAnswer_.state == WorldAnswer::Ready) {
        std::memcpy(buffer, feed_.data(), feed_.size());
        *part = feedPart_;
    }
    return feedAnswer_.Tell(reason, reasonSize);
}

void DesktopWorldLink::RunFeeds() {
    HttpSession session;  // one connection: the server counts the watcher by it
    feedSession_ = &session;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        uint64_t ask = 0;
        if (!feedAnswer_.Due(&ask)) {
            feedWake_.wait(lock);
            continue;
        }
        const std::string server = server_, code = feedCode_;
        const uint32_t from = feedFrom_;
        lock.unlock();
        FetchFeed(server, code, from, ask);
        lock.lock();
    }
    feedSession_ = nullptr;  // (the session ends with this thread)
}

void DesktopWorldLink::FetchFeed(const std::string& server, const std::string& code, uint32_t from, uint64_t ask) {
    HttpLimits limits = options_.limits;
    limits.maxBody = kWorldFeedMostRead;
    limits.totalMs = std::max(limits.totalMs, kFeedRequestMs);
    HttpAnswer answer;
    std::string failure;
    const std::string url = Base(server) + "/api/v1/live/" + code + "?from=" + std::to_string(from);
    if (!HttpRequest(url, nullptr, 0, limits, &stop_, &answer, feedSession_)) {
        failure = answer.failure;
    } else if (answer.status == 204) {
        answer.body.clear();
    } else if (answer.status != 200) {
        char reason[kWorldReasonBytes];
        ReadRefusal(answer.body.data(), answer.body.size(), StatusWords(answer).c_str(), reason, sizeof reason);
        failure = reason;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!feedAnswer_.Settle(ask, failure)) return;
    feed_.assign(answer.body.begin(), answer.body.end());
    feedPart_ = WorldFeedPart();
    feedPart_.size = feed_.size();
    feedPart_.ended = answer.status == 200 && answer.feedEnded;
    feedPart_.held = answer.status == 200 ? answer.feedHeld : -1;
}

// ---- answers asked for ----------------------------------------------------------

void DesktopWorldLink::AskedAnswer::Ask(const char* refusal) {
    ++ask;
    state = WorldAnswer::Waiting;
    if (refusal == nullptr) return;
    done = ask;  // nothing to fetch
    state = WorldAnswer::Failed;
    Say(reason, sizeof reason, refusal);
}

bool DesktopWorldLink::AskedAnswer::Due(uint64_t* asked) {
    if (ask == done) return false;
    *asked = done = ask;
    return true;
}

bool DesktopWorldLink::AskedAnswer::Settle(uint64_t asked, const std::string& failure) {
    if (asked != ask) return false;  // a newer ask replaced it
    if (!failure.empty()) {
        state = WorldAnswer::Failed;
        Say(reason, sizeof reason, failure);
        return false;
    }
    state = WorldAnswer::Ready;
    return true;
}

WorldAnswer DesktopWorldLink::AskedAnswer::Tell(char* out, size_t size) const {
    if (state == WorldAnswer::Failed) Say(out, size, reason);
    return state;
}
