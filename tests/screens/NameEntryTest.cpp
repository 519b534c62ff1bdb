#include "screens/NameEntry.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "io/Input.h"
#include "support/FakeHost.h"

namespace {

class NameEntryTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        displayFailed = false;
        inputFailed = false;
        ASSERT_TRUE(InitDisplay(640, 480, 8));
        ASSERT_TRUE(InitInput());
        ASSERT_TRUE(CreateKeyboard());
        glyphs = CreateSurface(640, 80, VideoMemory);
        font.Init(glyphs, 0, 0, 28, 25, 13, 621);
        entry.Init(&font, backBuffer, 138, 111, 13, 380);
    }
    void TearDown() override {
        ShutdownInput();
        ReleaseSurface(glyphs);
        ShutdownDisplay();
    }
    // One press and release of a key, a frame each.
    const char* Tap(uint8_t code) {
        host.keys[code] = 0x80;
        const char* r = entry.Update();
        host.keys[code] = 0;
        const char* r2 = entry.Update();
        return r ? r : r2;
    }
    std::string Typed() { return entry.Typed(); }
    Surface glyphs = nullptr;
    Font font;
    NameEntry entry;
};

TEST_F(NameEntryTest, KeysGiveTheirLettersAndTheFourExtraLetters) {
    const int codes[] = {0x10, 0x1E, 0x2C, 0x02, 0x0B, 26, 27, 39, 40, 43, 53, 0xC8, 255};
    std::string got;
    for (int code : codes) got += static_cast<char>(NameEntry::kKeyTable[code]);
    EXPECT_EQ(got, std::string("QAZ10\xC5\xC2\xD6\xC4<* ") + '\0');
}

TEST_F(NameEntryTest, ThirteenCharactersOnePerPressBackspaceMakesRoomAndEnterGivesTheTextWithoutTheCursor) {
    Tap(DIK_BACK);           // on an empty field: nothing
    host.keys[0x1E] = 0x80;  // held: one character
    for (int i = 0; i < 30; ++i) entry.Update();
    host.keys[0x1E] = 0;
    entry.Update();
    const uint8_t keys[13] = {0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32, 0x31};
    for (uint8_t k : keys) Tap(k);
    EXPECT_EQ(Typed(), "ABCDEFGHIJKLM");
    Tap(DIK_BACK);
    Tap(0x2C);
    EXPECT_EQ(Typed(), "ABCDEFGHIJKLZ");
    host.keys[DIK_RETURN] = 0x80;
    const char* done = entry.Update();
    ASSERT_NE(done, nullptr);
    EXPECT_STREQ(done, "ABCDEFGHIJKLZ");
    EXPECT_EQ(entry.Update(), nullptr);  // held Enter is latched
}

// Modifier and lock keys never count as the field's key: however they are
// pressed and released around the letters, every letter arrives.
TEST_F(NameEntryTest, ModifierKeysAreInvisibleAndTheLettersTypedWithThemArrive) {
    enum class Hold { AroundA, ReleasedWhileAIsDown, Throughout, TappedBetween };
    const struct {
        const char* what;
        uint8_t modifier;
        Hold hold;
    } cases[] = {
        {"left Shift down before A, up after it", DIK_LSHIFT, Hold::AroundA},
        {"right Shift up while A is down", DIK_RSHIFT, Hold::ReleasedWhileAIsDown},
        {"left Shift through the whole name", DIK_LSHIFT, Hold::Throughout},
        {"right Shift through the whole name", DIK_RSHIFT, Hold::Throughout},
        {"Caps Lock held", DIK_CAPITAL, Hold::Throughout},
        {"Caps Lock tapped between letters", DIK_CAPITAL, Hold::TappedBetween},
        {"left Ctrl around A", DIK_LCONTROL, Hold::AroundA},
        {"right Ctrl held", DIK_RCONTROL, Hold::Throughout},
        {"left Alt around A", DIK_LMENU, Hold::AroundA},
        {"AltGr held", DIK_RMENU, Hold::Throughout},
        {"left Windows key around A", DIK_LWIN, Hold::AroundA},
        {"right Windows key tapped between letters", DIK_RWIN, Hold::TappedBetween},
        {"Num Lock held", DIK_NUMLOCK, Hold::Throughout},
    };
    const uint8_t alice[] = {DIK_A, 0x26, 0x17, 0x2E, 0x12};  // A L I C E
    auto set = [&](uint8_t code, bool down) {
        host.keys[code] = down ? 0x80 : 0;
        entry.Update();
    };
    for (const auto& c : cases) {
        entry.Init(&font, backBuffer, 138, 111, 13, 380);
        const uint8_t m = c.modifier;
        if (c.hold == Hold::Throughout) set(m, true);
        for (uint8_t letter : alice) {
            if (letter == DIK_A && c.hold == Hold::AroundA) {
                set(m, true), set(letter, true), set(letter, false), set(m, false);
            } else if (letter == DIK_A && c.hold == Hold::ReleasedWhileAIsDown) {
                set(m, true), set(letter, true), set(m, false), set(letter, false);
            } else {
                Tap(letter);
                if (c.hold == Hold::TappedBetween) Tap(m);
            }
        }
        if (c.hold == Hold::Throughout) set(m, false);
        EXPECT_EQ(Typed(), "ALICE") << c.what;
    }
}

TEST_F(NameEntryTest, AKeyWithoutACharacterIsLatchedAndTheCursorBlinksTenFramesHiddenElevenShown) {
    host.keys[DIK_LEFT] = 0x80;
    entry.Update();
    host.keys[0x1E] = 0x80;  // pressed while the first is held: ignored
    entry.Update();
    EXPECT_EQ((std::tuple{int(entry.keyLatched), entry.length}), (std::tuple{1, 0}));
    host.keys[DIK_LEFT] = host.keys[0x1E] = 0;
    int shown = 0;
    for (int i = 0; i < 21; ++i) shown += (entry.Update(), entry.text[entry.length] == '<');
    entry.Update();
    EXPECT_EQ((std::tuple{int(entry.keyLatched), shown}), (std::tuple{0, 11}));
}

}  // namespace
