#include "net/NetPeer.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kPingEveryMs = 250;
// Inputs packets a send holds at most: a round trip of 640 ms or less
// keeps every unacknowledged pass on the way.
constexpr uint32_t kInputPacketsPerSend = 4;

}  // namespace

void NetPeer::StartHost(NetLink* link, const NetWelcome& welcome) {
    *this = NetPeer();
    link_ = link;
    hosting_ = true;
    ours_ = welcome.host;
    match_ = welcome;
    state_ = State::Greeting;
}

void NetPeer::StartJoin(NetLink* link, const NetHello& hello) {
    *this = NetPeer();
    link_ = link;
    ours_ = hello;
    state_ = State::Greeting;
}

bool NetPeer::Send(const NetPacket& packet, bool reliable) {
    uint8_t bytes[kNetMaxPacketBytes];
    const size_t n = WriteNetPacket(packet, bytes, sizeof bytes);
    return n > 0 && link_->Send(bytes, n, reliable);
}

uint32_t NetPeer::SurePasses() const {
    if (ended_) return endPass_;
    const uint32_t held = queue_.PeerPasses(), acked = queue_.PeerAck();
    return held < acked ? held : acked;
}

void NetPeer::End(uint32_t pass, bool named) {
    if (ended_) return;
    endPass_ = pass;
    named_ = named;
    ended_ = true;
}

void NetPeer::Stop(State state, NetByeReason bye) {
    if (state_ == State::Playing || state_ == State::Greeting) {
        // The goodbye names the pass this game ends on, which the peer holds.
        NetPacket p;
        p.kind = NetKind::Bye;
        p.bye = bye;
        p.byeEnd = state_ == State::Playing ? SurePasses() : 0;
        End(p.byeEnd, true);
        Send(p, true);
        link_->Flush();
    }
    state_ = state;
}

uint32_t NetPeer::RoundTripMs() const {
    const uint32_t link = link_ != nullptr ? link_->RoundTripMs() : 0;
    return link != 0 ? link : roundTripMs_;
}

bool NetPeer::AnnounceDelay(uint32_t pass, uint8_t delay) {
    if (state_ != State::Playing || !hosting_) return false;
    NetPacket p;
    p.kind = NetKind::Delay;
    p.delay = {pass, delay};
    const bool sent = Send(p, true);
    link_->Flush();
    return sent;
}

bool NetPeer::PeerDelay(uint32_t* pass, uint8_t* delay) const {
    if (!havePeerDelay_) return false;
    *pass = peerDelay_.pass;
    *delay = peerDelay_.delay;
    return true;
}

void NetPeer::Update(uint32_t nowMs) {
    if (link_ == nullptr || state_ == State::Idle) return;
    now_ = nowMs;
    const int n = link_->Poll(received_, 16, 0);
    if (n > 0 || lastHeardMs_ == 0) lastHeardMs_ = nowMs;
    for (int i = 0; i < n && (state_ == State::Greeting || state_ == State::Playing); ++i) {
        NetPacket p;
        const char* why = nullptr;
        if (!ParseNetPacket(received_[i].bytes, received_[i].size, queue_.Window(), &p, &why)) {
            ++refused_;
            continue;
        }
        Take(p);
    }
    if (state_ != State::Greeting && state_ != State::Playing) return;
    const NetLinkState link = link_->State();
    if (link == NetLinkState::Lost || link == NetLinkState::Failed) {
        // No goodbye: both end on what each acknowledged of the other.
        if (state_ == State::Playing) End(SurePasses(), false);
        state_ = State::Lost;
        std::snprintf(message_, sizeof message_, "%s", link_->Failure());
        return;
    }
    if (link != NetLinkState::Connected) return;
    if (!hosting_ && !helloSent_) {
        NetPacket hello;
        hello.kind = NetKind::Hello;
        hello.hello = ours_;
        Send(hello, true);
        helloSent_ = true;
    }
    if (!pinged_) firstPingMs_ = nowMs;
    if (!pinged_ || nowMs - lastPingMs_ >= kPingEveryMs) {
        NetPacket ping;
        ping.kind = NetKind::Ping;
        ping.ping.time = nowMs;
        Send(ping, false);
        lastPingMs_ = nowMs;
        pinged_ = true;
    }
    // Inputs again, for a peer that has not acknowledged them all.
    if (state_ == State::Playing) SendInputs();
    link_->Flush();
}

// The joiner's greeting, on the host: welcomed to the match, or refused
// with what differs.
void NetPeer::TakeHello(const NetPacket& p) {
    if (!hosting_ || state_ != State::Greeting) return;
    NetRefuseReason reason;
    NetPacket answer;
    if (NetHelloFits(p.hello, ours_, &reason)) {
        // The input delay: the larger of the two wishes.
        if (p.hello.inputDelay > match_.inputDelay) match_.inputDelay = p.hello.inputDelay;
        answer.kind = NetKind::Welcome;
        answer.welcome = match_;
        peerHello_ = p.hello;
        Send(answer, true);
        link_->Confirm();
        state_ = State::Playing;
    } else {
        answer.kind = NetKind::Refuse;
        answer.refuse.reason = reason;
        std::memcpy(answer.refuse.gameVersion, ours_.gameVersion, kNetVersionBytes);
        answer.refuse.dataHash = ours_.dataHash;
        Send(answer, true);
        std::snprintf(message_, sizeof message_, "%s wanted to join with %s", p.hello.name,
                      reason == NetRefuseReason::Version ? "another version of VoidCrawl" : "other levels");
        state_ = State::Refused;
    }
}

