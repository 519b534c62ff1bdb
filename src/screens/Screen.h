#pragma once

// What every screen of the game shows the game, which brings one on at a
// time (Game::GoTo): it is armed for the visit, its first picture is drawn
// into both buffers, it fades in; its passes are the game's to run (each
// screen's own Frame); it fades out as the game leaves it. A screen never
// calls another.
class Screen {
public:
    // Set for a new visit: what the last one left is forgotten.
    virtual void Arm() {}
    // The picture as a pass draws it, with nothing taken from the player.
    virtual void ShowFrame() = 0;
    virtual void FadeIn() = 0;
    virtual void FadeOut() = 0;

protected:
    ~Screen() = default;
};
