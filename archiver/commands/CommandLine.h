// The command line of the entry: the command word, switches starting with `-`,
// the archive path, an optional folder ending in a backslash, then member
// names, file names or wildcards. Arguments with spaces go in double quotes.
#pragma once
#include <string>
#include <vector>

namespace lha {

struct CommandLine {
    char command = 0;          // l v t x e p a u m f d; 0 for echo
    bool overwrite = false;    // -o: extraction replaces existing files
    std::string method = "-lh5-";  // -m<n>: the method of members added; -s (or -m0) stores (-lh0-)
    bool recurse = false;      // -r: add the contents of folders
    std::string archive;
    std::string folder;        // destination (x, e) or base folder (a, u); ends in '\' or is empty
    std::vector<std::string> names;
    std::string echoText;      // the raw text after "echo "
};

// Fills `line` or returns false with `error` saying what is wrong.
bool ParseCommandLine(const char* text, CommandLine& line, std::string& error);

} // namespace lha
