#include "archiver/progress/ProgressVerb.h"

namespace lha {

namespace {

struct VerbRow {
    char command;
    const char* verb;
};

const VerbRow kVerbs[] = {
    {'a', "Adding"},
    {'u', "Updating"},
    {'f', "Freshening"},
    {'m', "Moving"},
    {'d', "Deleting"},
    {'e', "Extracting"},
    {'x', "Extracting"},
    {'t', "Testing"},
    {'p', "Printing"},
    {'s', "Making a self-extracting program"},
};

} // namespace

const char* ProgressVerb(char command)
{
    for (const VerbRow& row : kVerbs)
        if (row.command == command) return row.verb;
    return nullptr;
}

} // namespace lha
