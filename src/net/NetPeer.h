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
        Broken,     // one side found the other's packets break the rules: Message says what
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

    // Both sides hold every pass below min(the peer's passes held here,
    // the peer's acknowledgement of ours). While in play it grows; once the
    // exchange stops it stands: the pass this side named in its goodbye,
    // the one the peer named in its own, or, when the link went silent,
    // what the two had acknowledged (docs/net-protocol.md, "The last pass").
    uint32_t SurePasses() const override;
    bool EndNamed() const override { return !ended_ || named_; }
    // The host's delay change (sent reliably; the joiner sends it back), and
    // the newest one heard: on the joiner the host's, on the host the
    // joiner's echo of it.
    bool AnnounceDelay(uint32_t pass, uint8_t delay) override;
    bool PeerDelay(uint32_t* pass, uint8_t* delay) const override;

    // Says goodbye (the player left) and stops.
    void Leave();
    // The peer sent what the rules forbid (`why`, in words for the player):
    // says so in the goodbye and stops, Broken.
    void RefusePeer(const char* why);

    // The round trip (ms): the link's measure, or else the last ping's
    // (0 before the first pong).
    uint32_t RoundTripMs() const override;
    // How long nothing has come from the peer, as of the last Update (ms).
    uint32_t SilentMs() const { return now_ - lastHeardMs_; }
    // Packets the reader refused.
    uint32_t Refused() const { return refused_; }

private:
    bool Send(const NetPacket& packet, bool reliable);
    void SendInputs();
    void Take(const NetPacket& packet);
    void TakeHello(const NetPacket& packet);
    void TakeHash(const NetPacket& packet);
    void TakeBye(const NetPacket& packet);
    void CheckHash(uint32_t pass);
    void Stop(State state, NetByeReason bye);
    // The exchange stops here: the pass both end on is fixed.
    void End(uint32_t pass, bool named);

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
    NetDelay peerDelay_;
    bool havePeerDelay_ = false;
    bool ended_ = false;  // the exchange stopped: endPass_ stands
    bool named_ = false;  // ... named in a goodbye
    uint32_t endPass_ = 0;
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
