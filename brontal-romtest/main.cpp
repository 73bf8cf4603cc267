// brontal-romtest: checks the part checksums of a Brontal ROM image of one or two ROMs and,
// when every part is good, writes the image out unpacked if asked to.
#include <cstdio>

#include "part_checksum.hpp"
#include "rom_image.hpp"

namespace {

constexpr std::size_t ONE_ROM = 2 * PART_NIBBLES;
constexpr std::size_t TWO_ROMS = 4 * PART_NIBBLES;

struct PartLine {
    const char* format;
    std::uint32_t offset;
};

constexpr PartLine PART_LINES[] = {
    {"1st ROM 1st Part = %02X -> %s\n", 0x00000},
    {"1st ROM 2nd Part = %02X -> %s\n", 0x10000},
    {"2nd ROM 1st Part = %02X -> %s\n", 0x20000},
    {"2nd ROM 2nd Part = %02X -> %s\n", 0x30000},
};

// Prints one line per part, each as soon as it is computed; a bad part never stops the rest.
// Returns 0 when every part is good, 1 otherwise.
int check_brontal_rom(const std::uint8_t* nibbles, std::size_t length) {
    int result = 0;
    for (const PartLine& part : PART_LINES) {
        if (part.offset + PART_NIBBLES > length) {
            break;
        }
        const std::uint8_t value = part_checksum(nibbles, part.offset);
        std::printf(part.format, value, value == 1 ? "Ok" : "Fail");
        if (value != 1) {
            result = 1;
        }
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("BRONTAL ROM Test V1.01\n");
    if (argc != 2 && argc != 3) {
        std::printf("\nUsage:\n\t%s <ROM-File>\n\n", argc > 0 ? argv[0] : "");
        return 1;
    }
    const char* input = argv[1];
    const char* output = argc == 3 ? argv[2] : nullptr;

    RomFile rom;
    if (open_rom_file(input, ROM_SHARE_READ, &rom) != 0) {
        std::printf("Cannot open file %s.\n", input);
        close_rom_file(&rom);
        return 1;
    }
    NibbleImage image;
    const int loaded = load_nibble_image(&image, rom.view, rom.size);
    // Released before anything else, so an output name that names the input may replace it.
    close_rom_file(&rom);
    if (loaded == LOAD_NO_MEMORY) {
        std::puts("Not enough memory!");
        return 1;
    }
    if (loaded == LOAD_READ_FAULT) {
        std::printf("Cannot read file %s.\n", input);
        return 1;
    }

    int status = 0;
    if (image.length != ONE_ROM && image.length != TWO_ROMS) {
        std::puts("Unknown ROM size!");
        status = 1;
    } else if (check_brontal_rom(image.nibbles, image.length) != 0) {
        std::puts("Checksum Error!");
        status = 1;
    } else {
        std::puts("Checksums ok!");
        if (output != nullptr && write_image_file(output, &image) != 0) {
            std::printf("Cannot write to file %s.\n", output);
            status = 1;
        }
    }
    free_nibble_image(&image);
    return status;
}
