#include "platform/PassInput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs `script` through a PassInput as a host does: passes apart by '|',
// each with the key events that arrive before it reads its keys ("D+" down,
// "D-" up; a letter names a key, "!" is a lost focus). Returns the keys each
// pass sees down, a pass a word ("" for none); `passes` pads the script
// with quiet passes.
std::string Seen(const std::string& script, int passes) {
    PassInput input;
    std::vector<std::string> batches(1);
    for (char c : script) {
        if (c == '|')
            batches.emplace_back();
        else if (c != ' ')
            batches.back() += c;
    }
    while (static_cast<int>(batches.size()) < passes) batches.emplace_back();
    std::string seen;
    for (size_t pass = 0; pass < batches.size(); ++pass) {
        if (pass > 0) {
            input.EndPass();
            input.BeginPass();
        }
        const std::string& events = batches[pass];
        for (size_t i = 0; i < events.size(); ++i) {
            if (events[i] == '!') {
                input.Clear();
            } else if (i + 1 < events.size()) {
                const auto code = static_cast<uint8_t>(events[i]);
                if (events[i + 1] == '+') input.KeyDown(code);
                if (events[i + 1] == '-') input.KeyUp(code);
                ++i;
            }
        }
        if (pass > 0) seen += ',';
        for (int code = 'A'; code <= 'Z'; ++code)
            if (input.KeyStates()[code] != 0) seen += static_cast<char>(code);
    }
    return seen;
}

struct Case {
    const char* what;
    const char* script;
    const char* seen;
};

TEST(PassInput, EveryReleaseIsSeenByAPassOfItsOwnBeforeAPressThatCameAfterIt) {
    const Case cases[] = {
        {"a tap quicker than a pass lasts its pass", "D+ D-", "D,,,,,"},
        {"a held key is up in the pass its release comes", "D+ | | D-", "D,D,,,,"},
        {"a letter and Enter at once: a pass each, one up between", "D+ D- E+ E-", "D,,E,,,"},
        {"the same, split over passes as a browser may deliver it", "D+ | D- E+ | E-", "D,,E,,,"},
        {"the same key typed twice at once is seen twice", "D+ D- D+ D-", "D,,D,,,"},
        {"three keys at once, in their order", "K+ K- I+ I- D+ D-", "K,,I,,D,"},
        {"a release then a press of another held key", "A+ | | A- B+ | |", "A,A,,B,B,B"},
        {"presses with no release between count together", "L+ R+", "LR,LR,LR,LR,LR,LR"},
        {"a release of a key that is not down holds nothing back", "X- E+", "E,E,E,E,E,E"},
        {"a lost focus lets go of what waited", "D+ D- E+ E- | !", "D,,,,,"},
        {"keys let go at once are up at once", "L+ R+ | | L- R-", "LR,LR,,,,"},
    };
    for (const Case& c : cases) EXPECT_EQ(Seen(c.script, 6), c.seen) << c.what;
}

TEST(PassInput, AFullQueueLetsEventsThroughRatherThanLoseThem) {
    std::string script = "A+ A-";
    for (int i = 0; i < 40; ++i) script += " B+ B-";  // 80 events behind the release
    script += " C+";
    const std::string seen = Seen(script, 4);
    EXPECT_NE(seen.find('C'), std::string::npos) << seen;
    EXPECT_EQ(seen.substr(0, 1), "A") << seen;
}

}  // namespace
