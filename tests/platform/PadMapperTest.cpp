#include "platform/PadMapper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<int> HeldKeys(const PadMapper& pads) {
    std::vector<int> held;
    for (int code = 0; code < 256; ++code)
        if (pads.Keys()[code]) held.push_back(code);
    return held;
}

class PadMapperTest : public testing::Test {
protected:
    void SetUp() override {
        pads.Connect(0);
        pads.Connect(1);
        pads.SetContext(PadContext::Play);
    }
    std::vector<int> Press(int pad, int button) {  // held for one pass
        pads.Button(pad, button, true);
        pads.Tick();
        std::vector<int> held = HeldKeys(pads);
        pads.Button(pad, button, false);
        pads.Tick();
        return held;
    }
    std::pair<int, int> Moved() {  // one pass: how far the pointer moved
        int dx = 0, dy = 0;
        pads.Tick();
        pads.TakePointer(&dx, &dy);
        return {dx, dy};
    }
    PadMapper pads;
};

// In play each pad presses exactly its own player's keys, whichever keys the
// players chose; A also answers the EXIT box's yes, B its no.
TEST_F(PadMapperTest, InPlayEachPadPressesItsOwnPlayersKeys) {
    PlayKeys chosen = kDefaultPlayKeys;
    chosen.code[1][kKeyLeft] = 0x24;  // J
    pads.SetPlayKeys(chosen);
    struct Case {
        int pad, button;
        std::vector<int> keys;
    };
    const Case cases[] = {
        {0, kPadLeft, {DIK_LEFT}},
        {0, kPadRight, {DIK_RIGHT}},
        {0, kPadB, {DIK_N, DIK_RCONTROL}},
        {0, kPadRightShoulder, {DIK_RSHIFT}},
        {0, kPadX, {DIK_UP}},
        {0, kPadY, {DIK_DOWN}},
        {0, kPadA, {DIK_Y, DIK_SPACE}},
        {0, kPadStart, {DIK_ESCAPE}},
        {1, kPadLeft, {0x24}},
        {1, kPadRight, {DIK_D}},
        {1, kPadB, {DIK_LCONTROL, DIK_N}},
        {1, kPadRightShoulder, {DIK_LSHIFT}},
        {1, kPadX, {DIK_W}},
        {1, kPadY, {DIK_S}},
        {0, kPadLeftShoulder, {}},
        {1, kPadGuide, {}},
    };
    for (const Case& c : cases) {
        std::vector<int> want = c.keys;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(Press(c.pad, c.button), want) << "pad " << c.pad + 1 << " " << PadButtonName(c.button);
    }
    // Buttons chosen by the players.
    PadBindings bindings = kDefaultPadBindings;
    bindings.button[kPadJump] = kPadLeftShoulder;
    pads.SetBindings(bindings);
    EXPECT_EQ(Press(0, kPadLeftShoulder), std::vector<int>{DIK_RSHIFT});
    EXPECT_EQ(Press(0, kPadRightShoulder), std::vector<int>{});
}

TEST_F(PadMapperTest, AStickTurnsPastItsDeadZoneAndLetsGoOnlyWellInside) {
    // Stick x over the passes, and whether player 1's left key is held.
    const std::pair<int, bool> steps[] = {{-15000, false}, {-16500, true}, {-12000, true},
                                          {-9000, true},   {-7000, false}, {-15000, false},
                                          {-32768, true},  {0, false},     {20000, false}};
    for (const auto& [x, left] : steps) {
        pads.Axis(0, kPadLeftX, x);
        pads.Tick();
        EXPECT_EQ(pads.Keys()[DIK_LEFT] != 0, left) << x;
    }
    EXPECT_NE(pads.Keys()[DIK_RIGHT], 0);  // 20000: past the dead zone the other way
}

TEST_F(PadMapperTest, ATapWithinOnePassStillCountsAndAPadThatGoesLetsGoOfEverything) {
    pads.Button(0, kPadX, true);
    pads.Button(0, kPadX, false);  // both before the pass reads the pads
    pads.Tick();
    EXPECT_EQ(HeldKeys(pads), std::vector<int>{DIK_UP});
    pads.Tick();
    EXPECT_EQ(HeldKeys(pads), std::vector<int>{});

    pads.Button(1, kPadRightShoulder, true);
    pads.Axis(1, kPadLeftX, -32768);
    pads.Tick();
    EXPECT_EQ(HeldKeys(pads), (std::vector<int>{DIK_A, DIK_LSHIFT}));
    pads.Disconnect(1);
    pads.Tick();
    EXPECT_EQ(HeldKeys(pads), std::vector<int>{});
    pads.Button(1, kPadRightShoulder, true);  // a pad that is not there presses nothing
    pads.Tick();
    EXPECT_EQ(HeldKeys(pads), std::vector<int>{});
    pads.Connect(1);  // back: a fresh start
    pads.Tick();
    EXPECT_EQ(HeldKeys(pads), std::vector<int>{});
}

