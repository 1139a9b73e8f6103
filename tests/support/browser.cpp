#include "tests/support/browser.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

// The string value of the first "name" in a JSON text (the page's plain
// ASCII needs no unescaping but of quotes); "" when there is none.
std::string json_field(const std::string& json, const std::string& name)
{
    std::string out;
    size_t i = json.find("\"" + name + "\":\"");
    for (i = i == std::string::npos ? json.size() : i + name.size() + 4; i < json.size() && json[i] != '"'; ++i)
        out += json[i] == '\\' ? json[++i] : json[i];
    return out;
}

}  // namespace

std::string json_quote(const std::string& text)
{
    std::string out = "\"";
    for (char c : text)
        out += c == '"' || c == '\\' ? std::string("\\") + c : c == '\n' ? std::string("\\n") : std::string(1, c);
    return out + "\"";
}

Browser::Browser()
{
    profile_ = ::testing::TempDir() + "glowcam_browser_" + std::to_string(getpid());
    std::filesystem::remove_all(profile_);
    int commands[2], answers[2];
    pipe2(commands, O_CLOEXEC);
    pipe2(answers, O_CLOEXEC);
    const std::string log = profile_ + ".log", dir = "--user-data-dir=" + profile_;
    pid_ = fork();
    if (pid_ == 0) {
        // Its own process group, to end with its helpers; it dies with the test.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The protocol's pipe: commands in on 3, answers out on 4 (moved out
        // of the way first: the pipes may hold those numbers already).
        const int in = fcntl(commands[0], F_DUPFD_CLOEXEC, 10), out = fcntl(answers[1], F_DUPFD_CLOEXEC, 10);
        dup2(in, 3);
        dup2(out, 4);
        const int log_fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log_fd, 1);
        dup2(log_fd, 2);
        // Headless, and without what a sanitizer build preloads.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "LD_PRELOAD"})
            unsetenv(name);
        execl("/usr/bin/chromium", "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
              "--disable-extensions", "--disable-background-networking", "--disable-component-update",
              "--remote-debugging-pipe", dir.c_str(), "about:blank", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(commands[0]);
    close(answers[1]);
    to_ = commands[1];
    from_ = answers[0];
    if (pid_ > 0 && call("Browser.getVersion", "{}").empty()) {
        std::fprintf(stderr, "browser: /usr/bin/chromium did not answer (see %s)\n", log.c_str());
        kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

Browser::~Browser()
{
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);  // its helpers too
        waitpid(pid_, nullptr, 0);
    }
    close(to_);
    close(from_);
    std::error_code ignored;
    std::filesystem::remove_all(profile_, ignored);
}

std::string Browser::call(const std::string& method, const std::string& params)
{
    const int id = next_id_++;
    const std::string message = "{\"id\":" + std::to_string(id) + ",\"method\":\"" + method + "\",\"params\":" +
                                params + (session_.empty() ? "" : ",\"sessionId\":\"" + session_ + "\"") + "}";
    if (write(to_, message.c_str(), message.size() + 1) != static_cast<ssize_t>(message.size() + 1))
        return "";
    // Each message ends with a NUL; the answer is the one with our id, among events.
    const std::string mine = "{\"id\":" + std::to_string(id) + ",";
    for (;;) {
        for (size_t nul; (nul = pending_.find('\0')) != std::string::npos;) {
            const std::string answer = pending_.substr(0, nul);
            pending_.erase(0, nul + 1);
            if (answer.starts_with(mine) && answer.find("\"result\":") == std::string::npos)
                std::fprintf(stderr, "browser: %s failed: %s\n", method.c_str(), answer.c_str());
            if (answer.starts_with(mine))
                return answer.find("\"result\":") == std::string::npos ? "" : answer;
        }
        pollfd p{from_, POLLIN, 0};
        char buffer[65536];
        const ssize_t n = poll(&p, 1, 10000) > 0 ? read(from_, buffer, sizeof buffer) : 0;  // 10 s without a word
        if (n <= 0) {
            std::fprintf(stderr, "browser: no answer to %s\n", method.c_str());
            return "";
        }
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

bool Browser::open(const std::string& url)
{
    const std::string target = json_field(call("Target.createTarget", "{\"url\":" + json_quote(url) + "}"), "targetId");
    session_ = json_field(call("Target.attachToTarget", "{\"targetId\":\"" + target + "\",\"flatten\":true}"),
                          "sessionId");
    const std::string phone = "{\"width\":390,\"height\":844,\"deviceScaleFactor\":2,\"mobile\":true}";
    if (session_.empty() || call("Emulation.setDeviceMetricsOverride", phone).empty() ||
        call("Emulation.setTouchEmulationEnabled", "{\"enabled\":true}").empty())
        return false;
    for (int i = 0; i < 750 && eval("document.readyState") != "complete"; ++i)  // 15 s
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return eval("document.readyState") == "complete";
}

std::string Browser::eval(const std::string& expression)
{
    const std::string answer =
        call("Runtime.evaluate", "{\"expression\":" + json_quote("Promise.resolve(" + expression + ").then(String)") +
                                     ",\"returnByValue\":true,\"awaitPromise\":true}");
    const bool threw = answer.find("\"exceptionDetails\"") != std::string::npos;
    if (threw)
        std::fprintf(stderr, "browser: %s threw: %s\n", expression.c_str(), answer.c_str());
    return threw ? "" : json_field(answer, "value");
}

bool Browser::tap(const std::string& label, double fraction)
{
    const std::string where = eval(
        "(() => { const e = [...document.querySelectorAll('button, label')].find(e => e.textContent.trim() === " +
        json_quote(label) + "); if (!e) return ''; const t = e.control || e; t.scrollIntoView({block: 'center'}); "
        "const r = t.getBoundingClientRect(); return (r.left + r.width * " + std::to_string(fraction) +
        ") + ' ' + (r.top + r.height / 2); })()");
    double x = 0.0, y = 0.0;
    if (std::sscanf(where.c_str(), "%lf %lf", &x, &y) != 2) {
        std::fprintf(stderr, "browser: nothing on the page says '%s'\n", label.c_str());
        return false;
    }
    const std::string start = "{\"type\":\"touchStart\",\"touchPoints\":[{\"x\":" + std::to_string(x) + ",\"y\":" +
                              std::to_string(y) + "}]}";
    return !call("Input.dispatchTouchEvent", start).empty() &&
           !call("Input.dispatchTouchEvent", "{\"type\":\"touchEnd\",\"touchPoints\":[]}").empty();
}
