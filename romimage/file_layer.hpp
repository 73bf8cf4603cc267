// The platform's file services, as the ROM image library needs them. One backend file per
// platform implements these; the build picks one. Every call returning int gives 0 on success.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rom_image.hpp"

// Opens an existing regular file for reading, granting other openers what `share` allows.
// Never blocks: a FIFO or device is refused, and so is a file held against this sharing.
int file_open_input(const char* name, RomShareMode share, RomHandle* file);

// The file's length in bytes; fails for a file of 4 GiB or more, which the size cannot hold.
int file_size(RomHandle file, std::uint32_t* size);

// A read-only mapping of the whole file; an empty file cannot be mapped.
int file_map(RomHandle file, std::uint32_t size, RomHandle* mapping);

// A read-only view of the whole mapping from its first byte.
int file_view(RomHandle mapping, std::uint32_t size, const std::uint8_t** view);

// Runs `read` over a view; returns 0 when it finished, 1 when reading the view failed (the file
// shrank under the mapping, or the disk reported an error) and `read` was cut short.
int file_guarded_read(void (*read)(void* context), void* context);

void file_unview(const std::uint8_t* view);
void file_unmap(RomHandle mapping, std::uint32_t size);
void file_close(RomHandle file);

// Creates or truncates the named file with no sharing, writes all `size` bytes and closes it.
// Fails when the file cannot be had for writing, or any byte or the close fails.
int file_write_output(const char* name, const std::uint8_t* data, std::size_t size);
