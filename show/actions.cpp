#include "show/actions.h"

#include "core/envelope.h"
#include "core/printable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

constexpr double blackout_fade_s = 0.5;

struct Play {
    // The turn counts 25 s per mode from the last pick: mode `anchor_mode`
    // at `anchor_t`. The show as designed picks mode 0 at 0 s.
    double anchor_t = 0.0;
    int anchor_mode = 0;
    bool hold = false;
    int held_mode = 0;
    double sensitivity = 1.0;
    bool blackout = false;
    double blackout_t = 0.0;     // the last switch
    float blackout_from = 0.0f;  // the level at that switch
};
Play play;

struct Name {
    const char* text;
    ActionKind kind;
    bool takes_value;
};
constexpr Name names[] = {
    {"mode", ActionKind::mode, true},         {"next", ActionKind::next, false},
    {"previous", ActionKind::previous, false}, {"hold", ActionKind::hold, true},
    {"swell", ActionKind::swell, false},       {"sensitivity", ActionKind::sensitivity, true},
    {"blackout", ActionKind::blackout, true},
};

const Name* find_name(ActionKind kind)
{
    for (const Name& n : names)
        if (n.kind == kind)
            return &n;
    return nullptr;
}

int wrap_mode(int m) { return ((m % 3) + 3) % 3; }

// Shows mode m at t and restarts the turn from there, or keeps it while held.
void pick_mode(int m, double t)
{
    play.held_mode = m;
    play.anchor_mode = m;
    play.anchor_t = t;
}

}  // namespace

bool action_make(const std::string& name, bool has_value, double value, Action* out, std::string* why)
{
    const Name* found = nullptr;
    for (const Name& n : names)
        if (name == n.text)
            found = &n;
    if (!found) {
        *why = "unknown action '" + printable(name) + "'";
        return false;
    }
    if (has_value != found->takes_value) {
        *why = name + (found->takes_value ? " needs a value" : " takes no value");
        return false;
    }
    const char* range = nullptr;
    switch (found->kind) {
    case ActionKind::mode:
        if (!(value == 0.0 || value == 1.0 || value == 2.0))
            range = "0, 1 or 2";
        break;
    case ActionKind::hold:
    case ActionKind::blackout:
        if (!(value == 0.0 || value == 1.0))
            range = "on or off";
        break;
    case ActionKind::sensitivity:
        if (!(value >= 0.0 && value <= sensitivity_max))
            range = "from 0 to 4";
        break;
    default:
        break;
    }
    if (range) {
        char shown[32];
        std::snprintf(shown, sizeof shown, "%g", value);
        *why = name + " wants " + range + ", not " + shown;
        return false;
    }
    *out = Action{found->kind, value};
    return true;
}

bool action_parse(const std::string& text, Action* out, std::string* why)
{
    std::istringstream in(text);
    std::string name, word, extra;
    in >> name >> word >> extra;
    if (name.empty()) {
        *why = "no action";
        return false;
    }
    if (!extra.empty()) {
        *why = "'" + printable(extra) + "' after the action";
        return false;
    }
    double value = 0.0;
    if (word == "on" || word == "off") {
        value = word == "on" ? 1.0 : 0.0;
        if (name != "hold" && name != "blackout") {
            *why = printable(name) + " wants a number, not '" + word + "'";
            return false;
        }
    } else if (!word.empty()) {
        errno = 0;
        char* end = nullptr;
        value = std::strtod(word.c_str(), &end);
        if (errno != 0 || *end != '\0' || !std::isfinite(value)) {
            *why = "'" + printable(word) + "' is not a number";
            return false;
        }
        if (name == "hold" || name == "blackout") {
            *why = name + " wants on or off, not '" + printable(word) + "'";
            return false;
        }
    }
    return action_make(name, !word.empty(), value, out, why);
}

std::string action_text(const Action& action)
{
    std::string text = find_name(action.kind)->text;
    char value[32];
    switch (action.kind) {
    case ActionKind::mode:
        std::snprintf(value, sizeof value, " %d", static_cast<int>(action.value));
        return text + value;
    case ActionKind::hold:
    case ActionKind::blackout:
        return text + (action.value != 0.0 ? " on" : " off");
    case ActionKind::sensitivity:
        std::snprintf(value, sizeof value, " %.6g", action.value);
        return text + value;
    default:
        return text;
    }
}

void play_reset() { play = Play{}; }

int play_mode(double t)
{
    if (play.hold)
        return play.held_mode;
    return wrap_mode(play.anchor_mode + static_cast<int>(static_cast<long long>((t - play.anchor_t) * 0.04) % 3));
}

void play_apply(const Action& action, double t)
{
    switch (action.kind) {
    case ActionKind::mode:
        pick_mode(static_cast<int>(action.value), t);
        break;
    case ActionKind::next:
        pick_mode(wrap_mode(play_mode(t) + 1), t);
        break;
    case ActionKind::previous:
        pick_mode(wrap_mode(play_mode(t) - 1), t);
        break;
    case ActionKind::hold: {
        bool on = action.value != 0.0;
        if (on != play.hold) {
            pick_mode(play_mode(t), t);
            play.hold = on;
        }
        break;
    }
    case ActionKind::swell:
        env_trigger(1, 10000, 2.0f, true);
        break;
    case ActionKind::sensitivity:
        play.sensitivity = action.value;
        break;
    case ActionKind::blackout: {
        bool on = action.value != 0.0;
        if (on != play.blackout) {
            play.blackout_from = play_blackout_level(t);
            play.blackout_t = t;
            play.blackout = on;
        }
        break;
    }
    }
}

double play_sensitivity() { return play.sensitivity; }

float play_blackout_level(double t)
{
    const double moved = std::max(0.0, t - play.blackout_t) / blackout_fade_s;
    const double level = play.blackout ? play.blackout_from + moved : play.blackout_from - moved;
    return static_cast<float>(std::clamp(level, 0.0, 1.0));
}

PlayState play_state(double t) { return PlayState{play_mode(t), play.hold, play.sensitivity, play.blackout}; }
