// quendrell-romtest: checks the nibble CRCs of a Quendrell or Dirvo ROM image and, when every
// CRC is good, writes the image out unpacked if asked to. The input is held without sharing
// to the end, so an output that names it cannot be created over it.
#include <cstdio>

#include "crc_passes.hpp"
#include "rom_image.hpp"

namespace {

// Prints one line per pass of the length, each as soon as it is computed; a bad CRC never
// stops the rest. Returns 0 when every CRC is 0xFFFF, 1 otherwise.
int check_crc_passes(const std::uint8_t* nibbles, std::size_t length) {
    int result = 0;
    for (const PassLine& line : CRC_PASS_LINES) {
        if (!pass_runs_for(line, length)) {
            continue;
        }
        const std::uint16_t crc = nibble_crc(nibbles, line.pass);
        std::printf(line.format, crc);
        if (crc != 0xFFFF) {
            result = 1;
        }
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("QUENDRELL/DIRVO ROM Test V1.00\n");
    if (argc != 2 && argc != 3) {
        std::printf("\nUsage:\n\t%s <ROM-File>\n\n", argc > 0 ? argv[0] : "");
        return 1;
    }
    const char* input = argv[1];
    const char* output = argc == 3 ? argv[2] : nullptr;

    RomFile rom;
    if (open_rom_file(input, ROM_SHARE_NONE, &rom) != 0) {
        std::printf("Cannot open file %s.\n", input);
        close_rom_file(&rom);
        return 1;
    }
    NibbleImage image;
    const int loaded = load_nibble_image(&image, rom.view, rom.size);
    if (loaded != LOAD_DONE) {
        if (loaded == LOAD_NO_MEMORY) {
            std::puts("Not enough memory!");
        } else {
            std::printf("Cannot read file %s.\n", input);
        }
        close_rom_file(&rom);
        return 1;
    }

    int status = 0;
    if (!known_rom_length(image.length)) {
        std::puts("Unknown ROM size!");
        status = 1;
    } else if (check_crc_passes(image.nibbles, image.length) != 0) {
        std::puts("CRC Error!");
        status = 1;
    } else {
        std::puts("CRC ok!");
        if (output != nullptr && write_image_file(output, &image) != 0) {
            std::printf("Cannot write to file %s.\n", output);
            status = 1;
        }
    }
    // The image goes first; the input stays held until the very end.
    free_nibble_image(&image);
    close_rom_file(&rom);
    return status;
}
