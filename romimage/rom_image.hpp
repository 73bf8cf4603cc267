// ROM image files: open and map an input, build its nibble image, write an image out unpacked.
#pragma once

#include <cstddef>
#include <cstdint>

// A handle of the platform's file layer; ROM_NO_HANDLE means none is held.
using RomHandle = std::intptr_t;
inline constexpr RomHandle ROM_NO_HANDLE = -1;

// What other openers may do with the input while a tester holds it.
enum RomShareMode {
    ROM_SHARE_READ,  // others may read it; nobody may write it
    ROM_SHARE_NONE,  // nobody else may open it at all
};

// The open input of a tester. Created empty; after a failed open it holds exactly what was
// acquired, so that close_rom_file releases a complete, partial or failed open alike.
struct RomFile {
    RomHandle file = ROM_NO_HANDLE;
    RomHandle mapping = ROM_NO_HANDLE;
    const std::uint8_t* view = nullptr;
    std::uint32_t size = 0;
};

// One nibble (0..15) per byte, byte n holding the nibble at address n. The buffer is one
// allocation of exactly `length` bytes, owned by the caller and released with free_nibble_image.
struct NibbleImage {
    std::uint8_t* nibbles = nullptr;
    std::size_t length = 0;
};

// Opens the named existing file for reading with the given sharing and maps it read-only.
// Returns 0 with every field set; 1 when it cannot be opened or mapped (missing, not a regular
// file, empty, 4 GiB or larger, held by another opener).
int open_rom_file(const char* name, RomShareMode share, RomFile* rom);

// The longest image that any tester knows. A longer one is measured but never built: no buffer
// is allocated for a file that cannot be a ROM, whatever its size.
inline constexpr std::size_t MAX_IMAGE_NIBBLES = 0x40000;

// Results of load_nibble_image.
inline constexpr int LOAD_DONE = 0;        // built, or measured only when too long to be a ROM
inline constexpr int LOAD_NO_MEMORY = 1;   // the buffer cannot be allocated
inline constexpr int LOAD_READ_FAULT = 2;  // the mapped file could not be read (shrunk, I/O error)

// Builds the image from the mapped bytes: packed (two nibbles a byte, low nibble first) when any
// byte is 0x10 or more, which prints "Unpacking data..." once; unpacked otherwise. An image of
// more than MAX_IMAGE_NIBBLES gets its length and no buffer.
int load_nibble_image(NibbleImage* image, const std::uint8_t* view, std::uint32_t size);

// Releases what the record holds (view, mapping, file, in that order) and leaves it empty.
void close_rom_file(RomFile* rom);

// Creates or truncates the named file and writes the image into it, one nibble a byte.
// Returns 0 when every byte was written and the file closed cleanly; 1 otherwise.
int write_image_file(const char* name, const NibbleImage* image);

// Releases the image buffer and leaves the record empty.
void free_nibble_image(NibbleImage* image);
