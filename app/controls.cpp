#include "app/controls.h"

#include "app/osc.h"
#include "app/remote.h"
#include "core/clock.h"
#include "platform/window.h"
#include "show/actions.h"
#include "show/cues.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr double sensitivity_step = 1.25;

// The key (as a Windows virtual-key code) and the action it asks for, given
// where the show stands.
struct Key {
    int vk;
    Action (*action)(const PlayState& now);
};

Action sensitivity_to(double s) { return Action{ActionKind::sensitivity, std::clamp(s, 0.0, sensitivity_max)}; }
Action louder(const PlayState& now) { return sensitivity_to(now.sensitivity * sensitivity_step); }
Action quieter(const PlayState& now) { return sensitivity_to(now.sensitivity / sensitivity_step); }

const Key keys_played[] = {
    {0x31, [](const PlayState&) { return Action{ActionKind::mode, 0}; }},
    {0x32, [](const PlayState&) { return Action{ActionKind::mode, 1}; }},
    {0x33, [](const PlayState&) { return Action{ActionKind::mode, 2}; }},
    {0x27, [](const PlayState&) { return Action{ActionKind::next}; }},
    {0x25, [](const PlayState&) { return Action{ActionKind::previous}; }},
    {0x20, [](const PlayState& now) { return Action{ActionKind::hold, now.hold ? 0.0 : 1.0}; }},
    {0x53, [](const PlayState&) { return Action{ActionKind::swell}; }},
    {0x42, [](const PlayState& now) { return Action{ActionKind::blackout, now.blackout ? 0.0 : 1.0}; }},
    {0xBB, louder}, {0x6B, louder}, {0xBD, quieter}, {0x6D, quieter},
    {0x30, [](const PlayState&) { return sensitivity_to(1.0); }},
};

bool osc_running = false;
bool remote_running = false;

// An operator's action: applied, and kept in --save-cues.
void play(const Action& action, double t)
{
    play_apply(action, t);
    cues_save(t, action);
}

}  // namespace

bool controls_start(const Options& options)
{
    std::string error;
    if (!options.save_cues_file.empty() && !cues_save_open(options.save_cues_file, &error)) {
        std::fprintf(stderr, "glowcam: %s\n", error.c_str());
        return false;
    }
    if (options.osc_port > 0) {
        if (!osc_start(options.osc_host, options.osc_port, &error)) {
            std::fprintf(stderr, "glowcam: %s\n", error.c_str());
            cues_save_close();
            return false;
        }
        osc_running = true;
        std::fprintf(stderr, "glowcam: OSC on %s:%d\n", options.osc_host.c_str(), options.osc_port);
    }
    if (options.remote_port > 0) {
        const std::string key = options.remote_key.empty() ? remote_random_key() : options.remote_key;
        if (key.empty() || !remote_start(options.remote_host, options.remote_port, key, &error)) {
            std::fprintf(stderr, "glowcam: %s\n",
                         key.empty() ? "cannot make a key for the remote page; give one with --remote-key" : error.c_str());
            controls_stop();
            return false;
        }
        remote_running = true;
        const std::string url = remote_page_url(options.remote_host, options.remote_port, key);
        std::fprintf(stderr, "glowcam: remote control on %s\n", url.c_str());
        // A phone reaches the page only over the network.
        if (isatty(STDERR_FILENO) && options.remote_host != "127.0.0.1")
            std::fputs(remote_qr_text(url).c_str(), stderr);
    }
    return true;
}

void controls_stop()
{
    if (osc_running)
        osc_stop();
    osc_running = false;
    if (remote_running)
        remote_stop();
    remote_running = false;
    cues_save_close();
}

void controls_frame()
{
    const double t = show_time_ms() * 0.001;
    cues_play(t);
    for (const Key& key : keys_played)
        if (window_key_pressed(key.vk))
            play(key.action(play_state(t)), t);
    if (osc_running) {
        for (const Action& action : osc_take())
            play(action, t);
        osc_answer(play_state(t));
    }
    if (remote_running) {
        for (const Action& action : remote_take())
            play(action, t);
        remote_publish(RemoteState{play_state(t), t});
    }
}

void controls_frame_drawn()
{
    if (remote_running)
        remote_frame_drawn();
}
