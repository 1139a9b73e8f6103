// The manual is made from --help at build time. Both list the same options,
// each of them one the command line takes, and the manual has the sections a
// user looks for.
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace {

// What the pattern's first group matches in the text.
std::set<std::string> matches(const std::string& text, const char* pattern)
{
    std::set<std::string> found;
    const std::regex re(pattern, std::regex::multiline);
    for (std::sregex_iterator i(text.begin(), text.end(), re), end; i != end; ++i)
        found.insert((*i)[1]);
    return found;
}

// The options a text offers: those that begin a line of the option list or
// stand in the synopsis's brackets.
std::set<std::string> offered_options(const std::string& text) { return matches(text, R"((?:^ *|\[|\| )(--[a-z][a-z0-9-]*))"); }

// The manual's text with roff's escapes for hyphens and fonts taken out.
std::string manual_text()
{
    std::string roff = read_file(GLOWCAM_BINARY_DIR "/resources/glowcam.1");
    roff = std::regex_replace(roff, std::regex(R"(\\f[BIRP]|\\[,/&])"), "");
    return std::regex_replace(roff, std::regex(R"(\\-)"), "-");
}

TEST(Manual, ListsTheOptionsOfHelpAndOfTheCommandLine)
{
    const ProcessResult help = run_process({glowcam_exe(), "--help"});
    ASSERT_EQ(help.exit_code, 0);
    const std::string manual = manual_text();
    ASSERT_FALSE(manual.empty()) << "no manual in the build tree";

    // The options the parser compares its arguments with.
    const auto parsed = matches(read_file(GLOWCAM_SOURCE_DIR "/app/cmdline.cpp"), R"(arg == "(--[a-z0-9-]+)\")");
    ASSERT_GE(parsed.size(), 15u) << "the parser's options were not found";

    EXPECT_EQ(offered_options(help.out), parsed) << "--help and the command line";
    EXPECT_EQ(offered_options(manual), parsed) << "the manual and the command line";

    const ProcessResult version = run_process({glowcam_exe(), "--version"});
    EXPECT_NE(manual.find("\"" + version.out.substr(0, version.out.size() - 1) + "\""), std::string::npos)
        << version.out;
    for (const char* part : {".SH NAME", ".SH SYNOPSIS", ".SH DESCRIPTION", "Exit status", "27", "255", ".SH FILES",
                             "glowcam.conf", ".SH EXAMPLES", "--render show.webm", "--virtual-camera /dev/video",
                             "--audio-in monitor", "F11", "Escape"})
        EXPECT_NE(manual.find(part), std::string::npos) << part;
}

}  // namespace
