#pragma once

#include <string>

// What an operator can do to the running show, from whichever input: keys,
// OSC, a cue file. Without any action the show runs itself as designed.
// The show's own state applies them at the start of a frame, by show time,
// so a render with cues is as deterministic as one without. Main thread
// only.

enum class ActionKind { mode, next, previous, hold, swell, sensitivity, blackout };

struct Action {
    ActionKind kind;
    double value = 0.0;  // mode 0-2; hold and blackout 1 (on) or 0; sensitivity 0-4
};

// An action from its name and, for those that take one, its value, as cue
// files and OSC give them. False with the reason in *why for an unknown
// name, a missing, extra or out-of-range value.
bool action_make(const std::string& name, bool has_value, double value, Action* out, std::string* why);
// One action in the cue files' words: "mode 1", "hold on", "sensitivity 1.5".
bool action_parse(const std::string& text, Action* out, std::string* why);
// The same words back, as --save-cues writes them.
std::string action_text(const Action& action);

constexpr double sensitivity_max = 4.0;

// Where the show stands, as the inputs report it.
struct PlayState {
    int mode;
    bool hold;
    double sensitivity;
    bool blackout;
};

// Back to the show as designed: modes from the show time alone, no hold,
// sensitivity 1, no blackout.
void play_reset();
// Applies one action at show time t (seconds).
void play_apply(const Action& action, double t);
// The mode on screen at show time t: 25 s each, turning from the last pick.
int play_mode(double t);
// Multiplies the bass that drives the streaks and the ripple.
double play_sensitivity();
// 0 (none) to 1 (black): the picture fades over half a second each way.
float play_blackout_level(double t);
PlayState play_state(double t);
