// Windows file services. Share modes are the system's own: FILE_SHARE_READ lets other readers
// in, 0 keeps every other opener out, and the mapped input cannot be overwritten meanwhile.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "file_layer.hpp"

namespace {

HANDLE as_handle(RomHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

RomHandle as_rom_handle(HANDLE handle) {
    return reinterpret_cast<RomHandle>(handle);
}

// Where a read of the view that raised an in-page error resumes, and whether it did.
thread_local CONTEXT* read_fault_landing = nullptr;
thread_local volatile bool read_faulted = false;

LONG CALLBACK on_in_page_error(EXCEPTION_POINTERS* exception) {
    if (read_fault_landing == nullptr ||
        exception->ExceptionRecord->ExceptionCode != EXCEPTION_IN_PAGE_ERROR) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    read_faulted = true;
    *exception->ContextRecord = *read_fault_landing;
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

int file_open_input(const char* name, RomShareMode share, RomHandle* file) {
    const HANDLE handle =
        CreateFileA(name, GENERIC_READ, share == ROM_SHARE_READ ? FILE_SHARE_READ : 0, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return 1;
    }
    // Only a disk file can be mapped; a pipe or a device is refused here.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return 1;
    }
    *file = as_rom_handle(handle);
    return 0;
}

int file_size(RomHandle file, std::uint32_t* size) {
    DWORD high = 0;
    const DWORD low = GetFileSize(as_handle(file), &high);
    // A file of 4 GiB or more has a high part; the image size cannot hold it.
    if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) {
        return 1;
    }
    *size = low;
    return 0;
}

int file_map(RomHandle file, std::uint32_t, RomHandle* mapping) {
    const HANDLE handle =
        CreateFileMappingA(as_handle(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (handle == nullptr) {
        return 1;
    }
    *mapping = as_rom_handle(handle);
    return 0;
}

int file_view(RomHandle mapping, std::uint32_t, const std::uint8_t** view) {
    const void* base = MapViewOfFile(as_handle(mapping), FILE_MAP_READ, 0, 0, 0);
    if (base == nullptr) {
        return 1;
    }
    *view = static_cast<const std::uint8_t*>(base);
    return 0;
}

int file_guarded_read(void (*read)(void* context), void* context) {
    // A page of the view that the disk or the network cannot deliver raises an in-page error
    // on access. The handler resumes execution where the context below was captured, with
    // read_faulted set, as if the capture had returned a second time.
    const PVOID handler = AddVectoredExceptionHandler(1, on_in_page_error);
    read_faulted = false;
    CONTEXT landing;
    RtlCaptureContext(&landing);
    if (!read_faulted) {
        read_fault_landing = &landing;
        read(context);
    }
    read_fault_landing = nullptr;
    if (handler != nullptr) {
        RemoveVectoredExceptionHandler(handler);
    }
    return read_faulted ? 1 : 0;
}

void file_unview(const std::uint8_t* view) {
    UnmapViewOfFile(view);
}

void file_unmap(RomHandle mapping, std::uint32_t) {
    CloseHandle(as_handle(mapping));
}

void file_close(RomHandle file) {
    CloseHandle(as_handle(file));
}

int file_write_output(const char* name, const std::uint8_t* data, std::size_t size) {
    // No sharing: a name that names a held input fails here, before anything is truncated.
    const HANDLE handle = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    const bool whole = size <= MAXDWORD &&
                       WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr) &&
                       written == size;
    const bool closed = CloseHandle(handle) != 0;
    return whole && closed ? 0 : 1;
}
