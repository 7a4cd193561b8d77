// The switches of the command language, one row each: their letters, the
// values they take and what they set. A switch word holds one or more
// switches after its prefix ("-a1m1nx1jf0"); names of two or three letters
// are matched before shorter ones ("-jso1" is jso with 1). Where two switches
// set the same thing, the later one counts.
#pragma once
#include "archiver/commands/CommandLine.h"

#include <string>

namespace lha {

// What the words so far have settled that the line alone cannot show.
struct SwitchState {
    char switchCharacter = 0;  // '-' or '/': the first switch word's
    int literal = 0;           // --1: '@' starts no response file; --2: nor does '-' start a switch
    int fullNames = -1;        // -x as given (-1: the command's default)
    int questions = -1;        // -m, -y as given
};

// Applies the switches of `word` (its prefix included). `name` is set by
// -gb<name>, a name whatever its first character. False with `error` naming
// the switch for an unknown letter or a value out of its range.
bool ApplySwitchWord(const std::string& word, CommandLine& line, SwitchState& state, std::string& name,
                     std::string& error);

// Settles what depends on the command (x keeps folders and replaces files in
// the way unless told otherwise) and checks values that need the whole line:
// a -jb folder must be a plain relative path. False with `error`.
bool ResolveSwitches(CommandLine& line, const SwitchState& state, std::string& error);

} // namespace lha
