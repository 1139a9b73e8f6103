// OSC as a control surface sends it: the show's messages with integer or
// float values, and everything else refused with its reason. (The round trip
// over UDP to the running show is in the play test.)

#include "app/osc.h"

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// One message, serialised as it would travel.
std::string wire(const char* path, lo_message m)
{
    size_t size = 0;
    void* bytes = lo_message_serialise(m, path, nullptr, &size);
    std::string out(static_cast<const char*>(bytes), size);
    std::free(bytes);
    lo_message_free(m);
    return out;
}

lo_message with_int(int v) { lo_message m = lo_message_new(); lo_message_add_int32(m, v); return m; }
lo_message with_float(float v) { lo_message m = lo_message_new(); lo_message_add_float(m, v); return m; }
lo_message with_int64(int64_t v) { lo_message m = lo_message_new(); lo_message_add_int64(m, v); return m; }
lo_message with_double(double v) { lo_message m = lo_message_new(); lo_message_add_double(m, v); return m; }
lo_message with_bool(bool v)
{
    lo_message m = lo_message_new();
    v ? lo_message_add_true(m) : lo_message_add_false(m);
    return m;
}
lo_message with_string(const char* v) { lo_message m = lo_message_new(); lo_message_add_string(m, v); return m; }

std::string read(const std::string& bytes, Action* a)
{
    std::string why;
    return osc_read_message(bytes.data(), bytes.size(), a, &why) ? "" : why;
}

}  // namespace

TEST(Osc, MessagesBecomeActionsWithIntegersOrFloats)
{
    struct Good { const char* path; lo_message m; ActionKind kind; double value; };
    const Good good[] = {
        {"/glowcam/mode", with_int(2), ActionKind::mode, 2}, {"/glowcam/mode", with_float(1.0f), ActionKind::mode, 1},
        {"/glowcam/next", lo_message_new(), ActionKind::next, 0},
        {"/glowcam/previous", lo_message_new(), ActionKind::previous, 0},
        {"/glowcam/hold", with_float(1.0f), ActionKind::hold, 1}, {"/glowcam/hold", with_int(0), ActionKind::hold, 0},
        {"/glowcam/swell", lo_message_new(), ActionKind::swell, 0},
        {"/glowcam/sensitivity", with_float(2.5f), ActionKind::sensitivity, 2.5},
        {"/glowcam/sensitivity", with_int(4), ActionKind::sensitivity, 4},
        {"/glowcam/blackout", with_int(1), ActionKind::blackout, 1},
        {"/glowcam/blackout", with_bool(false), ActionKind::blackout, 0},
        {"/glowcam/hold", with_bool(true), ActionKind::hold, 1},
        {"/glowcam/mode", with_int64(2), ActionKind::mode, 2}, {"/glowcam/mode", with_double(1.0), ActionKind::mode, 1}};
    for (const Good& g : good) {
        Action a{};
        EXPECT_EQ(read(wire(g.path, g.m), &a), "") << g.path;
        EXPECT_TRUE(a.kind == g.kind && a.value == g.value) << g.path << " " << a.value;
    }

    struct Bad { const char* path; lo_message m; const char* why; };
    const Bad bad[] = {
        {"/glowcam/jump", lo_message_new(), "unknown address /glowcam/jump"},
        {"/other/mode", with_int(1), "unknown address /other/mode"},
        {"/glowcam/mode", with_int(3), "/glowcam/mode: mode wants 0, 1 or 2, not 3"},
        {"/glowcam/mode", lo_message_new(), "/glowcam/mode: mode needs a value"},
        {"/glowcam/mode", with_string("1"), "/glowcam/mode: wants one number, not 's'"},
        {"/glowcam/next", with_int(1), "/glowcam/next: next takes no value"},
        {"/glowcam/sensitivity", with_float(-1.0f), "/glowcam/sensitivity: sensitivity wants from 0 to 4, not -1"},
        {"/glowcam/blackout", with_float(0.5f), "/glowcam/blackout: blackout wants on or off, not 0.5"}};
    for (const Bad& b : bad) {
        Action a{};
        EXPECT_EQ(read(wire(b.path, b.m), &a), b.why);
    }
    lo_message two = with_int(1);
    lo_message_add_int32(two, 2);
    Action a{};
    EXPECT_EQ(read(wire("/glowcam/mode", two), &a), "/glowcam/mode: wants one number, not 'ii'");
    const std::string cut = wire("/glowcam/mode", with_int(1));
    for (size_t n : {size_t{0}, size_t{3}, cut.size() - 2})
        EXPECT_EQ(read(cut.substr(0, n), &a), "not an OSC message") << n;
}
