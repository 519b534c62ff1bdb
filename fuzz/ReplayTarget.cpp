// Replay files: ParseReplay on the bytes as a file, the input tape played
// from what it accepts, and the same bytes read as a list of reads that is
// recorded and played back.
//
// Rules checked:
//   - a refused file is refused as Malformed, with a reason;
//   - an accepted file's header writes back to the same bytes, and its
//     tape is the rest of the file;
//   - playing an accepted tape with any pattern of reads gives keys and a
//     button that are up (0) or down (0x80), and never more passes than the
//     header counts; an accepted online body gives seven key bits a player
//     and the passes the header counts, records taken as they come;
//   - a list of reads recorded gives a tape that Check accepts with the
//     passes and hashes recorded, and that plays back every value as it was
//     read, in step to its end.

#include <cstring>

#include "FuzzTargets.h"
#include "io/InputTape.h"
#include "io/OnlineTape.h"
#include "io/ReplayFile.h"

namespace {

// More than the longest whole game (one player on hard, about 57,500
// passes), so that a seed's last levels are played.
constexpr uint32_t kMaxPlayedPasses = 65536;

void PlayAccepted(const ReplayHeader& header, const uint8_t* tapeBytes, const uint8_t* data, size_t size) {
    static InputTape tape;
    tape.Play(tapeBytes, header.tapeBytes, header.buttonDown != 0);
    uint8_t keys[256];
    for (uint32_t pass = 0; pass < kMaxPlayedPasses && !tape.Finished() && !tape.OutOfStep(); ++pass) {
        // The reads of a pass, in an order chosen by the file's own bytes.
        const uint8_t pattern = size > 0 ? data[pass % size] : 0;
        std::memset(keys, 0x55, sizeof keys);
        tape.Keys(keys);
        // Each key up (0) or down (0x80); one test of all 256, for speed: a
        // whole game plays tens of thousands of passes.
        uint8_t stray = 0;
        for (const uint8_t k : keys) stray |= static_cast<uint8_t>(k & 0x7F);
        FUZZ_CHECK(stray == 0);
        int32_t dx = 0, dy = 0;
        uint8_t button = 0x33;
        if ((pattern & 1) != 0) {
            tape.Mouse(&dx, &dy, &button);
            FUZZ_CHECK(button == 0 || button == 0x80);
        }
        bool focused = false;
        if ((pattern & 2) != 0) tape.Focus(&focused);
        uint32_t ticks = 0;
        if ((pattern & 4) != 0) tape.Ticks(&ticks);
        if ((pattern & 0x38) == 0x38) tape.Checkpoint(InputTape::kLevelEnd, 1, pattern);
        tape.EndPass();
        FUZZ_CHECK(tape.Passes() <= header.passes);
    }
}

void PlayAcceptedOnline(const ReplayHeader& header, const uint8_t* body) {
    static OnlineTape tape;
    tape.Play(body, header.tapeBytes);
    bool going = true;
    while (going && !tape.OutOfStep()) {
        uint8_t keys[2] = {0xFF, 0xFF};
        int32_t player = -1;
        NetPoints points;
        switch (tape.Peek()) {
        case OnlineTape::Next::Pass:
            FUZZ_CHECK(tape.TakePass(keys) && keys[0] <= OnlineTape::kKeyMask && keys[1] <= OnlineTape::kKeyMask);
            break;
        case OnlineTape::Next::Hash:
            FUZZ_CHECK(tape.Passes() % kNetHashInterval == 0);
            going = false;  // its hash is the session's to give
            break;
        case OnlineTape::Next::Points:
            FUZZ_CHECK(tape.TakePoints(&player, &points) && (player == 0 || player == 1));
            FUZZ_CHECK(NetPointsFault(points) == nullptr);
            break;
        case OnlineTape::Next::Lost:
            FUZZ_CHECK(tape.TakeLost());
            break;
        case OnlineTape::Next::Checkpoint:
        case OnlineTape::Next::End:
            going = false;
            break;
        }
        FUZZ_CHECK(tape.Passes() <= header.passes);
    }
}

// The bytes as reads: each byte's low three bits choose the read, the next
// bytes its value.
void RecordAndPlayBack(const uint8_t* data, size_t size) {
    static uint8_t buffer[64 * 1024];
    static InputTape recorder;
    static InputTape player;
    struct Read {
        uint8_t kind;
        uint8_t keys[4];
        int32_t dx, dy;
        uint8_t button;
        bool focused;
        uint32_t ticks;
        uint64_t hash;
    };
    static Read reads[4096];
    size_t count = 0;
    for (size_t i = 0; i < size && count < 4096; ++count) {
        Read& r = reads[count];
        std::memset(&r, 0, sizeof r);
        const uint8_t b = data[i++];
        auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
        r.kind = b & 7;
        switch (r.kind) {
        case 0:
            for (uint8_t& k : r.keys) k = next();
            break;
        case 1:
            r.dx = (static_cast<int32_t>(next()) - 128) * ((b & 0x80) != 0 ? 70000 : 1);
            r.dy = static_cast<int32_t>(next()) - 128;
            r.button = (b & 8) != 0 ? 0x80 : 0;
            break;
        case 2:
            r.focused = (b & 8) != 0;
            break;
        case 3:
            r.ticks = static_cast<uint32_t>(next()) << ((b >> 3) & 31);
            break;
        case 4:
            r.hash = static_cast<uint64_t>(next()) * 0x9E3779B97F4A7C15ull;
            break;
        default:
            break;  // the end of a pass
        }
    }
    auto perform = [](InputTape& tape, const Read& r, Read* got) {
        *got = r;
        switch (r.kind) {
        case 0: {
            uint8_t keys[256] = {};
            for (const uint8_t k : r.keys) keys[k] = 0x80;
            tape.Keys(keys);
            for (int i = 0; i < 4; ++i) got->keys[i] = keys[r.keys[i]];
            break;
        }
        case 1:
            tape.Mouse(&got->dx, &got->dy, &got->button);
            break;
        case 2:
            tape.Focus(&got->focused);
            break;
        case 3:
            tape.Ticks(&got->ticks);
            break;
        case 4:
            tape.Checkpoint(InputTape::kGameOver, 3, r.hash);
            break;
        default:
            tape.EndPass();
            break;
        }
    };
    recorder.Record(buffer, sizeof buffer, false);
    Read recorded[1];
    static Read asRecorded[4096];
    for (size_t i = 0; i < count; ++i) {
        perform(recorder, reads[i], recorded);
        asRecorded[i] = recorded[0];
    }
    FUZZ_CHECK(!recorder.Full());
    uint32_t passes = 0, checkpoints = 0;
    const char* why = nullptr;
    FUZZ_CHECK(InputTape::Check(buffer, recorder.Size(), &passes, &checkpoints, &why));
    FUZZ_CHECK(passes == recorder.Passes() && checkpoints == recorder.Checkpoints());
    player.Play(buffer, recorder.Size(), false);
    for (size_t i = 0; i < count; ++i) {
        Read got[1];
        perform(player, reads[i], got);
        const Read& want = asRecorded[i];
        switch (want.kind) {
        case 0:
            FUZZ_CHECK(std::memcmp(got[0].keys, want.keys, sizeof want.keys) == 0);
            break;
        case 1:
            FUZZ_CHECK(got[0].dx == want.dx && got[0].dy == want.dy && got[0].button == want.button);
            break;
        case 2:
            FUZZ_CHECK(got[0].focused == want.focused);
            break;
        case 3:
            FUZZ_CHECK(got[0].ticks == want.ticks);
            break;
        default:
            break;
        }
        FUZZ_CHECK(!player.OutOfStep());
    }
    FUZZ_CHECK(player.Finished());
}

}  // namespace

int FuzzReplay(const uint8_t* data, size_t size) {
    static const uint8_t kEmpty[1] = {};
    if (data == nullptr) data = kEmpty;
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ReadError error;
    if (!ParseReplay(data, size, &header, &tape, &error)) {
        FUZZ_CHECK(error.status == ReadStatus::Malformed && error.reason[0] != '\0');
    } else {
        FUZZ_CHECK(tape == data + kReplayHeaderBytes && header.tapeBytes == size - kReplayHeaderBytes);
        uint8_t written[kReplayHeaderBytes];
        WriteReplayHeader(header, written);
        FUZZ_CHECK(std::memcmp(written, data, kReplayHeaderBytes) == 0);
        if ((header.flags & kReplayOnline) != 0)
            PlayAcceptedOnline(header, tape);
        else
            PlayAccepted(header, tape, data, size);
    }
    RecordAndPlayBack(data, size);
    return 0;
}
