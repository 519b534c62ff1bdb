// Online play as the other game's packets reach it: a joining side's
// NetPeer is welcomed, then everything else its peer sends is the fuzz
// input (cut into datagrams, each after a byte that gives its length, a
// few a pass), and a rollback session plays on what the peer made of it.
//
// Rules checked:
//   - whatever the peer sends, the session never runs a pass more than
//     kMaxRollback beyond the peer's keys it knows, and it goes on running
//     or waiting until the peer is gone or out of step.

#include <cstring>

#include "FuzzTargets.h"
#include "app/Game.h"
#include "match/RollbackSession.h"
#include "net/NetPeer.h"
#include "world/Random.h"

namespace {

constexpr int kPasses = 40;

class FuzzLink : public NetLink {
public:
    FuzzLink(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Host(uint16_t /*port*/) override { return true; }
    bool Join(const char* /*address*/) override { return true; }
    void Close(uint32_t /*flushMs*/) override {}
    bool Send(const uint8_t* /*data*/, size_t /*size*/, bool /*reliable*/) override { return true; }
    int Poll(NetDatagram* out, int capacity, uint32_t /*waitMs*/) override {
        int n = 0;
        if (!welcomed_ && capacity > 0) {
            NetPacket welcome;
            welcome.kind = NetKind::Welcome;
            std::strcpy(welcome.welcome.host.gameVersion, "1");
            std::strcpy(welcome.welcome.host.name, "HOST");
            welcome.welcome.inputDelay = size_ > 0 ? data_[0] % 5 : 0;
            out[0].size = WriteNetPacket(welcome, out[0].bytes, sizeof out[0].bytes);
            welcomed_ = true;
            return 1;
        }
        // A few datagrams a pass, as a link delivers them.
        while (n < capacity && n < 3 && at_ < size_) {
            const size_t length = data_[at_++];
            const size_t take = length < size_ - at_ ? length : size_ - at_;
            if (take > sizeof out[n].bytes) {
                at_ += take;
                continue;
            }
            std::memcpy(out[n].bytes, data_ + at_, take);
            out[n].size = take;
            at_ += take;
            ++n;
        }
        return n;
    }
    void Flush() override {}
    NetLinkState State() const override { return NetLinkState::Connected; }
    uint32_t RoundTripMs() const override { return 0; }
    const char* Failure() const override { return ""; }
    NetLinkCounts Counts() const override { return {}; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool welcomed_ = false;
};

}  // namespace

int FuzzRollback(const uint8_t* data, size_t size) {
    Game& game = FuzzGame();
    Match& match = game.match;
    static PlayerSetup setup;
    static RollbackSession session;
    static NetPeer peer;
    std::strcpy(setup.name1, "ADA");
    std::strcpy(setup.name2, "BO");
    setup.ship1 = 0;
    setup.ship2 = 1;
    match.players = 2;
    match.SetPlayers(&setup);
    match.Reset(0);
    SeedRandom(1);
    match.levelIndex = 0;
    FUZZ_CHECK(match.LoadLevel());
    FuzzLink link(data, size);
    NetHello hello;
    std::strcpy(hello.gameVersion, "1");
    std::strcpy(hello.name, "BO");
    peer.StartJoin(&link, hello);
    peer.Update(0);
    FUZZ_CHECK(peer.GetState() == NetPeer::State::Playing);
    session.Begin(&match, RandomState(), 1, peer.Match().inputDelay, &peer);
    for (int pass = 0; pass < kPasses; ++pass) {
        peer.Update(static_cast<uint32_t>(pass) * kPassMs);
        const RollbackSession::Step step = session.Advance(static_cast<uint8_t>(pass % 3 == 0 ? kPassSpace : 1));
        FUZZ_CHECK(session.Pass() - session.Confirmed() <= RollbackSession::kMaxRollback);
        if (step == RollbackSession::Step::OutOfStep) {
            FUZZ_CHECK(peer.GetState() != NetPeer::State::Playing);
            break;
        }
    }
    return 0;
}
