#pragma once

#include <string>

// Outside input echoed in a one-line message: control characters would
// break the line (or the terminal), so they are shown as '?'.
std::string printable(const std::string& text);
