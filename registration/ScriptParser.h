// The registry script language: tokenizer, root keys and the block interpreter
// that runs a key block in the register or the unregister pass.
#pragma once
#include <windows.h>
#include <stddef.h>

struct ReplacementMap;

// The cursor over an expanded script text; made and owned by the registration driver.
struct ScriptParser {
    const char* cursor;
    ReplacementMap* replacements;
};

// Every token is read into a caller's buffer of this many bytes.
constexpr size_t kTokenBufferSize = 4096;

// A `val` entry's name must fit this many bytes with its terminator; a longer
// one fails the run.
constexpr size_t kNameBufferSize = 260;

// The character after `text`, never past the terminating NUL: a lead byte just
// before the end of the text counts as a character of its own.
const char* NextChar(const char* text);

// Moves the cursor past spaces, tabs, carriage returns and line feeds.
void SkipBlanks(ScriptParser* parser);

// Reads the next token into `token` (kTokenBufferSize bytes); DISP_E_EXCEPTION
// when no token is left or it does not fit.
HRESULT ReadToken(ScriptParser* parser, char* token);

// The predefined key named by `name`, or null when the name is not a root key.
HKEY RootKeyFromName(const char* name);

// Interprets the key block that follows an opening brace, up to and past its
// closing brace, under `parent` (which stays the caller's).
HRESULT InterpretBlock(ScriptParser* parser, HKEY parent, BOOL registerPass, BOOL passive);

// Removes the key `name` under `parent` with everything beneath it.
LONG RemoveKeyTree(HKEY parent, const char* name);
