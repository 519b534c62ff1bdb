#pragma once
#include <cstddef>
#include <cstdint>

#include "net/NetInputs.h"
#include "net/NetLink.h"
#include "net/NetProtocol.h"
#include "net/PassExchange.h"

// The conversation with the other game over a link (docs/net-protocol.md):
// the greeting (hello, then welcome or refuse), each pass's inputs with
// their acknowledgements, the state hashes compared, pings for the round
// trip, the players' points records between levels, and the goodbye. The
// match calls Update once a pass (it polls the link and answers),
// SendInput with its input for the next pass, reads the peer's with
// PeerInput, and hands over a hash every kNetHashInterval passes. No
// allocation after Start.
class NetPeer : public PassExchange {
public:
    enum class State : uint8_t {
        Idle,
        Greeting,   // connecting, or hello sent and no answer yet
        Playing,    // welcomed (or welcoming): inputs flow
        Refused,    // the host said no (on the host: it said no): Message says why
        Left,       // the peer said goodbye
        OutOfStep,  // the two games' state hashes differ (found here, or by the peer)
        Lost,       // the link went: Message says why
    };

    // Hosting: waits for a hello on `link` (already listening), and answers
    // it with `welcome` (its host hello this side's own; its input delay
    // raised to the joining side's wish when that is larger) or a refusal.
    void StartHost(NetLink* link, const NetWelcome& welcome);
    // Joining: sends `hello` once `link` (already joining) connects.
    void StartJoin(NetLink* link, const NetHello& hello);

    // Polls the link and deals with what came; sends a ping now and then.
    // `nowMs` is any millisecond clock.
    void Update(uint32_t nowMs);

    State GetState() const { return state_; }
    bool InPlay() const override { return state_ == State::Playing; }
    // What went wrong, in words for the player ("" while all is well).
    const char* Message() const { return message_; }
    // The match as the host set it (both sides, once Playing).
    const NetWelcome& Match() const { return match_; }
    // The peer's hello (the joining side's on the host; the host's on the joiner).
    const NetHello& PeerHello() const { return peerHello_; }

    // This side's input for its next pass, sent at once with the passes
    // the peer has not acknowledged. False when too many wait for an
    // acknowledgement (the match must wait) or when not Playing.
    bool SendInput(const NetInput& input) override;
    uint32_t LocalPasses() const { return queue_.LocalPasses(); }
    // The peer's passes held (every pass below), and one of them.
    uint32_t PeerPasses() const override { return queue_.PeerPasses(); }
    bool PeerInput(uint32_t pass, NetInput* input) const override { return queue_.PeerInput(pass, input); }

    // The state hash after `pass` passes (a multiple of kNetHashInterval),
    // sent to the peer and compared with the peer's: two that differ make
    // the state OutOfStep and say goodbye.
    void SendHash(uint32_t pass, uint64_t hash) override;
    // This side's player after its points screen, for `points.level`; sent
    // reliably. False when not Playing or when the record breaks the
    // protocol's rules.
    bool SendPoints(const NetPoints& points);
    // The peer's record for `level`, once it arrived. The newest record
    // received is kept, whatever its level.
    bool PeerPoints(uint8_t level, NetPoints* out) const;

    // Says goodbye (the player left) and stops.
    void Leave();

    // The round trip from the pings (ms; 0 before the first pong).
    uint32_t RoundTripMs() const { return roundTripMs_; }
    // How long nothing has come from the peer, as of the last Update (ms).
    uint32_t SilentMs() const { return now_ - lastHeardMs_; }
    // Packets the reader refused.
    uint32_t Refused() const { return refused_; }

private:
    bool Send(const NetPacket& packet, bool reliable);
    void SendInputs();
    void Take(const NetPacket& packet);
    void CheckHash(uint32_t pass);
    void Stop(State state, NetByeReason bye);

    static constexpr int kHashSlots = 8;
    struct HashSlot {
        uint32_t pass = UINT32_MAX;
        bool mine = false, theirs = false;
        uint64_t myHash = 0, theirHash = 0;
    };

    NetLink* link_ = nullptr;
    bool hosting_ = false;
    State state_ = State::Idle;
    NetHello ours_;
    NetHello peerHello_;
    NetWelcome match_;
    NetInputQueue queue_;
    HashSlot hashes_[kHashSlots];
    NetPoints peerPoints_;
    bool havePeerPoints_ = false;
    NetDatagram received_[16];
    uint32_t now_ = 0;
    uint32_t lastHeardMs_ = 0;
    uint32_t firstPingMs_ = 0;
    uint32_t lastPingMs_ = 0;
    bool helloSent_ = false;
    bool pinged_ = false;
    uint32_t roundTripMs_ = 0;
    uint32_t refused_ = 0;
    char message_[160] = {};
};
