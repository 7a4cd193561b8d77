// s (and a u f m with -gw): self-extracting programs are not made yet.
#include "archiver/commands/Commands.h"

namespace lha {

int MakeSelfExtracting(const CommandLine&, Report& report)
{
    return report.Fail(kNotSupported, "self-extracting programs (s, -gw) are not supported yet");
}

} // namespace lha
