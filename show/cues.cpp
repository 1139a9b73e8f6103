#include "show/cues.h"

#include "core/printable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

struct Cues {
    std::vector<Cue> list;
    size_t next = 0;
    FILE* save = nullptr;
};
Cues cues;

bool cue_line(const std::string& line, Cue* out, std::string* why)
{
    std::istringstream in(line);
    std::string time, rest;
    in >> time;
    std::getline(in, rest);
    errno = 0;
    char* end = nullptr;
    double t = std::strtod(time.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(t) || t < 0.0) {
        *why = "'" + printable(time) + "' is not a time in seconds";
        return false;
    }
    out->t = t;
    return action_parse(rest, &out->action, why);
}

}  // namespace

bool cues_parse(const std::string& text, const std::string& name, std::vector<Cue>* out, std::string* error)
{
    std::vector<Cue> list;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        Cue cue{};
        std::string why;
        if (!cue_line(line, &cue, &why)) {
            *error = name + ":" + std::to_string(number) + ": " + why;
            return false;
        }
        list.push_back(cue);
    }
    std::stable_sort(list.begin(), list.end(), [](const Cue& a, const Cue& b) { return a.t < b.t; });
    *out = std::move(list);
    return true;
}

bool cues_load(const std::string& path, std::string* error)
{
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file) {
        char block[4096];
        size_t got;
        while ((got = std::fread(block, 1, sizeof block, file)) > 0)
            text.append(block, got);
    }
    if (!file || std::ferror(file)) {
        *error = "cannot read " + path + ": " + std::strerror(errno);
        if (file)
            std::fclose(file);
        return false;
    }
    std::fclose(file);
    cues.next = 0;
    return cues_parse(text, path, &cues.list, error);
}

void cues_play(double t)
{
    for (; cues.next < cues.list.size() && cues.list[cues.next].t <= t; ++cues.next)
        play_apply(cues.list[cues.next].action, cues.list[cues.next].t);
}

bool cues_save_open(const std::string& path, std::string* error)
{
    cues_save_close();
    cues.save = std::fopen(path.c_str(), "w");
    if (!cues.save) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fputs("# glowcam cues: SECONDS ACTION [VALUE]\n", cues.save);
    std::fflush(cues.save);
    return true;
}

void cues_save(double t, const Action& action)
{
    if (!cues.save)
        return;
    std::fprintf(cues.save, "%.3f %s\n", t, action_text(action).c_str());
    std::fflush(cues.save);
}

void cues_save_close()
{
    if (cues.save)
        std::fclose(cues.save);
    cues.save = nullptr;
}
