#include "app/WorldPlay.h"

#include <cstdio>
#include <cstring>

#include "app/Recorder.h"
#include "platform/Host.h"

namespace {

// `value` with a comma between each three digits ("1,204").
void Grouped(int64_t value, char* out, size_t size) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value < 0 ? 0 : value));
    const size_t count = std::strlen(digits);
    char grouped[32];
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0) grouped[at++] = ',';
        grouped[at++] = digits[i];
    }
    grouped[at] = '\0';
    std::snprintf(out, size, "%s", grouped);
}

}  // namespace

void FormatWorldRank(int64_t rank, int64_t entries, char* out, size_t size) {
    char rankText[32], entriesText[32];
    Grouped(rank, rankText, sizeof rankText);
    Grouped(entries < rank ? rank : entries, entriesText, sizeof entriesText);
    std::snprintf(out, size, "WORLD RANK %s OF %s", rankText, entriesText);
}

void WorldPlay::AfterPass(Recorder& recorder) {
    const bool finished = recorder.finishedGame;
    recorder.finishedGame = false;
    Host* host = GetHost();
    WorldLink* link = host != nullptr ? host->World() : nullptr;
    if (link == nullptr) return;
    // Nothing is sent unless the player turned sending on and the link has
    // a server (the settings' address, or in the browser the page's own
    // server). Online, both machines record the game; player 1's sends it.
    const Settings& settings = host->CurrentSettings();
    const bool mine = !recorder.Online() || recorder.header.onlinePlayer == 1;
    if (finished && settings.worldSend && link->Configured() && mine) HandOver(recorder, *link);
    WorldSent sent;
    if (link->TakeSent(&sent)) Take(sent);
}

void WorldPlay::HandOver(const Recorder& recorder, WorldLink& link) {
    std::snprintf(tag, sizeof tag, "%s", recorder.name);
    rankText_[0][0] = rankText_[1][0] = '\0';
    reason[0] = '\0';
    const size_t size = kReplayHeaderBytes + recorder.header.tapeBytes;
    if (link.Send(recorder.file, size, recorder.name, reason, sizeof reason)) {
        standing = Standing::Sending;
        return;
    }
    standing = Standing::NotKept;
    std::fprintf(stderr, "voidcrawl: the game could not be kept for the world table: %s\n", reason);
}

void WorldPlay::Take(const WorldSent& sent) {
    // Answers to games of earlier runs are news for the table, not the game on show.
    if (std::strcmp(sent.tag, tag) != 0) return;
    answer = sent;
    if (sent.outcome == WorldSent::Outcome::Refused) {
        standing = Standing::Refused;
        std::snprintf(reason, sizeof reason, "%s", sent.reason);
        return;
    }
    standing = Standing::Ranked;
    for (int p = 0; p < kWorldResultsMax; ++p) {
        rankText_[p][0] = '\0';
        if (p < sent.count) FormatWorldRank(sent.results[p].rank, sent.entries, rankText_[p], sizeof rankText_[p]);
    }
}
