#pragma once

// Before Qt connects to a display, which it does with no time limit: is there a
// display named, and does it answer? A stopped X server, or a socket that
// accepts and never replies, would otherwise keep the program waiting for ever.

#include <chrono>
#include <optional>
#include <string>

struct DisplayVerdict {
    enum Kind { Usable, NoneNamed, Silent } kind = Usable;
    std::string named; // "DISPLAY=:0": the display that does not answer
};

// Judges the displays the window's platform may use, as Qt would pick it from the
// arguments (-platform, -display) and the environment. A display that refuses the
// connection counts as usable: Qt then says so itself, at once.
DisplayVerdict JudgeDisplays(int argc, char **argv, std::chrono::milliseconds timeout);
