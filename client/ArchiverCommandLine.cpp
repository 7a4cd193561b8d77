#include "client/ArchiverCommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "common/UniqueResource.h"

namespace {

class ArgumentVector {
public:
    explicit ArgumentVector(const wchar_t* commandLine) : arguments_(CommandLineToArgvW(commandLine, &count_)) {}

    int Count() const { return arguments_ ? count_ : 0; }
    const wchar_t* operator[](int index) const { return arguments_.get()[index]; }

private:
    int count_ = 0;
    UniqueResource<wchar_t**, LocalFree> arguments_;
};

} // namespace

std::wstring ArchiverCommandLine(const wchar_t* programCommandLine)
{
    ArgumentVector arguments(programCommandLine);
    std::wstring joined;
    for (int i = 1; i < arguments.Count(); ++i) {
        if (i > 1) joined += L' ';
        joined += arguments[i];
    }
    return joined;
}
