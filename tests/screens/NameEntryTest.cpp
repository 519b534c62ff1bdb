#include "screens/NameEntry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

TEST_F(NameEntryTest, KeyTableHasTheSpecialBytes) {
    EXPECT_EQ(NameEntry::kKeyTable[0x10], 'Q');
    EXPECT_EQ(NameEntry::kKeyTable[0x1E], 'A');
    EXPECT_EQ(NameEntry::kKeyTable[0x2C], 'Z');
    EXPECT_EQ(NameEntry::kKeyTable[0x02], '1');
    EXPECT_EQ(NameEntry::kKeyTable[0x0B], '0');
    EXPECT_EQ(NameEntry::kKeyTable[26], 0xC5);
    EXPECT_EQ(NameEntry::kKeyTable[27], 0xC2);
    EXPECT_EQ(NameEntry::kKeyTable[39], 0xD6);
    EXPECT_EQ(NameEntry::kKeyTable[40], 0xC4);
    EXPECT_EQ(NameEntry::kKeyTable[43], '<');
    EXPECT_EQ(NameEntry::kKeyTable[53], '*');
    EXPECT_EQ(NameEntry::kKeyTable[0xC8], ' ');
    EXPECT_EQ(NameEntry::kKeyTable[255], 0);
}

TEST_F(NameEntryTest, FourteenLettersKeepThirteenAndBackspaceMakesRoom) {
    const uint8_t keys[14] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32, 0x31};
    for (uint8_t k : keys) Tap(k);
    EXPECT_EQ(entry.length, 13);
    EXPECT_EQ(Typed(), "ABCDEFGHIJKLM");
    Tap(DIK_BACK);
    EXPECT_EQ(Typed(), "ABCDEFGHIJKL");
    Tap(0x2C);
    EXPECT_EQ(Typed(), "ABCDEFGHIJKLZ");
}

TEST_F(NameEntryTest, BackspaceOnAnEmptyFieldDoesNothing) {
    Tap(DIK_BACK);
    EXPECT_EQ(entry.length, 0);
    Tap(0x1E);
    EXPECT_EQ(Typed(), "A");
}

TEST_F(NameEntryTest, KeysWithoutACharacterAreLatchedAndIgnored) {
    host.keys[DIK_LEFT] = 0x80;
    entry.Update();
    EXPECT_EQ(entry.keyLatched, 1);
    EXPECT_EQ(entry.length, 0);
    // A second key pressed while the first is held is ignored.
    host.keys[0x1E] = 0x80;
    entry.Update();
    EXPECT_EQ(entry.length, 0);
    host.keys[DIK_LEFT] = 0;
    host.keys[0x1E] = 0;
    entry.Update();
    EXPECT_EQ(entry.keyLatched, 0);
    Tap(DIK_SPACE);
    Tap(0x2B);  // the key left of Z
    Tap(26);
    EXPECT_EQ(entry.length, 3);
    EXPECT_EQ(std::string(entry.Typed()), std::string(" <\xC5"));
}

TEST_F(NameEntryTest, OnePressEntersOneCharacter) {
    host.keys[0x1E] = 0x80;
    for (int i = 0; i < 30; ++i) entry.Update();
    host.keys[0x1E] = 0;
    entry.Update();
    EXPECT_EQ(Typed(), "A");
}

TEST_F(NameEntryTest, EnterReturnsTheTextWithoutTheCursor) {
    Tap(0x1E);
    Tap(0x1F);
    host.keys[DIK_RETURN] = 0x80;
    const char* done = entry.Update();
    ASSERT_NE(done, nullptr);
    EXPECT_STREQ(done, "AS");
    // Held Enter is latched: no second result.
    EXPECT_EQ(entry.Update(), nullptr);
}

TEST_F(NameEntryTest, TheCursorBlinksTenFramesHiddenElevenShown) {
    int shown = 0;
    for (int i = 0; i < 21; ++i) {
        entry.Update();
        if (entry.text[entry.length] == '<') ++shown;
    }
    EXPECT_EQ(shown, 11);
    entry.blink = 0;
    entry.Update();
    EXPECT_EQ(entry.text[0], 0);
}

}  // namespace
