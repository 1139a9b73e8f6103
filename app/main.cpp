#include "app/choices.h"
#include "app/cmdline.h"
#include "app/data_path.h"
#include "app/help.h"
#include "app/main_loop.h"
#include "app/offline.h"
#include "capture/camera_mode.h"
#include "core/settings.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "show/cues.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!parse_command_line(argc, argv, &options, &error)) {
        std::fprintf(stderr, "glowcam: %s (see glowcam --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(command_line_usage(), stdout);
        std::fputs(help_epilogue(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("glowcam %s\n", GLOWCAM_VERSION);
        return 0;
    }
    if (options.list_cameras) {
        std::fputs(camera_list_text().c_str(), stdout);
        return 0;
    }
    // A cue file is read whole before anything starts, so a mistake in it
    // costs nothing.
    if (!options.cues_file.empty() && !cues_load(options.cues_file, &error)) {
        std::fprintf(stderr, "glowcam: %s\n", error.c_str());
        return 2;
    }
    options.music = data_file_path(options.music);
    screen_width = options.width;
    screen_height = options.height;
    fullscreen = !options.window;
    no_sound = options.no_sound;
    if (!options.render_dir.empty() || !options.render_file.empty())
        return offline_render(options);

    // Asked before the dialog, so a wrong number costs the user nothing. The
    // count is unknown without a display: the window then says what failed.
    monitor_index = options.display;
    int monitors = options.display > 0 ? window_display_count() : 0;
    if (monitors > 0 && options.display >= monitors) {
        std::fprintf(stderr, "glowcam: --display %d: this desktop has %d monitor%s, numbered from 0"
                     " (see glowcam --help)\n",
                     options.display, monitors, monitors == 1 ? "" : "s");
        return 2;
    }

    if (options.no_dialog) {
        message_box_use_stderr(true);
    } else {
        bool no_display = false;
        if (!config_dialog_run_remembered(options, &no_display))
            return no_display ? 1 : 0;
    }
    return run_show(options);
}
