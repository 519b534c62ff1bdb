#pragma once

// While SDL opens a sound or display device, the libraries under it print
// their own complaints on stderr (ALSA's "ALSA lib ..." lines, Wayland's and
// Xlib's), which only repeat, less clearly, the one line the game prints
// itself. While one of these lives, file descriptor 2 goes to a scratch
// file; when it ends, stderr is put back and the game's own lines written
// meanwhile ("voidcrawl: ...") are passed on, the rest dropped. Without a
// scratch file nothing is held back.
class SdlQuietStderr {
public:
    SdlQuietStderr();
    ~SdlQuietStderr();
    SdlQuietStderr(const SdlQuietStderr&) = delete;
    SdlQuietStderr& operator=(const SdlQuietStderr&) = delete;

private:
    int saved_ = -1;    // the real stderr
    int scratch_ = -1;  // what was written meanwhile
};
