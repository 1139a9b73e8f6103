// The dialog's remembered choices: the file on its own, then the program as a
// user meets it on Xvfb, through the real dialog.
#include "app/choices.h"
#include "app/cmdline.h"
#include "tests/support/process.h"
#include "tests/support/x11.h"
#include "tests/support/xvfb.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// A fresh folder for one test's configuration.
std::string fresh_folder(const std::string& name)
{
    const fs::path dir = fs::path(::testing::TempDir()) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

bool same(const DialogChoices& a, const DialogChoices& b)
{
    return a.resolution_index == b.resolution_index && a.fullscreen == b.fullscreen && a.no_sound == b.no_sound;
}

int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

TEST(RememberedChoices, TheFileIsInTheUsersConfigFolder)
{
    setenv("HOME", "/home/ann", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(choices_file_path(), "/cfg/glowcam/glowcam.conf");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // the XDG rules ignore it
    EXPECT_EQ(choices_file_path(), "/home/ann/.config/glowcam/glowcam.conf");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(choices_file_path(), "/home/ann/.config/glowcam/glowcam.conf");
}

// No file: the defaults, silently, and nothing written. Each choice saved is
// read back, through folders that did not exist.
TEST(RememberedChoices, FirstRunThenEachChoiceComesBack)
{
    const std::string path = fresh_folder("choices-round-trip") + "/new/glowcam/glowcam.conf";
    testing::internal::CaptureStderr();
    EXPECT_TRUE(same(choices_load(path), DialogChoices{2, true, false}));
    EXPECT_FALSE(fs::exists(path));
    for (const DialogChoices& c : {DialogChoices{0, false, true}, DialogChoices{1, true, false}}) {
        EXPECT_TRUE(choices_save(path, c));
        EXPECT_TRUE(same(choices_load(path), c)) << c.resolution_index << c.fullscreen << c.no_sound;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_THAT(read_file(path), HasSubstr("size=800x600\nfull-screen=true\nno-sound=false\n"));
    EXPECT_EQ(fs::status(fs::path(path).parent_path()).permissions(), fs::perms::owner_all);
}

// A file damaged, out of range or unreadable: one line naming it, and the
// defaults. A file or folder that cannot be written: one line, and false.
TEST(RememberedChoices, ADamagedFileOrAFolderThatCannotBeWrittenGivesOneLine)
{
    const std::string dir = fresh_folder("choices-damaged"), path = dir + "/glowcam.conf";
    auto one_line = [](const std::string& err, const std::string& says, const std::string& also = "") {
        EXPECT_TRUE(lines(err) == 1 && err.find(says) != std::string::npos && err.find(also) != std::string::npos)
            << err;
        EXPECT_EQ(err.find('\x1b'), std::string::npos) << "the file's bytes kept out of the line";
    };
    const struct { std::string text; const char* says; } cases[] = {
        {"\x01\xff\xfe garbage\n\x1b[31m", "glowcam.conf"}, {"\x1b[31m red\x7f\n", "?[31m red?"},
        {"[dialog]\nsize=1000x700\nfull-screen=false\nno-sound=true\n", "1000x700"},
        {"[dialog]\nsize=800x600\nfull-screen=maybe\nno-sound=true\n", "full-screen"},
        {"[dialog]\nsize=800x600\nfull-screen=false\n", "no-sound"},
        {"[dialog]\nfull-screen=false\nno-sound=true\n", "size"}, {"", "dialog"}};
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(same(choices_load(path), DialogChoices{})) << c.text;
        one_line(testing::internal::GetCapturedStderr(), path, c.says);
    }

    // A folder where the file should be can be neither read nor written
    // (permissions would not stop root, who runs CI); nor can a folder under
    // a file be made.
    fs::remove(path);
    fs::create_directories(path);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(same(choices_load(path), DialogChoices{}));
    one_line(testing::internal::GetCapturedStderr(), path);
    std::ofstream(dir + "/file") << "not a folder";
    for (const std::string& unwritable : {path, dir + "/file/glowcam/glowcam.conf"}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(choices_save(unwritable, DialogChoices{0, false, true}));
        one_line(testing::internal::GetCapturedStderr(), "cannot keep the dialog's choices in " + unwritable);
    }
}

TEST(RememberedChoices, TheCommandLineOverridesEachChoiceItNames)
{
    const DialogChoices kept{1, true, false};
    Options o;  // 1024x768 unless --size says otherwise
    EXPECT_TRUE(same(choices_with_command_line(kept, o), kept));
    const struct { int width, height; DialogChoices offered; } sizes[] = {
        {640, 480, {0, true, false}}, {1024, 768, {2, true, false}},
        {800, 480, kept}, {640, 600, kept}, {1920, 1080, kept}};  // not offered: the dialog's own stays
    for (const auto& s : sizes) {
        o.size_given = true, o.width = s.width, o.height = s.height;
        EXPECT_TRUE(same(choices_with_command_line(kept, o), s.offered)) << s.width << "x" << s.height;
    }
    o = Options{}, o.window = true;
    EXPECT_TRUE(same(choices_with_command_line(kept, o), DialogChoices{1, false, false}));
    o = Options{}, o.no_sound = true;
    EXPECT_TRUE(same(choices_with_command_line(kept, o), DialogChoices{1, true, true}));
}

// The program on Xvfb with its configuration in a folder of the test's. Taps
// the keys into the dialog, closes the camera's report, checks the size of the
// show's window and closes it; returns what the program wrote on standard
// error.
struct Program {
    XServer x = xvfb(1024, 768);
    std::string config;

    std::string run(std::vector<std::string> args, const std::string& keys, const std::string& size)
    {
        const std::string display = x.display();
        const ProcessOptions po{
            .env = {"DISPLAY=" + display, "XDG_CONFIG_HOME=" + config, "HOME=" + config, "NO_AT_BRIDGE=1",
                    "GDK_BACKEND=x11", "ALSOFT_DRIVERS=null"},
            .unset_env = {"SDL_VIDEODRIVER", "WAYLAND_DISPLAY"}, .timeout_s = 40, .while_running = [&](int) {
                EXPECT_TRUE(x11_tap(display, keys, "Config:")) << keys;
                // The camera's report is a real box, which waits to be closed.
                EXPECT_TRUE(x11_close_window(display, "Information:", 20));
                EXPECT_TRUE(x11_wait_for_window(display, "OpenGL framework", 20));
                EXPECT_THAT(x11_window_geometry(display, "OpenGL framework"), ::testing::StartsWith(size + "+"));
                EXPECT_TRUE(x11_close_window(display, "OpenGL framework", 0));
            }};
        args.insert(args.begin(), {glowcam_exe(), "--camera", "test"});
        ProcessResult r = run_process(args, po);
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        return r.err;
    }
};

// The first run offers the defaults and keeps the choices of Go!; the next
// run offers them; a run with the command line's own choices leaves the file
// as it was. A damaged file: one line naming it, the defaults, and Go! writes
// the file anew. A folder that cannot be written: one line. The show starts
// every time.
TEST(RememberedChoices, TheDialogOffersTheChoicesOfTheLastGo)
{
    Program program{.config = fresh_folder("choices-program")};
    ASSERT_TRUE(program.x.ok());
    const std::string file = program.config + "/glowcam/glowcam.conf";
    EXPECT_EQ(program.run({}, "alt+6 alt+f Return", "800x600"), "");
    EXPECT_THAT(read_file(file), HasSubstr("size=800x600\nfull-screen=false\nno-sound=false\n"));
    if (::testing::Test::HasFailure())
        return;  // each run below would wait as long again
    program.run({}, "alt+s Return", "800x600");
    const std::string kept = read_file(file);
    EXPECT_THAT(kept, HasSubstr("size=800x600\nfull-screen=false\nno-sound=true\n"));
    program.run({"--size", "640x480"}, "alt+s Return", "640x480");
    EXPECT_EQ(read_file(file), kept);

    std::ofstream(file) << "[dialog]\nsize=800x600\nfull-screen=sometimes\n";
    std::string err = program.run({}, "alt+f Return", "1024x768");
    EXPECT_TRUE(lines(err) == 1 && err.find(file) != std::string::npos) << err;
    EXPECT_THAT(read_file(file), HasSubstr("size=1024x768\nfull-screen=false\nno-sound=false\n"));

    program.config = file + "/not-a-folder";
    err = program.run({}, "alt+f Return", "1024x768");
    EXPECT_TRUE(lines(err) == 1 && err.find("cannot keep") != std::string::npos) << err;
}

}  // namespace
