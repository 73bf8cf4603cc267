// The platform's part in opening captures and the image: file identity and locking.
#pragma once

#include <cstdio>

// Opens a capture for binary reading by the name as given; a folder is no capture and fails.
std::FILE* open_source(const char* name);

// Opens the image for binary writing, created or truncated to 0 bytes. The file is locked
// against the testers before it is truncated, and stays locked until it is closed: a tester
// never reads a half-written image, and an image a tester still holds is never cut.
std::FILE* open_destination(const char* name);

// True when the stream is an interactive terminal or console.
bool is_terminal(std::FILE* stream);

// True when both names exist and name the same regular file, by the same or another path.
// Devices and pipes are never the same file: writing to them truncates nothing.
bool same_file(const char* first, const char* second);
