#include "app/osc.h"

#include "core/printable.h"

#include <lo/lo.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Received {
    Action action;
    sockaddr_in from;
};

struct Osc {
    int socket = -1;
    int wake[2] = {-1, -1};  // written once to end the thread
    std::thread thread;
    std::mutex lock;
    std::vector<Received> inbox;           // guarded by lock
    std::vector<sockaddr_in> to_answer;    // main thread
    std::chrono::steady_clock::time_point last_complaint{};  // receiving thread
};
Osc osc;

constexpr const char* prefix = "/glowcam/";

// An argument's value. liblo's arguments lie in the message at four-byte
// steps, not always aligned as its union would need: copy, never dereference.
template <typename T>
T value_of(const lo_arg* arg)
{
    T v;
    std::memcpy(&v, static_cast<const void*>(arg), sizeof v);
    return v;
}

// The number in an argument of any of OSC's numeric types.
bool number_of(char type, const lo_arg* arg, double* out)
{
    switch (type) {
    case LO_INT32: *out = value_of<int32_t>(arg); return true;
    case LO_FLOAT: *out = value_of<float>(arg); return true;
    case LO_DOUBLE: *out = value_of<double>(arg); return true;
    case LO_INT64: *out = static_cast<double>(value_of<int64_t>(arg)); return true;
    case LO_TRUE: *out = 1.0; return true;
    case LO_FALSE: *out = 0.0; return true;
    default: return false;
    }
}

void complain(const std::string& why)
{
    auto now = std::chrono::steady_clock::now();
    if (now - osc.last_complaint < std::chrono::seconds(1))
        return;
    osc.last_complaint = now;
    std::fprintf(stderr, "glowcam: OSC message ignored: %s\n", why.c_str());
}

void receive_loop()
{
    std::vector<unsigned char> buffer(65536);
    pollfd fds[2] = {{osc.socket, POLLIN, 0}, {osc.wake[0], POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        Received r{};
        socklen_t from_size = sizeof r.from;
        ssize_t got = recvfrom(osc.socket, buffer.data(), buffer.size(), 0,
                               reinterpret_cast<sockaddr*>(&r.from), &from_size);
        if (got < 0)
            continue;
        std::string why;
        if (!osc_read_message(buffer.data(), static_cast<size_t>(got), &r.action, &why)) {
            complain(why);
            continue;
        }
        std::lock_guard<std::mutex> hold(osc.lock);
        osc.inbox.push_back(r);
    }
}

void close_all()
{
    for (int* fd : {&osc.socket, &osc.wake[0], &osc.wake[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

}  // namespace

bool osc_read_message(const void* data, size_t size, Action* out, std::string* why)
{
    int result = 0;
    // liblo's parser takes a writable buffer and reads it only.
    void* bytes = const_cast<void*>(data);
    const char* path = size > 0 ? lo_get_path(bytes, static_cast<ssize_t>(size)) : nullptr;
    lo_message message = path ? lo_message_deserialise(bytes, size, &result) : nullptr;
    if (!message) {
        *why = "not an OSC message";
        return false;
    }
    const std::string address = printable(path);
    bool ok = false;
    if (address.rfind(prefix, 0) != 0) {
        *why = "unknown address " + address;
    } else {
        const int count = lo_message_get_argc(message);
        const char* types = lo_message_get_types(message);
        lo_arg** argv = lo_message_get_argv(message);
        double value = 0.0;
        if (count > 1 || (count == 1 && !number_of(types[0], argv[0], &value)))
            *why = address + ": wants one number, not '" + types + "'";
        else
            ok = action_make(address.substr(std::strlen(prefix)), count == 1, value, out, why);
        if (!ok && why->rfind("unknown action", 0) == 0)
            *why = "unknown address " + address;
        else if (!ok && why->rfind(address, 0) != 0)
            *why = address + ": " + *why;
    }
    lo_message_free(message);
    return ok;
}

bool osc_start(const std::string& host, int port, std::string* error)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    const std::string name = host + ":" + std::to_string(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        *error = "cannot listen for OSC on " + name + ": not an IPv4 address";
        return false;
    }
    osc.socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (osc.socket < 0 || bind(osc.socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        pipe2(osc.wake, O_CLOEXEC) != 0) {
        *error = "cannot listen for OSC on " + name + ": " + std::strerror(errno);
        close_all();
        return false;
    }
    osc.thread = std::thread(receive_loop);
    return true;
}

void osc_stop()
{
    if (osc.thread.joinable()) {
        char byte = 0;
        if (write(osc.wake[1], &byte, 1) != 1)
            std::perror("glowcam: cannot stop the OSC thread");
        osc.thread.join();
    }
    close_all();
    osc.inbox.clear();
    osc.to_answer.clear();
}

std::vector<Action> osc_take()
{
    std::vector<Received> taken;
    {
        std::lock_guard<std::mutex> hold(osc.lock);
        taken.swap(osc.inbox);
    }
    std::vector<Action> actions;
    for (const Received& r : taken) {
        actions.push_back(r.action);
        bool known = false;
        for (const sockaddr_in& a : osc.to_answer)
            known |= a.sin_port == r.from.sin_port && a.sin_addr.s_addr == r.from.sin_addr.s_addr;
        if (!known)
            osc.to_answer.push_back(r.from);
    }
    return actions;
}

void osc_answer(const PlayState& state)
{
    if (osc.to_answer.empty())
        return;
    lo_message message = lo_message_new();
    lo_message_add_int32(message, state.mode);
    lo_message_add_int32(message, state.hold ? 1 : 0);
    lo_message_add_float(message, static_cast<float>(state.sensitivity));
    lo_message_add_int32(message, state.blackout ? 1 : 0);
    size_t size = 0;
    void* bytes = lo_message_serialise(message, "/glowcam/state", nullptr, &size);
    for (const sockaddr_in& to : osc.to_answer)
        sendto(osc.socket, bytes, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    std::free(bytes);
    lo_message_free(message);
    osc.to_answer.clear();
}
