// The command line of the entry, in the archiver library family's language:
//
//   [command] {switch} archive [base-folder] {name | @list | base-folder} {switch}
//
// Words split at blanks outside double quotes (quotes group and join, a
// backslash is an ordinary character); a switch starts with '-' or '/' (the
// first switch word decides which); one word may hold several switches
// (`-a1m1nx1jf0`). A word ending in a backslash (or a drive alone) is a base
// folder: the names after it, up to the next one, are taken in it. `@file`
// is replaced by the words of a response file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lha {

// A base folder and the names that follow it. `folder` is empty (the current
// folder) or ends in a backslash; `names` may be empty (every member or file).
struct NameGroup {
    std::string folder;
    std::vector<std::string> names;
};

struct CommandLine {
    char command = 'l';            // a u f m d e x l v t p s; 0 for echo
    std::string archive;           // with ".lzh" added when its last component has no '.'
    std::vector<NameGroup> groups; // at least one after a successful parse

    // One-letter switches, each resolved to what it means for this command.
    bool keepFolders = false;      // -x (x: on)
    int recursion = 0;             // -r0, -r1, -r2
    bool precise = false;          // -p
    bool ignoreTime = false;       // -c
    int questions = 0;             // -m0 nothing replaced, -m1 (-y, x) yes to all, -m2 free .000-.999 names
    int attributes = 0;            // -a: 0 plain files and no hidden/system sources, 1 and 2 every file, attributes kept
    bool folderMembers = false;    // -d
    bool useWorkFolder = false;    // -w, -w1, -w<folder>
    std::string workFolder;        // -w<folder> (empty: the current folder)
    bool archiveTime = false;      // -t
    int store = 0;                 // -z0 pack, -z1 store all, -z2 store packed kinds (and storeExtensions)
    std::vector<std::string> storeExtensions;  // -z<ext>, upper case, without the dot ("" for -z.)
    std::string method = "-lh5-";  // -jm<n>, -o<n>
    int headerLevel = 2;           // -h<n>; -o1 makes it 1
    int noProgress = 0;            // -n
    bool quietSkipped = false;     // -s

    // Two-letter switches.
    std::string storedFolder;      // -jb<folder>: ends in a backslash when set
    bool replaceInTheWay = false;  // -jyo
    bool exclusive = false;        // -jso
    bool countFailures = false;    // -jsc
    bool stopOnWarning = false;    // -jse

    // Self-extracting programs (s, a -gw<n>).
    int sfxKind = -1;              // -gw<n>; -1 when not asked for
    std::string sfxProgram;        // -gr<name>

    std::string echoText;          // echo: the raw text after "echo "

    // Whether a file in the way is replaced without asking (-m1, -y, -jyo, x).
    bool ReplacesInTheWay() const { return questions == 1 || replaceInTheWay; }
    // Every name of every group, in order.
    std::vector<std::string> AllNames() const;
};

enum class ParseFailure {
    None,
    BadLine,       // kBadCommandLine
    ResponseFile,  // kResponseRead
    NoNames,       // kNotFileName: d without names
};

// Fills `line` or returns the failure with `error` saying what is wrong.
ParseFailure ParseCommandLine(const char* text, CommandLine& line, std::string& error);

} // namespace lha
