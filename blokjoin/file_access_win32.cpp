// Windows file identity and sharing for the capture converter.
#include <windows.h>

#include <io.h>
#include <share.h>

#include "file_access.hpp"

std::FILE* open_source(const char* name) {
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return nullptr;
    }
    return std::fopen(name, "rb");
}

std::FILE* open_destination(const char* name) {
    // Denying others both reading and writing is checked before the file is truncated: an
    // image that a tester holds is never cut, and no tester opens it while it is written.
    return _fsopen(name, "wb", _SH_DENYRW);
}

bool is_terminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

namespace {

// The volume serial number and file index that identify a file whatever path leads to it.
bool identify(const char* name, BY_HANDLE_FILE_INFORMATION* info) {
    const HANDLE handle =
        CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileType(handle) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(handle, info) != 0 &&
                       (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(handle);
    return known;
}

}  // namespace

bool same_file(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return identify(first, &a) && identify(second, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}
