// The options screen on the real voidcrawl-headless binary with a settings
// file (--settings): reached from the menu by its key, every change kept in
// the file line by line at once, refusals said on the screen, Esc back.
#include <gtest/gtest.h>

#include <regex>

#include "RunnerScenario.h"
#include "io/SoundSlots.h"
#include "screens/OptionsScreen.h"

namespace runner_test {
namespace {

// A script written pass by pass: each step waits a few passes after the last.
class ScriptText {
public:
    void At(int wait, const std::string& command) {
        frame_ += wait;
        text_ += std::to_string(frame_) + " " + command + "\n";
    }
    void Key(const std::string& key) {
        At(3, "press " + key);
        At(2, "release " + key);
    }
    void Pad(const std::string& button) {
        At(3, "pad 1 " + button + " press");
        At(2, "pad 1 " + button + " release");
    }
    void Click(int entry) {
        const OptionsScreen::Box& b = OptionsScreen::EntryBox(entry);
        At(3, "mouse " + std::to_string(b.x + b.w / 2) + " " + std::to_string(b.y + b.h / 2));
        At(2, "press lmb");
        At(2, "release lmb");
    }
    // The settings file and the game's state as they are now, as "NAME.ini"
    // and "NAME.json".
    void Look(const std::string& name) {
        At(3, "settings " + name + ".ini");
        At(0, "state " + name + ".json");
    }
    const std::string& Text() const { return text_; }

private:
    int frame_ = 0;
    std::string text_;
};

class OptionsScenarioTest : public RunnerScenario {
protected:
    RunResult RunScript(const ScriptText& script, const fs::path& settings) {
        std::ofstream(Work() / "script.txt") << script.Text() << "\n";
        return Run("--script script.txt --settings '" + settings.string() + "' --user-dir '" +
                   (Work() / "user").string() + "'");
    }
    std::string Read(const std::string& name) { return ReadText(Work() / name); }
    // The value of the first "key" after "object" (or from the start), as written.
    static std::string Field(const std::string& json, const std::string& key, const std::string& object = "") {
        const size_t from = object.empty() ? 0 : json.find("\"" + object + "\": {");
        const std::string lead = "\"" + key + "\": ";
        const size_t at = from == std::string::npos ? from : json.find(lead, from);
        if (at == std::string::npos) return "?";
        const size_t end = json.find_first_of(",\n", at);
        return json.substr(at + lead.size(), end - at - lead.size());
    }
};

TEST_F(OptionsScenarioTest, EveryChangeIsKeptAtOnceAndARefusalLeavesTheFileAlone) {
    const fs::path settings = Work() / "settings.ini";
    const std::string written = "# mine\n[sound]\nvolume = 100\n";
    std::ofstream(settings) << written;

    using E = OptionsScreen;
    ScriptText s;
    s.At(30, "press o");  // the menu's key
    s.At(2, "release o");
    s.Look("entered");
    s.Click(E::KeyEntry(0, kKeyWarp));  // player 1's warp waits for its key
    s.Key("space");                     // the game's own: refused, still waiting
    s.Look("reserved");
    s.Key("a");  // player 2's left
    s.Look("clash");
    s.Key("q");
    s.Look("bound");
    s.Click(E::kVolumeDown);
    s.Click(E::kVolumeDown);
    s.Click(E::kScaleEntry);
    s.Click(E::kWindowEntry);
    s.Look("changed");
    s.Click(E::PadEntry(kPadJump));
    s.Pad("b");  // the pad's warp already
    s.Look("padClash");
    s.Pad("leftshoulder");
    s.Click(E::KeyEntry(1, kKeyBoost));
    s.Key("esc");  // cancels the wait, stays here
    s.Look("cancelled");
    s.Key("esc");
    s.Look("menu");
    ASSERT_EQ(RunScript(s, settings).status, 0);

    EXPECT_EQ(Field(Read("entered.json"), "gameState"), "5");
    EXPECT_EQ(Read("entered.ini"), written);
    EXPECT_EQ(Read("reserved.ini"), written);
    EXPECT_EQ(Field(Read("reserved.json"), "notice", "options"),
              "\"\\\"Space\\\" cannot steer: the game keeps it for starting each life\"");
    EXPECT_EQ(Field(Read("reserved.json"), "waiting", "options"), std::to_string(E::KeyEntry(0, kKeyWarp)));
    EXPECT_EQ(Read("clash.ini"), written);
    EXPECT_EQ(Field(Read("clash.json"), "notice", "options"), "\"\\\"A\\\" is player 2's left\"");
    EXPECT_EQ(Read("bound.ini"), written + "\n[player1]\nwarp = Q\n");
    EXPECT_EQ(Field(Read("bound.json"), "waiting", "options"), "-1");
    EXPECT_EQ(Read("changed.ini"),
              "# mine\n[sound]\nvolume = 80\n\n[player1]\nwarp = Q\n"
              "\n[display]\nscale = integer\nwindow = 640x480\n");
    EXPECT_EQ(Read("padClash.ini"), Read("changed.ini"));
    EXPECT_EQ(Field(Read("padClash.json"), "notice", "options"), "\"B is the pad's WARP already\"");
    const std::string last = Read("cancelled.ini");
    EXPECT_NE(last.find("[gamepad]\njump = leftshoulder\n"), std::string::npos) << last;
    EXPECT_EQ(Field(Read("cancelled.json"), "gameState"), "5");
    EXPECT_EQ(Field(Read("cancelled.json"), "waiting", "options"), "-1");
    EXPECT_EQ(Field(Read("menu.json"), "gameState"), "2");
    EXPECT_EQ(Read("menu.ini"), last);
}

// A file that cannot be written: the change holds for the run and the
// screen says why it was not kept; the menu's hum switch says so too.
TEST_F(OptionsScenarioTest, AChangeThatCannotBeSavedIsSaid) {
    std::ofstream(Work() / "plain") << "x";
    const fs::path settings = Work() / "plain" / "settings.ini";  // under a file: never writable
    ScriptText s;
    s.At(30, "press o");
    s.At(2, "release o");
    s.Click(OptionsScreen::kMuteEntry);
    s.Look("options");
    s.Key("esc");
    s.At(10, "mouse 407 466");  // the hum switch
    s.At(2, "press lmb");
    s.At(2, "release lmb");
    s.Look("menu");
    const RunResult r = RunScript(s, settings);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string options = Read("options.json");
    EXPECT_EQ(Field(options, "notice", "options").rfind("\"Settings NOT saved: ", 0), 0u) << options;
    const std::string menu = Read("menu.json");
    EXPECT_EQ(Field(menu, "humOn"), "false");
    EXPECT_EQ(Field(menu, "notice", "menu").rfind("\"Settings NOT saved: ", 0), 0u) << menu;
    std::smatch playing;
    ASSERT_TRUE(std::regex_search(menu, playing, std::regex("\"soundsPlaying\": \\[([0-9, ]*)\\]")));
    std::string slots = playing[1].str();
    std::replace(slots.begin(), slots.end(), ',', ' ');
    std::istringstream numbers(slots);
    for (int slot = 0; numbers >> slot;) EXPECT_NE(slot, kSoundHum) << "the hum plays on";
}

}  // namespace
}  // namespace runner_test
