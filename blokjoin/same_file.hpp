// Whether two names lead to one and the same existing file: the platform's file identity.
#pragma once

// True when both names exist and name the same regular file, by the same or another path.
// Devices and pipes are never the same file: writing to them truncates nothing.
bool same_file(const char* first, const char* second);
