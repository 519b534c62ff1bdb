#include "io/MouseCursor.h"

#include <gtest/gtest.h>

#include "io/Input.h"
#include "support/FakeHost.h"

namespace {

class MouseCursorTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        displayFailed = false;
        inputFailed = false;
        ASSERT_TRUE(InitDisplay(640, 480, 8));
        ASSERT_TRUE(InitInput());
        ASSERT_TRUE(CreateKeyboard());
        ASSERT_TRUE(CreateMouse());
        const Rect screen{0, 0, 640, 480};
        SetClipList(backBuffer, 1, &screen);
        arrow = CreateSurface(40, 30, SystemMemory);
        for (int i = 0; i < 40 * 30; ++i) arrow->pixels[i] = 200;
        SetSourceColorKey(0, 0, arrow);
        cursor.Init(arrow, 0, 0, 32, 25, 1, 0);
        cursor.SetBounds(0, 0, 639, 479);
    }
    void TearDown() override {
        ShutdownInput();
        ReleaseSurface(arrow);
        ShutdownDisplay();
    }
    void Move(int dx, int dy) {
        host.mouseDx = dx;
        host.mouseDy = dy;
        ClearSurface(backBuffer, 0);
        cursor.Update();
    }
    Surface arrow = nullptr;
    MouseCursor cursor;
};

TEST_F(MouseCursorTest, ClampsIntoItsBoundsAndDrawsCutAtTheEdge) {
    cursor.x = 5;
    Move(-100, 0);
    EXPECT_EQ(cursor.x, 0);
    Move(10000, 10000);
    EXPECT_EQ(cursor.x, 639);
    EXPECT_EQ(cursor.y, 479);
    EXPECT_EQ(backBuffer->pixels[479 * 640 + 639], 200);
    EXPECT_EQ(cursor.sprite.x, 639);
    Move(-9, -9);
    EXPECT_EQ(cursor.x, 630);
    EXPECT_EQ(backBuffer->pixels[470 * 640 + 630], 200);
    EXPECT_EQ(backBuffer->pixels[469 * 640 + 630], 0);
    // Even absurd motion cannot wrap the position around.
    Move(2147483647, -2147483647 - 1);
    EXPECT_EQ(cursor.x, 639);
    EXPECT_EQ(cursor.y, 0);
}

TEST_F(MouseCursorTest, ButtonAndKeysComeFromTheHost) {
    host.button = 1;
    Move(0, 0);
    EXPECT_TRUE(cursor.LeftDown());
    host.button = 0;
    Move(0, 0);
    EXPECT_FALSE(cursor.LeftDown());
    host.keys[DIK_SPACE] = 0x80;
    host.keys[DIK_LEFT] = 0x80;
    ReadKeyboard();
    EXPECT_NE(KeyState[DIK_SPACE], 0);
    EXPECT_NE(KeyState[DIK_LEFT], 0);
    host.keys[DIK_SPACE] = 0;
    ReadKeyboard();
    EXPECT_EQ(KeyState[DIK_SPACE], 0);
    EXPECT_NE(KeyState[DIK_LEFT], 0);
}

}  // namespace
