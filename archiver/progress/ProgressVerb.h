// What the progress window says a command does, one row per command that
// shows it. Commands without a row never show the window: l and v (headers
// only), echo, and s, whose copy into the program counts no progress and
// could not be cancelled.
#pragma once

namespace lha {

// "Extracting", "Adding", ...; null for a command that shows no window.
const char* ProgressVerb(char command);

} // namespace lha
