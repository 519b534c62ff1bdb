#include "gfx/PictureFit.h"

#include "platform/Host.h"

PictureFit FitPicture(int windowWidth, int windowHeight, ScaleMode mode) {
    PictureFit fit;
    if (windowWidth < 1) windowWidth = 1;
    if (windowHeight < 1) windowHeight = 1;
    const int byWidth = windowWidth / kScreenWidth;
    const int byHeight = windowHeight / kScreenHeight;
    const int factor = byWidth < byHeight ? byWidth : byHeight;
    const bool whole = factor >= 1 && (mode == ScaleMode::Integer || (mode == ScaleMode::Auto && factor >= 2));
    if (whole) {
        fit.width = kScreenWidth * factor;
        fit.height = kScreenHeight * factor;
        fit.prescale = factor;
    } else {
        // 4:3 bounded by the narrower side; the other side is rounded down.
        if (static_cast<long long>(windowWidth) * kScreenHeight <=
            static_cast<long long>(windowHeight) * kScreenWidth) {
            fit.width = windowWidth;
            fit.height = static_cast<int>(static_cast<long long>(windowWidth) * kScreenHeight / kScreenWidth);
        } else {
            fit.height = windowHeight;
            fit.width = static_cast<int>(static_cast<long long>(windowHeight) * kScreenWidth / kScreenHeight);
        }
        fit.prescale = factor >= 1 ? factor : 1;
        fit.whole = fit.width == kScreenWidth * fit.prescale && fit.height == kScreenHeight * fit.prescale;
    }
    fit.left = (windowWidth - fit.width) / 2;
    fit.top = (windowHeight - fit.height) / 2;
    return fit;
}

int LargestWholeFactor(int roomWidth, int roomHeight) {
    if (roomWidth < 0 || roomHeight < 0) return 0;
    const int byWidth = roomWidth / kScreenWidth;
    const int byHeight = roomHeight / kScreenHeight;
    return byWidth < byHeight ? byWidth : byHeight;
}

WindowSize ChooseWindowSize(WindowSize wanted, int roomWidth, int roomHeight) {
    if (roomWidth < kMinWindowWidth) roomWidth = kMinWindowWidth;
    if (roomHeight < kMinWindowHeight) roomHeight = kMinWindowHeight;
    WindowSize size = wanted;
    if (wanted.width <= 0 || wanted.height <= 0) {
        const int factor = LargestWholeFactor(roomWidth, roomHeight);
        if (factor >= 1) return {kScreenWidth * factor, kScreenHeight * factor};
        const PictureFit fit = FitPicture(roomWidth, roomHeight, ScaleMode::Fit);
        return {fit.width, fit.height};
    }
    size.width = size.width < kMinWindowWidth ? kMinWindowWidth : (size.width > roomWidth ? roomWidth : size.width);
    size.height =
        size.height < kMinWindowHeight ? kMinWindowHeight : (size.height > roomHeight ? roomHeight : size.height);
    return size;
}
