// glowcam-bench record: the live show recording itself, as a user runs it:
// the glowcam program in a 640x480 window on a private Xvfb, the test camera,
// the music on OpenAL Soft's null output, 10 s of show. Reports the frames
// the file keeps of the 30-a-second grid over its length (a grid tick with
// no frame starting in it is a frame lost), the file's own duration, and
// the show's frame rate while recording beside its rate without.

#include "bench/bench.h"

#include <gst/gst.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

const double grid_fps = 30.0;
const double show_seconds = 10.0;

// Descriptors without FD_CLOEXEC (Xvfb's -displayfd) go to the child.
pid_t spawn(std::vector<std::string> argv, const std::vector<std::string>& env, const char* err_file)
{
    std::vector<char*> args, vars;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> all(env);
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("SDL_VIDEODRIVER=", 0) != 0 && std::string(*e).rfind("DISPLAY=", 0) != 0)
            all.push_back(*e);
    for (std::string& e : all)
        vars.push_back(e.data());
    vars.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (err_file)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_file, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), vars.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Xvfb's display (":N") once it takes connections; empty when it does not start.
std::string start_xvfb(pid_t* pid)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    *pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                 {}, "/dev/null");
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (*pid > 0 && poll(&p, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    return number.empty() ? "" : ":" + number;
}

std::vector<std::vector<double>> read_lines(const std::string& path)
{
    std::vector<std::vector<double>> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::vector<double> v;
        for (double x; fields >> x;)
            v.push_back(x);
        lines.push_back(v);
    }
    return lines;
}

struct Run {
    bool ok = false;
    double fps = 0.0, slowest = 0.0;  // frames a second: mean and lowest second
    std::string closing;              // the program's last line on standard error
};

// The show for show_seconds of frames, then SIGINT.
Run run_show(const std::string& display, const std::string& record, const std::string& dir)
{
    const std::string stats = dir + "/stats", err = dir + "/err";
    std::vector<std::string> argv = {GLOWCAM_EXE, "--no-dialog", "--window", "--size", "640x480", "--camera", "test"};
    if (!record.empty())
        argv.insert(argv.end(), {"--record", record});
    pid_t pid = spawn(argv, {"DISPLAY=" + display, "ALSOFT_DRIVERS=null", "GLOWCAM_FRAME_STATS=" + stats}, err.c_str());
    Run r;
    if (pid <= 0)
        return r;
    // The stats' first line comes a second into the show.
    for (int i = 0; i < 600 && read_lines(stats).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::duration<double>(show_seconds - 1.0));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    std::vector<std::vector<double>> lines = read_lines(stats);
    std::remove(stats.c_str());
    // The first second holds the start-up.
    int seconds = 0;
    r.slowest = 1e9;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].size() < 2)
            continue;
        r.fps += lines[i][1];
        r.slowest = std::min(r.slowest, lines[i][1]);
        ++seconds;
    }
    r.fps /= std::max(seconds, 1);
    std::ifstream in(err);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            r.closing = line;
    std::remove(err.c_str());
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && seconds > 0;
    return r;
}

struct FileFrames {
    int frames = 0;
    std::set<long long> ticks;  // grid ticks with a frame starting in them
    double duration = -1.0;     // as the file says at opening; negative when it says none
    double end = 0.0;           // the last frame's time
};

FileFrames read_file(const std::string& path)
{
    FileFrames f;
    std::string d = "filesrc location=\"" + path + "\" ! matroskademux name=d d.video_0 ! fakesink name=v signal-handoffs=true sync=false";
    GstElement* pipeline = gst_parse_launch(d.c_str(), nullptr);
    if (!pipeline)
        return f;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "v");
    auto on_buffer = +[](GstElement*, GstBuffer* b, GstPad*, gpointer data) {
        auto* f = static_cast<FileFrames*>(data);
        double t = static_cast<double>(GST_BUFFER_PTS(b)) / 1e9;
        ++f->frames;
        // Matroska keeps times to the millisecond.
        f->ticks.insert(static_cast<long long>(std::floor((t + 0.001) * grid_fps)));
        f->end = std::max(f->end, t);
    };
    g_signal_connect(sink, "handoff", G_CALLBACK(on_buffer), &f);
    gst_object_unref(sink);
    // The duration as a player opening the file sees it, before playing it.
    gint64 ns = -1;
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE &&
        gst_element_get_state(pipeline, nullptr, nullptr, 30 * GST_SECOND) == GST_STATE_CHANGE_SUCCESS &&
        gst_element_query_duration(pipeline, GST_FORMAT_TIME, &ns) && ns >= 0)
        f.duration = static_cast<double>(ns) / 1e9;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstMessage* end = gst_bus_timed_pop_filtered(GST_ELEMENT_BUS(pipeline), 60 * GST_SECOND,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    gst_clear_message(&end);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return f;
}

int run_record_bench(int, char**)
{
    gst_init(nullptr, nullptr);
    pid_t xvfb = -1;
    const std::string display = start_xvfb(&xvfb);
    if (display.empty()) {
        std::fprintf(stderr, "glowcam-bench: Xvfb did not start\n");
        return 1;
    }
    char dir_template[] = "/tmp/glowcam-bench-XXXXXX";
    const std::string dir = mkdtemp(dir_template) ? dir_template : "/tmp";
    const std::string video = dir + "/record.webm";

    const Run plain = run_show(display, "", dir);
    const Run rec = run_show(display, video, dir);
    const FileFrames f = read_file(video);
    std::remove(video.c_str());
    rmdir(dir.c_str());
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);

    const double length = f.end + 1.0 / grid_fps;
    const long long grid = std::llround(length * grid_fps);
    const long long kept = static_cast<long long>(f.ticks.size());
    std::printf("record 640x480 %.1f s: %lld of %lld frames kept (%.0f %%), %d in the file, duration at opening %s\n", length, kept,
                grid, 100.0 * kept / std::max(grid, 1LL), f.frames,
                f.duration > 0.0 ? (std::to_string(f.duration).substr(0, 6) + " s").c_str() : "none");
    std::printf("record show %.1f fps (slowest second %.0f), without recording %.1f fps (slowest %.0f)\n", rec.fps,
                rec.slowest, plain.fps, plain.slowest);
    std::printf("record closing line: %s\n", rec.closing.c_str());
    return plain.ok && rec.ok && f.frames > 0 ? 0 : 1;
}

BenchRegistration reg("record", run_record_bench);

}  // namespace
