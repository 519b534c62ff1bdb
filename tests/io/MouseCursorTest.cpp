#include "io/MouseCursor.h"

#include <gtest/gtest.h>

#include <tuple>

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

TEST_F(MouseCursorTest, ClampsIntoItsBoundsDrawsCutAtTheEdgeAndTakesTheButtonFromTheHost) {
    cursor.x = 5;
    Move(-100, 0);
    EXPECT_EQ(cursor.x, 0);
    Move(10000, 10000);
    EXPECT_EQ((std::tuple{cursor.x, cursor.y, cursor.sprite.x, backBuffer->pixels[479 * 640 + 639]}),
              (std::tuple{639, 479, 639, 200}));
    Move(-9, -9);
    EXPECT_EQ((std::tuple{cursor.x, backBuffer->pixels[470 * 640 + 630], backBuffer->pixels[469 * 640 + 630]}),
              (std::tuple{630, 200, 0}));
    Move(2147483647, -2147483647 - 1);  // even absurd motion cannot wrap around
    EXPECT_EQ((std::tuple{cursor.x, cursor.y}), (std::tuple{639, 0}));
    host.button = 1;
    Move(0, 0);
    EXPECT_TRUE(cursor.LeftDown());
    host.button = 0;
    Move(0, 0);
    EXPECT_FALSE(cursor.LeftDown());
}

}  // namespace
