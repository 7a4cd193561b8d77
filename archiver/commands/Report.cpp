#include "archiver/commands/Report.h"

namespace lha {

int Report::Fail(int code, const char* message)
{
    out_.Printf("%s\n", message);
    Raise(code);
    return code_;
}

} // namespace lha
