#include "app/choices.h"

#include "app/cmdline.h"
#include "app/dialog.h"
#include "core/settings.h"

#include <glib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

constexpr const char* group = "dialog";

std::string size_text(int index)
{
    return std::to_string(resolution_table[index].width) + "x" +
           std::to_string(resolution_table[index].height);
}

// Reads the three choices into *out; the reason when one is missing or wrong.
std::string read_choices(GKeyFile* file, DialogChoices* out)
{
    GError* error = nullptr;
    gchar* size = g_key_file_get_string(file, group, "size", &error);
    bool full = !error && g_key_file_get_boolean(file, group, "full-screen", &error);
    bool quiet = !error && g_key_file_get_boolean(file, group, "no-sound", &error);
    if (error) {
        std::string reason = error->message;
        g_error_free(error);
        g_free(size);
        return reason;
    }
    const std::string text = size;
    g_free(size);
    for (int i = 0; i < int(std::size(resolution_table)); ++i) {
        if (size_text(i) == text) {
            *out = {i, full, quiet};
            return "";
        }
    }
    return "size " + text + " is not one the dialog offers";
}

}  // namespace

std::string choices_file_path()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home && *home ? home : g_get_home_dir()) + "/.config";
    }
    return folder + "/glowcam/glowcam.conf";
}

DialogChoices choices_load(const std::string& path)
{
    DialogChoices choices;
    GKeyFile* file = g_key_file_new();
    GError* error = nullptr;
    std::string reason;
    if (!g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, &error)) {
        // No file, or no folder for it: the first run. A folder that cannot
        // be made is said when the choices are kept.
        if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT) &&
            !g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOTDIR))
            reason = error->message;
        g_error_free(error);
    } else {
        reason = read_choices(file, &choices);
    }
    g_key_file_free(file);
    // GLib's reasons quote the file's own bytes: they are made valid UTF-8,
    // and no control character may break the line.
    gchar* valid = g_utf8_make_valid(reason.c_str(), -1);
    reason = valid;
    g_free(valid);
    for (char& c : reason)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    if (!reason.empty())
        std::fprintf(stderr, "glowcam: ignoring %s (%s): the dialog starts from its defaults, and Go! "
                     "writes the file anew\n", path.c_str(), reason.c_str());
    return choices;
}

bool choices_save(const std::string& path, const DialogChoices& choices)
{
    GKeyFile* file = g_key_file_new();
    g_key_file_set_comment(file, nullptr, nullptr,
                           " The configuration dialog's choices at the last Go!, offered the next time.",
                           nullptr);
    g_key_file_set_string(file, group, "size", size_text(choices.resolution_index).c_str());
    g_key_file_set_boolean(file, group, "full-screen", choices.fullscreen);
    g_key_file_set_boolean(file, group, "no-sound", choices.no_sound);

    std::string reason;
    gchar* folder = g_path_get_dirname(path.c_str());
    if (g_mkdir_with_parents(folder, 0700) != 0) {
        reason = std::strerror(errno);
    } else if (GError* error = nullptr; !g_key_file_save_to_file(file, path.c_str(), &error)) {
        reason = error->message;
        g_error_free(error);
    }
    g_free(folder);
    g_key_file_free(file);
    if (!reason.empty())
        std::fprintf(stderr, "glowcam: cannot keep the dialog's choices in %s (%s)\n", path.c_str(),
                     reason.c_str());
    return reason.empty();
}

DialogChoices choices_with_command_line(DialogChoices choices, const Options& options)
{
    for (int i = 0; i < int(std::size(resolution_table)); ++i)
        if (options.size_given && resolution_table[i].width == options.width &&
            resolution_table[i].height == options.height)
            choices.resolution_index = i;
    if (options.window)
        choices.fullscreen = false;
    if (options.no_sound)
        choices.no_sound = true;
    return choices;
}

bool config_dialog_run_remembered(const Options& options, bool* no_display)
{
    const std::string path = choices_file_path();
    const DialogChoices choices = choices_with_command_line(choices_load(path), options);
    resolution_index = choices.resolution_index;
    fullscreen = choices.fullscreen;
    no_sound = choices.no_sound;

    if (!config_dialog_run(no_display))
        return false;
    if (!options.size_given && !options.window && !options.no_sound)
        choices_save(path, {resolution_index, fullscreen, no_sound});
    return true;
}
