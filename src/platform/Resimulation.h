#pragma once

// A pass run again to bring the game's state up to date (after a rollback,
// or the sync test's second run of every pass) changes the state only: it
// draws nothing, starts no sound, and reads the tick counter as the pass
// read it the first time (io/Input), neither from the host nor through the
// input tape. Drawing and
// sound run through all their steps but the last, so that whatever state
// they move (sprite frames, the random numbers the shaking body draws)
// moves the same.
bool Resimulating();
void SetResimulating(bool on);

// Resimulating for the scope's lifetime.
class ResimulationScope {
public:
    ResimulationScope() : was_(Resimulating()) { SetResimulating(true); }
    ~ResimulationScope() { SetResimulating(was_); }
    ResimulationScope(const ResimulationScope&) = delete;
    ResimulationScope& operator=(const ResimulationScope&) = delete;

private:
    bool was_;
};

// A game nobody watches (the runner checking a replay): drawing is left out
// as in a pass run again, and the headless host mixes no sound, while input,
// ticks and play go on as ever. Play's state is the same either way
// (drawing and sound never decide it: the sync test holds them to that).
bool Unwatched();
void SetUnwatched(bool unwatched);
// Whether drawing is left out now: in a pass run again, or unwatched.
bool DrawingLeftOut();
