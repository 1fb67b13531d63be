// What the console takes as one excluded extension, typed or read from a
// file: the text the engine compares a name's extension with.
#pragma once

#include <string>

// Trims blanks, drops a leading "*." or "." (the forms people type for "the
// extension"), and upper-cases. FALSE for a text that no file name could
// end with as its extension, or that the engine would ignore or misread:
// empty, holding a dot, a wildcard, a control character, ";" (the engine's
// old-list separator) or a character a Windows file name cannot hold.
bool CleanExtension(std::string& text);
