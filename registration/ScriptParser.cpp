#include "registration/ScriptParser.h"
#include "registration/RegistryScriptTables.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Appends the whole character [from, to) when it leaves room for the terminator.
bool AppendCharacter(char* token, size_t* length, const char* from, const char* to)
{
    const size_t bytes = static_cast<size_t>(to - from);
    if (*length + bytes + 1 > kTokenBufferSize) return false;
    for (size_t i = 0; i < bytes; ++i) token[(*length)++] = from[i];
    return true;
}

// Unquoted: everything up to the next blank or the end of the text. A token
// that does not fit the buffer fails rather than being cut.
HRESULT ReadPlainToken(ScriptParser* parser, char* token)
{
    size_t length = 0;
    const char* c = parser->cursor;
    while (*c && !IsBlank(*c)) {
        const char* next = NextChar(c);
        if (!AppendCharacter(token, &length, c, next)) return DISP_E_EXCEPTION;
        c = next;
    }
    token[length] = '\0';
    parser->cursor = c;
    return S_OK;
}

// Quoted: up to the closing quote, a doubled quote standing for one quote.
// Each character is stored only while the stored bytes plus 2 stay below the
// buffer size, so a double-byte character is never split.
HRESULT ReadQuotedToken(ScriptParser* parser, char* token)
{
    size_t length = 0;
    const char* c = NextChar(parser->cursor);
    for (;;) {
        if (!*c) return DISP_E_EXCEPTION;
        if (*c == '\'') {
            const char* after = NextChar(c);
            if (*after != '\'') {
                token[length] = '\0';
                parser->cursor = after;
                return S_OK;
            }
            c = after;
        }
        const char* next = NextChar(c);
        if (length + 2 >= kTokenBufferSize) return DISP_E_EXCEPTION;
        if (!AppendCharacter(token, &length, c, next)) return DISP_E_EXCEPTION;
        c = next;
    }
}

}  // namespace

const char* NextChar(const char* text)
{
    if (!*text) return text;
    const char* next = CharNextA(text);
    // CharNextA may step over the NUL after a lone lead byte; never leave the text.
    if (next > text + 1 && !text[1]) return text + 1;
    if (next <= text) return text + 1;
    return next;
}

void SkipBlanks(ScriptParser* parser)
{
    while (IsBlank(*parser->cursor)) parser->cursor = NextChar(parser->cursor);
}

HRESULT ReadToken(ScriptParser* parser, char* token)
{
    SkipBlanks(parser);
    if (!*parser->cursor) return DISP_E_EXCEPTION;
    if (*parser->cursor != '\'') return ReadPlainToken(parser, token);
    return ReadQuotedToken(parser, token);
}

HKEY RootKeyFromName(const char* name)
{
    for (const RootKeyEntry& entry : RootKeys) {
        if (lstrcmpiA(name, entry.name) == 0) return entry.key;
    }
    return nullptr;
}