void NetPeer::TakeHash(const NetPacket& p) {
    if (state_ != State::Playing) return;
    for (HashSlot& slot : hashes_) {
        if (slot.pass == p.hash.pass && slot.theirs) return;  // a repeat
    }
    {
        HashSlot& slot = hashes_[(p.hash.pass / kNetHashInterval) % kHashSlots];
        if (slot.pass != p.hash.pass) slot = HashSlot{p.hash.pass};
        slot.theirs = true;
        slot.theirHash = p.hash.hash;
    }
    CheckHash(p.hash.pass);
}

void NetPeer::TakeBye(const NetPacket& p) {
    // The peer ends on the pass it names, which this side holds: so
    // does this side. The other side found the state hashes differ:
    // out of step here too; or it refused what this side sent.
    if (state_ == State::Playing) End(p.byeEnd, true);
    switch (p.bye) {
    case NetByeReason::OutOfStep:
        state_ = State::OutOfStep;
        std::snprintf(message_, sizeof message_, "the two games went out of step");
        break;
    case NetByeReason::Misbehaved:
        state_ = State::Broken;
        std::snprintf(message_, sizeof message_, "the other game refused what this game sent");
        break;
    default:
        state_ = State::Left;
        std::snprintf(message_, sizeof message_, "the other player left");
        break;
    }
}

void NetPeer::Take(const NetPacket& p) {
    switch (p.kind) {
    case NetKind::Hello:
        TakeHello(p);
        return;
    case NetKind::Welcome:
        if (hosting_ || state_ != State::Greeting) return;
        match_ = p.welcome;
        peerHello_ = p.welcome.host;
        state_ = State::Playing;
        return;
    case NetKind::Refuse:
        if (hosting_ || state_ != State::Greeting) return;
        DescribeNetRefusal(p.refuse, ours_, message_, sizeof message_);
        state_ = State::Refused;
        return;
    case NetKind::Inputs:
        if (state_ == State::Playing) queue_.Take(p.inputs);
        return;
    case NetKind::Hash:
        TakeHash(p);
        return;
    case NetKind::Ping: {
        NetPacket pong = p;
        pong.kind = NetKind::Pong;
        Send(pong, false);
        return;
    }
    case NetKind::Pong:
        // (A pong of the time this side never pinged at is nonsense: kept out.)
        if (pinged_ && now_ - p.ping.time <= now_ - firstPingMs_) roundTripMs_ = now_ - p.ping.time;
        return;
    case NetKind::Points:
        if (state_ != State::Playing) return;
        peerPoints_ = p.points;
        havePeerPoints_ = true;
        return;
    case NetKind::Delay:
        // The host's change, or (on the host) the joiner's echo of it.
        if (state_ != State::Playing) return;
        peerDelay_ = p.delay;
        havePeerDelay_ = true;
        if (!hosting_) Send(p, true);
        return;
    case NetKind::Bye:
        TakeBye(p);
        return;
    }
}

void NetPeer::SendInputs() {
    NetPacket p;
    for (uint32_t i = 0; i < kInputPacketsPerSend && queue_.NextPacket(&p, i); ++i) Send(p, false);
}

bool NetPeer::SendInput(const NetInput& input) {
    if (state_ != State::Playing || !queue_.AddLocal(input)) return false;
    SendInputs();
    link_->Flush();
    return true;
}

void NetPeer::SendHash(uint32_t pass, uint64_t hash) {
    if (state_ != State::Playing || pass % kNetHashInterval != 0) return;
    HashSlot& slot = hashes_[(pass / kNetHashInterval) % kHashSlots];
    if (slot.pass != pass) slot = HashSlot{pass};
    slot.mine = true;
    slot.myHash = hash;
    NetPacket p;
    p.kind = NetKind::Hash;
    p.hash = {pass, hash};
    Send(p, true);
    link_->Flush();
    CheckHash(pass);
}

void NetPeer::CheckHash(uint32_t pass) {
    const HashSlot& slot = hashes_[(pass / kNetHashInterval) % kHashSlots];
    if (slot.pass != pass || !slot.mine || !slot.theirs || slot.myHash == slot.theirHash) return;
    std::snprintf(message_, sizeof message_, "the two games went out of step at pass %u", static_cast<unsigned>(pass));
    Stop(State::OutOfStep, NetByeReason::OutOfStep);
}

bool NetPeer::SendPoints(const NetPoints& points) {
    if (state_ != State::Playing) return false;
    NetPacket p;
    p.kind = NetKind::Points;
    p.points = points;
    const bool sent = Send(p, true);
    link_->Flush();
    return sent;
}

bool NetPeer::PeerPoints(uint8_t level, NetPoints* out) const {
    if (!havePeerPoints_ || peerPoints_.level != level) return false;
    *out = peerPoints_;
    return true;
}

void NetPeer::Leave() { Stop(State::Left, NetByeReason::Left); }

void NetPeer::RefusePeer(const char* why) {
    if (state_ != State::Playing) return;
    std::snprintf(message_, sizeof message_, "%s", why);
    Stop(State::Broken, NetByeReason::Misbehaved);
}
