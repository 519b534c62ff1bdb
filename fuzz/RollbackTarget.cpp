// Online play's packets: ReadRollbackPacket on the bytes, and a rollback
// session that hears them as everything its peer sends (cut into datagrams,
// each after a byte that gives its length).
//
// Rules checked:
//   - an accepted packet writes back to the same bytes;
//   - whatever the peer sends, the session never runs a pass more than
//     kMaxRollback beyond the peer's keys it knows, it goes on running or
//     waiting, and it stops only on a state hash that differs.

#include <cstring>

#include "FuzzTargets.h"
#include "app/Game.h"
#include "match/RollbackSession.h"
#include "world/Random.h"

namespace {

constexpr int kPasses = 40;

// The fuzz input as the peer's datagrams; what the session sends is dropped.
class FuzzPeer : public RollbackLink {
public:
    FuzzPeer(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    void Send(const uint8_t* /*bytes*/, size_t /*size*/) override {}
    size_t Receive(uint8_t* bytes, size_t capacity) override {
        // A few datagrams a pass, as a link delivers them.
        if (at_ >= size_ || ++given_ % 4 == 0) return 0;
        const size_t length = data_[at_++];
        const size_t n = length < size_ - at_ ? length : size_ - at_;
        if (n == 0 || n > capacity) return 0;
        std::memcpy(bytes, data_ + at_, n);
        at_ += n;
        return n;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    int given_ = 0;
};

}  // namespace

int FuzzRollback(const uint8_t* data, size_t size) {
    RollbackPacket packet;
    if (ReadRollbackPacket(data, size, &packet)) {
        uint8_t again[kRollbackPacketMax];
        FUZZ_CHECK(WriteRollbackPacket(packet, again) == size);
        FUZZ_CHECK(std::memcmp(again, data, size) == 0);
    }

    Game& game = FuzzGame();
    Match& match = game.match;
    static PlayerSetup setup;
    static RollbackSession session;
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
    FuzzPeer peer(data, size);
    session.Begin(&match, RandomState(), 0, size > 0 ? data[0] % 5 : 0, &peer);
    for (int pass = 0; pass < kPasses; ++pass) {
        const RollbackSession::Step step = session.Advance(static_cast<uint8_t>(pass % 3 == 0 ? kPassSpace : 1));
        FUZZ_CHECK(session.Pass() - session.Confirmed() <= RollbackSession::kMaxRollback);
        if (step == RollbackSession::Step::OutOfStep) break;
    }
    return 0;
}
