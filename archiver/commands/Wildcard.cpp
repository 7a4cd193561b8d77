#include "archiver/commands/Wildcard.h"

#include "archiver/files/AnsiText.h"
#include "archiver/format/MemberName.h"

namespace lha {

namespace {

bool SameCharacter(const std::string& a, size_t atA, size_t lengthA, const std::string& b, size_t atB, size_t lengthB)
{
    if (lengthA != lengthB) return false;
    if (lengthA == 2) return a.compare(atA, 2, b, atB, 2) == 0;
    return AsciiUpper(a[atA]) == AsciiUpper(b[atB]);
}

// Iterative matching with one backtrack point for the latest '*': linear in
// practice, and never recursive however many stars a pattern has.
bool Match(const std::string& pattern, const std::string& text)
{
    size_t p = 0, t = 0;
    size_t starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        size_t stepT = CharLength(text.data(), text.size(), t);
        if (p < pattern.size()) {
            size_t stepP = CharLength(pattern.data(), pattern.size(), p);
            if (stepP == 1 && pattern[p] == '*') {
                starP = ++p;
                starT = t;
                continue;
            }
            if ((stepP == 1 && pattern[p] == '?') || SameCharacter(pattern, p, stepP, text, t, stepT)) {
                p += stepP;
                t += stepT;
                continue;
            }
        }
        if (starP == std::string::npos) return false;
        p = starP;
        starT += CharLength(text.data(), text.size(), starT);
        t = starT;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string WithoutTrailingSeparator(const std::string& path)
{
    if (EndsWithChar(path, '\\')) return path.substr(0, path.size() - 1);
    return path;
}

bool HasSeparator(const std::string& text)
{
    for (size_t at = 0; at < text.size(); at += CharLength(text.data(), text.size(), at))
        if (IsSingle(text, at, '\\')) return true;
    return false;
}

bool SelectedBy(const std::string& rawPattern, const std::string& path, bool precise)
{
    std::string pattern = WithoutTrailingSeparator(MemberNameForPath(rawPattern));
    if (pattern.empty()) return false;
    if (Match(pattern, path)) return true;
    if (precise) return false;
    if (!HasSeparator(pattern) && Match(pattern, LastComponent(path))) return true;
    std::string folder;
    for (const std::string& component : PathComponents(path)) {
        if (!folder.empty() && Match(pattern, folder)) return true;
        folder += folder.empty() ? component : "\\" + component;
    }
    return false;
}

} // namespace


bool IsSelected(const std::vector<std::string>& patterns, const std::string& memberPath, bool precise)
{
    if (patterns.empty()) return true;
    std::string path = WithoutTrailingSeparator(memberPath);
    for (const std::string& pattern : patterns)
        if (SelectedBy(pattern, path, precise)) return true;
    return false;
}

const NameGroup* SelectingGroup(const CommandLine& line, const std::string& memberPath)
{
    for (const NameGroup& group : line.groups)
        if (IsSelected(group.names, memberPath, line.precise)) return &group;
    return nullptr;
}

bool HasWildcard(const std::string& name)
{
    for (size_t at = 0; at < name.size(); at += CharLength(name.data(), name.size(), at))
        if (IsSingle(name, at, '*') || IsSingle(name, at, '?')) return true;
    return false;
}

bool MatchesPattern(const std::string& pattern, const std::string& text) { return Match(pattern, text); }

} // namespace lha
