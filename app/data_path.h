#pragma once

#include <string>

// Where a data file (the demo track) is: the path as given, relative to the
// working directory, if it is there; else the same relative path in the data
// folder of the build tree, for a program run from the build tree, or of the
// install (share/glowcam/ beside bin/). A path found nowhere comes back as
// given, so that the failure names what the user asked for.
std::string data_file_path(const std::string& path);
