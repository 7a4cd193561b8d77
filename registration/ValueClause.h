// Value clauses of the registry script language: "=" type-letter value-text.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include "registration/ScriptParser.h"

// The variant type that a type letter stands for, or VT_EMPTY for none.
VARTYPE ValueTypeFromLetter(const char* letter);

// Called with the "=" token in `token`: reads the type letter and the value
// text, writes the value `name` (null: the default value) of `key`, and leaves
// the token after the clause in `token`. DISP_E_EXCEPTION when the registry
// refuses the value or the type letter is unknown; a "d" text that is no number
// writes nothing and does not fail.
HRESULT WriteValueClause(ScriptParser* parser, HKEY key, const char* name, char* token);

// When `token` holds "=", reads past the type letter and the value text and
// leaves the token after them in `token`; otherwise does nothing.
HRESULT SkipValueClause(ScriptParser* parser, char* token);
