#include "hosts/web/WebRoomSocket.h"

#include <emscripten.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/SocketClose.h"

namespace {

// The one socket the page's glue hands its messages to.
WebRoomSocket* gActive = nullptr;

// The bodies of EM_JS are JavaScript, which the C++ formatter would break.
// (They are one line to the compiler: every statement ends with its
// semicolon, and no comment or string inside holds an apostrophe.)
// clang-format off

// Module.vcRooms: the WebSocket to the world server (the settings one, else
// the page own, as the world table finds it: Module.vcWorld.where). Each
// binary message of at most `most` bytes goes to the game as it comes; the
// rest is counted and dropped. Its close goes to the game at once, with the
// code and whether it had opened. 1: opening; 0: no world server known;
// -1: its address makes no WebSocket.
EM_JS(int, WebRoomSocketOpen, (int most), {
    const old = Module.vcRooms;
    if (old && old.ws) { old.ws.onmessage = old.ws.onclose = old.ws.onerror = null; try { old.ws.close(1000); } catch (e) {} }
    Module.vcRooms = null;
    const base = Module.vcWorld && Module.vcWorld.where ? Module.vcWorld.where() : "";
    if (!base) return 0;
    let url;
    try {
        url = new URL("api/v1/rooms/socket", base);
        url.protocol = url.protocol === "https:" ? "wss:" : "ws:";
        url.search = "";
        url.hash = "";
    } catch (e) {
        return -1;
    }
    let ws;
    try { ws = new WebSocket(url.href); } catch (e) { return -1; }
    ws.binaryType = "arraybuffer";
    const rooms = Module.vcRooms = {ws: ws, url: url.href, opened: 0, closed: 0, refused: 0};
    ws.onopen = () => { rooms.opened = 1; };
    ws.onmessage = (event) => {
        if (!(event.data instanceof ArrayBuffer) || event.data.byteLength === 0 || event.data.byteLength > most) {
            rooms.refused++;
            return;
        }
        HEAPU8.set(new Uint8Array(event.data), _vc_web_room_staging());
        _vc_web_room_arrived(event.data.byteLength);
    };
    ws.onclose = (event) => {
        rooms.closed = event.code || 1006;
        if (Module.vcRooms === rooms) _vc_web_room_closed(rooms.closed, rooms.opened);
    };
    ws.onerror = () => { if (!rooms.closed) rooms.closed = 1006; };
    return 1;
});

EM_JS(int, WebRoomSocketSend, (const uint8_t* bytes, int size, int bufferedMost), {
    const rooms = Module.vcRooms;
    if (!rooms || rooms.ws.readyState !== 1 || rooms.ws.bufferedAmount > bufferedMost) return 0;
    rooms.ws.send(HEAPU8.slice(bytes, bytes + size));
    return 1;
});

EM_JS(void, WebRoomSocketClose, (), {
    const rooms = Module.vcRooms;
    if (!rooms) return;
    rooms.ws.onmessage = null;
    try { rooms.ws.close(1000); } catch (e) {}
    Module.vcRooms = null;
});

// clang-format on

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE uint8_t* vc_web_room_staging() {
    static uint8_t none[kRoomMaxMessageBytes];
    return gActive != nullptr ? gActive->Staging() : none;
}

extern "C" EMSCRIPTEN_KEEPALIVE int vc_web_room_arrived(int size) {
    return gActive != nullptr && size > 0 && gActive->Arrived(static_cast<size_t>(size)) ? 1 : 0;
}

extern "C" EMSCRIPTEN_KEEPALIVE void vc_web_room_closed(int code, int opened) {
    if (gActive != nullptr) gActive->Closed(code, opened != 0);
}

bool WebRoomSocket::Open(DatagramUse use, int, uint16_t) {
    Close();
    if (use != DatagramUse::Room) {
        errno = EPROTONOSUPPORT;  // a page has no UDP
        return false;
    }
    broken_[0] = '\0';
    const int opening = WebRoomSocketOpen(static_cast<int>(kRoomMaxMessageBytes));
    if (opening != 1) {
        errno = ENETUNREACH;
        std::snprintf(broken_, sizeof broken_, "%s",
                      opening == 0 ? "the page knows no world server (the settings' [world] server, or the one "
                                     "that serves the page)"
                                   : "cannot reach the world server: its address makes no WebSocket");
        return false;
    }
    gActive = this;
    open_ = true;
    head_ = count_ = 0;
    return true;
}

void WebRoomSocket::Close() {
    if (!open_) return;
    WebRoomSocketClose();
    if (gActive == this) gActive = nullptr;
    open_ = false;
    head_ = count_ = 0;
}

void WebRoomSocket::Closed(int code, bool opened) {
    if (!open_ || broken_[0] != '\0') return;  // the first end is the one said
    DescribeSocketClose(opened, code, broken_, sizeof broken_);
}

int WebRoomSocket::Family() const { return AF_INET; }

// The server as the link knows it: an address of its own that nothing
// else can have (the page hears from nobody else).
UdpAddress WebRoomSocket::ServerAddress() const {
    UdpAddress a;
    sockaddr_in in{};
    in.sin_family = AF_INET;
    std::memcpy(a.raw, &in, sizeof in);
    a.size = sizeof in;
    return a;
}

bool WebRoomSocket::FindServer(const char*, uint16_t, UdpAddress* out, const char**) {
    *out = ServerAddress();
    return true;
}

void WebRoomSocket::Send(const uint8_t* bytes, size_t size, const UdpAddress& to, bool) {
    // The server is all a page reaches; a datagram for anywhere else is lost.
    UdpAddress server = ServerAddress();
    if (!open_ || to.size != server.size || std::memcmp(to.raw, server.raw, server.size) != 0 || size == 0 ||
        size > kRoomMaxMessageBytes) {
        ++counts_.unsent;
        return;
    }
    if (WebRoomSocketSend(bytes, static_cast<int>(size), kWebRoomBufferedMost) != 0)
        ++counts_.sent;
    else
        ++counts_.unsent;
}

bool WebRoomSocket::Arrived(size_t size) {
    if (!open_ || size == 0 || size > kRoomMaxMessageBytes || count_ == kSlots) {
        ++counts_.refused;
        return false;
    }
    Slot& slot = slots_[(head_ + count_) % kSlots];
    std::memcpy(slot.bytes, staging_, size);
    slot.size = static_cast<uint16_t>(size);
    ++count_;
    ++counts_.taken;
    return true;
}

long WebRoomSocket::Receive(uint8_t* buffer, size_t capacity, UdpAddress* from) {
    if (!open_ || count_ == 0) return -1;
    const Slot& slot = slots_[head_];
    head_ = (head_ + 1) % kSlots;
    --count_;
    std::memcpy(buffer, slot.bytes, slot.size < capacity ? slot.size : capacity);
    *from = ServerAddress();
    return static_cast<long>(slot.size);
}
