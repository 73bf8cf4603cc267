#include "rom_image.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_layer.hpp"

int open_rom_file(const char* name, RomShareMode share, RomFile* rom) {
    if (file_open_input(name, share, &rom->file) != 0) {
        rom->file = ROM_NO_HANDLE;
        return 1;
    }
    if (file_size(rom->file, &rom->size) != 0) {
        return 1;
    }
    if (file_map(rom->file, rom->size, &rom->mapping) != 0) {
        rom->mapping = ROM_NO_HANDLE;
        return 1;
    }
    if (file_view(rom->mapping, rom->size, &rom->view) != 0) {
        rom->view = nullptr;
        return 1;
    }
    return 0;
}

int load_nibble_image(NibbleImage* image, const std::uint8_t* view, std::uint32_t size) {
    // The form is told by content alone: an unpacked file never has a high nibble set.
    bool packed = false;
    for (std::uint32_t i = 0; i < size; ++i) {
        if (view[i] >= 0x10) {
            packed = true;
            break;
        }
    }
    std::size_t length = size;
    if (packed) {
        std::puts("Unpacking data...");
        if (length > SIZE_MAX / 2) {
            return 1;
        }
        length *= 2;
    }
    image->nibbles = nullptr;
    image->length = 0;
    auto* nibbles = static_cast<std::uint8_t*>(std::malloc(length == 0 ? 1 : length));
    if (nibbles == nullptr) {
        return 1;
    }
    if (packed) {
        // The lower address sits in the low four bits of each byte.
        for (std::uint32_t i = 0; i < size; ++i) {
            nibbles[2 * static_cast<std::size_t>(i)] = view[i] & 0x0F;
            nibbles[2 * static_cast<std::size_t>(i) + 1] = view[i] >> 4;
        }
    } else if (size != 0) {
        std::memcpy(nibbles, view, size);
    }
    image->nibbles = nibbles;
    image->length = length;
    return 0;
}

void close_rom_file(RomFile* rom) {
    if (rom->view != nullptr) {
        file_unview(rom->view);
    }
    if (rom->mapping != ROM_NO_HANDLE) {
        file_unmap(rom->mapping, rom->size);
    }
    if (rom->file != ROM_NO_HANDLE) {
        file_close(rom->file);
    }
    *rom = RomFile{};
}

int write_image_file(const char* name, const NibbleImage* image) {
    // The written file is always unpacked: the image buffer holds one nibble a byte already.
    return file_write_output(name, image->nibbles, image->length);
}

void free_nibble_image(NibbleImage* image) {
    std::free(image->nibbles);
    *image = NibbleImage{};
}
