// The program's own command line: /s (silent: no window, no question, no
// text; the exit code says how it went), /e<folder> (the destination) and /o
// (replace files in the way). A switch starts with '/' or '-', in any case;
// double quotes group and are removed, a backslash is an ordinary character
// (`/e"C:\my files\"` is the folder C:\my files\).
#pragma once
#include <string>

namespace sfx {

struct Switches {
    bool silent = false;
    bool overwrite = false;
    std::string destination;  // empty: the default folder
};

// Parses the words after the program's own name in `commandLine` (as
// GetCommandLineA gives it). False with `error` naming a word it does not know.
bool ParseSwitches(const char* commandLine, Switches& switches, std::string& error);

} // namespace sfx