// While the options screen waits for a button, a pad presses nothing and
// its first fresh press is handed over once; a button held from before is
// not taken for a choice.
TEST_F(PadMapperTest, WaitingForAButtonPressesNothingAndTakesTheFirstPressOnce) {
    pads.SetContext(PadContext::Pointer);
    pads.Button(0, kPadA, true);  // the click that asked for a button, still held
    pads.Tick();
    pads.SetContext(PadContext::Binding);
    pads.Tick();
    EXPECT_EQ(pads.TakeBindPress(), -1);
    pads.Button(1, kPadLeftShoulder, true);
    pads.Button(1, kPadLeftShoulder, false);
    pads.Button(0, kPadStart, true);
    pads.Axis(0, kPadLeftX, -32768);
    pads.Tick();
    EXPECT_EQ(HeldKeys(pads), std::vector<int>{});
    EXPECT_FALSE(pads.LeftDown());
    EXPECT_EQ(pads.TakeBindPress(), kPadStart);  // the first pad's press comes first
    EXPECT_EQ(pads.TakeBindPress(), -1);
}

// Outside play the stick reaches any button across the screen in well under
// a second (100 passes) and can still make small moves; the D-pad steps;
// A clicks and Y opens the options.
TEST_F(PadMapperTest, OutsidePlayTheStickAndDpadMoveThePointerAndAClicks) {
    pads.SetContext(PadContext::Pointer);
    int x = 0, y = 0, passes = 0;
    pads.Axis(0, kPadLeftX, 32767);
    for (; x < 640 && passes < 100; ++passes) {
        const auto [dx, dy] = Moved();
        x += dx, y += dy;
    }
    EXPECT_LT(passes, 70) << "the pointer crossed the screen in " << passes << " passes";
    EXPECT_EQ(y, 0);
    pads.Axis(0, kPadLeftX, 0);
    pads.Axis(0, kPadLeftY, 5000);  // inside the dead zone
    EXPECT_EQ(Moved(), (std::pair{0, 0}));
    pads.Axis(0, kPadLeftY, 9000);  // just past it: a slow, small move
    int moved = 0;
    for (int i = 0; i < 10; ++i) moved += Moved().second;
    EXPECT_GE(moved, 0);
    EXPECT_LE(moved, 2);
    pads.Axis(0, kPadLeftY, 0);

    pads.Button(1, kPadDown, true);  // either pad moves the one pointer
    EXPECT_EQ(Moved(), (std::pair{0, 8}));
    EXPECT_EQ(Moved(), (std::pair{0, 0}));  // held: no repeat yet
    pads.Button(1, kPadDown, false);

    pads.Button(0, kPadA, true);
    pads.Tick();
    EXPECT_TRUE(pads.LeftDown());
    EXPECT_EQ(HeldKeys(pads), std::vector<int>{}) << "a click, no key";
    pads.Button(0, kPadA, false);
    pads.Tick();
    EXPECT_FALSE(pads.LeftDown());
    pads.Button(0, kPadY, true);  // the menu's OPTIONS key, not player 1's brake
    pads.Tick();
    EXPECT_EQ(HeldKeys(pads), std::vector<int>{DIK_O});
}

// On the set-up screen the D-pad spells: up and down run through the
// letters at the end of the name (each a key tapped and let go), right
// keeps the letter, B deletes.
TEST_F(PadMapperTest, TheDpadSpellsANameOneTappedKeyAtATime) {
    pads.SetContext(PadContext::Text);
    std::vector<int> taps;
    int last = 0;
    for (int button : {kPadUp, kPadUp, kPadRight, kPadDown, kPadDown, kPadB}) {
        pads.Button(0, button, true);
        for (int i = 0; i < 8; ++i) {
            pads.Tick();
            if (i == 0) pads.Button(0, button, false);
            const std::vector<int> held = HeldKeys(pads);
            ASSERT_LE(held.size(), 1u);
            const int now = held.empty() ? 0 : held[0];
            if (now != 0 && last == 0) taps.push_back(now);
            last = now;
        }
    }
    // A; B in its place; kept; the last letter (space); Z in its place; deleted.
    EXPECT_EQ(taps, (std::vector<int>{DIK_A, DIK_BACK, 0x30, DIK_SPACE, DIK_BACK, 0x2C, DIK_BACK}));
}

TEST(PadNames, ButtonsAndAxesGoByTheirSdlNamesInAnyCase) {
    EXPECT_EQ((std::vector<int>{PadButtonFromName("a"), PadButtonFromName("RightShoulder"), PadButtonFromName("dpup"),
                                PadButtonFromName("trigger"), PadButtonFromName("")}),
              (std::vector<int>{kPadA, kPadRightShoulder, kPadUp, -1, -1}));
    for (int b = 0; b < kPadButtonCount; ++b) EXPECT_EQ(PadButtonFromName(PadButtonName(b)), b);
    EXPECT_EQ((std::vector<int>{PadAxisFromName("LEFTX"), PadAxisFromName("righttrigger"), PadAxisFromName("x")}),
              (std::vector<int>{kPadLeftX, kPadRightTrigger, -1}));
}

}  // namespace
