#include "rom_image.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_layer.hpp"
#include "unpack.hpp"

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

// A packed file of up to 4 GiB - 1 bytes has twice as many nibbles.
static_assert(sizeof(std::size_t) >= 8, "image lengths need 33 bits");

namespace {

struct Scan {
    const std::uint8_t* view;
    std::uint32_t size;
    bool packed;
};

// The form is told by content alone: an unpacked file never has a high nibble set. Eight bytes
// are tested at a time; the first high nibble ends the scan.
void scan_form(void* context) {
    auto* scan = static_cast<Scan*>(context);
    std::uint32_t i = 0;
    for (; i + 8 <= scan->size; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, scan->view + i, 8);
        if ((eight & 0xF0F0F0F0F0F0F0F0u) != 0) {
            scan->packed = true;
            return;
        }
    }
    for (; i < scan->size; ++i) {
        if (scan->view[i] >= 0x10) {
            scan->packed = true;
            return;
        }
    }
}

struct Unpack {
    const std::uint8_t* view;
    std::uint32_t size;
    bool packed;
    std::uint8_t* nibbles;
};

void unpack(void* context) {
    const auto* job = static_cast<const Unpack*>(context);
    if (!job->packed) {
        std::memcpy(job->nibbles, job->view, job->size);
        return;
    }
    unpack_nibbles(job->view, job->size, job->nibbles);
}

}  // namespace

int load_nibble_image(NibbleImage* image, const std::uint8_t* view, std::uint32_t size) {
    *image = NibbleImage{};
    Scan scan{view, size, false};
    if (file_guarded_read(scan_form, &scan) != 0) {
        return LOAD_READ_FAULT;
    }
    std::size_t length = size;
    if (scan.packed) {
        std::puts("Unpacking data...");
        length *= 2;
    }
    if (length > MAX_IMAGE_NIBBLES) {
        image->length = length;
        return LOAD_DONE;
    }
    auto* nibbles = static_cast<std::uint8_t*>(std::malloc(length == 0 ? 1 : length));
    if (nibbles == nullptr) {
        return LOAD_NO_MEMORY;
    }
    Unpack job{view, size, scan.packed, nibbles};
    if (size != 0 && file_guarded_read(unpack, &job) != 0) {
        std::free(nibbles);
        return LOAD_READ_FAULT;
    }
    image->nibbles = nibbles;
    image->length = length;
    return LOAD_DONE;
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
