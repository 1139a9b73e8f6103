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

// One message, serialised as it would travel: the values as lo_message_add takes them.
template <class... Values>
std::string wire(const char* path, const char* types, Values... values)
{
    lo_message m = lo_message_new();
    lo_message_add(m, types, values...);
    size_t size = 0;
    void* bytes = lo_message_serialise(m, path, nullptr, &size);
    std::string out(static_cast<const char*>(bytes), size);
    std::free(bytes);
    lo_message_free(m);
    return out;
}

}  // namespace

TEST(Osc, MessagesBecomeActionsWithIntegersOrFloats)
{
    const std::string mode1 = wire("/glowcam/mode", "i", 1);
    const struct { std::string bytes; ActionKind kind; double value; std::string why; } cases[] = {
        {wire("/glowcam/mode", "i", 2), ActionKind::mode, 2, ""}, {wire("/glowcam/mode", "f", 1.0), ActionKind::mode, 1, ""},
        {wire("/glowcam/next", ""), ActionKind::next, 0, ""}, {wire("/glowcam/previous", ""), ActionKind::previous, 0, ""},
        {wire("/glowcam/hold", "f", 1.0), ActionKind::hold, 1, ""}, {wire("/glowcam/hold", "i", 0), ActionKind::hold, 0, ""},
        {wire("/glowcam/swell", ""), ActionKind::swell, 0, ""},
        {wire("/glowcam/sensitivity", "f", 2.5), ActionKind::sensitivity, 2.5, ""},
        {wire("/glowcam/sensitivity", "i", 4), ActionKind::sensitivity, 4, ""},
        {wire("/glowcam/blackout", "i", 1), ActionKind::blackout, 1, ""},
        {wire("/glowcam/blackout", "F"), ActionKind::blackout, 0, ""}, {wire("/glowcam/hold", "T"), ActionKind::hold, 1, ""},
        {wire("/glowcam/mode", "h", int64_t{2}), ActionKind::mode, 2, ""},
        {wire("/glowcam/mode", "d", 1.0), ActionKind::mode, 1, ""},
        {wire("/glowcam/jump", ""), {}, 0, "unknown address /glowcam/jump"},
        {wire("/other/mode", "i", 1), {}, 0, "unknown address /other/mode"},
        {wire("/glowcam/mode", "i", 3), {}, 0, "/glowcam/mode: mode wants 0, 1 or 2, not 3"},
        {wire("/glowcam/mode", ""), {}, 0, "/glowcam/mode: mode needs a value"},
        {wire("/glowcam/mode", "s", "1"), {}, 0, "/glowcam/mode: wants one number, not 's'"},
        {wire("/glowcam/mode", "ii", 1, 2), {}, 0, "/glowcam/mode: wants one number, not 'ii'"},
        {wire("/glowcam/next", "i", 1), {}, 0, "/glowcam/next: next takes no value"},
        {wire("/glowcam/sensitivity", "f", -1.0), {}, 0, "/glowcam/sensitivity: sensitivity wants from 0 to 4, not -1"},
        {wire("/glowcam/blackout", "f", 0.5), {}, 0, "/glowcam/blackout: blackout wants on or off, not 0.5"},
        {"", {}, 0, "not an OSC message"}, {mode1.substr(0, 3), {}, 0, "not an OSC message"},
        {mode1.substr(0, mode1.size() - 2), {}, 0, "not an OSC message"}};
    for (const auto& c : cases) {
        Action a{};
        std::string why;
        EXPECT_EQ(osc_read_message(c.bytes.data(), c.bytes.size(), &a, &why), c.why.empty()) << c.why;
        EXPECT_TRUE(c.why.empty() ? a.kind == c.kind && a.value == c.value : why == c.why) << c.why << ": " << why;
    }
}
