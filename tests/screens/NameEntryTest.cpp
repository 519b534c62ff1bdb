#include "screens/NameEntry.h"

#include <gtest/gtest.h>

#include <cstring>
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
    Tap(DIK_BACK);  // on an empty field: nothing
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
