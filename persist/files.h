// Files read and written whole.
#pragma once
#include <string>

// The whole of a regular file (or a pipe) into *text. False, with "cannot
// read NAME: reason" in *error, when it cannot be opened or read, or is a
// folder.
bool readWholeFile(const std::string& name, std::string* text, std::string* error);
