// Fuzz target: any bytes as an image file. Loading must tell the form and build exactly the
// nibbles the bytes hold; the checks of both testers run over every image of a length they
// know, the fast ones held to their definitions; and the unpacked image written out loads
// again to the same nibbles.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "crc_passes.hpp"
#include "part_checksum.hpp"
#include "rom_image.hpp"

namespace {

std::string scratch_file;

void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// The nibbles the bytes hold, by the plainest reading of the two forms.
bool nibbles_match(const std::uint8_t* data, std::size_t size, bool packed,
                   const NibbleImage& image) {
    for (std::size_t i = 0; i < size; ++i) {
        if (packed ? image.nibbles[2 * i] != (data[i] & 0x0F) ||
                         image.nibbles[2 * i + 1] != data[i] >> 4
                   : image.nibbles[i] != data[i]) {
            return false;
        }
    }
    return true;
}

void check_both_testers(const NibbleImage& image) {
    if (image.length == 2 * PART_NIBBLES || image.length == 4 * PART_NIBBLES) {
        for (std::uint32_t part = 0; part < image.length; part += PART_NIBBLES) {
            // Closed form of the folded ones'-complement sum of the part's words.
            std::uint64_t sum = 0;
            for (std::uint32_t w = part; w < part + PART_NIBBLES; w += 4) {
                sum += image.nibbles[w] | image.nibbles[w + 1] << 4 | image.nibbles[w + 2] << 8 |
                       image.nibbles[w + 3] << 12;
            }
            const std::uint8_t value = part_checksum(image.nibbles, part);
            require(value == (sum == 0 ? 0 : 1 + (sum - 1) % 255));
        }
    }
    for (const PassLine& line : CRC_PASS_LINES) {
        if (pass_runs_for(line, image.length)) {
            require(nibble_crc(image.nibbles, line.pass) ==
                    nibble_crc_reference(image.nibbles, line.pass));
        }
    }
    // Any image of whole 32-nibble blocks: the plain ascending pass against one-nibble steps.
    if (image.length >= 32) {
        const auto blocks = static_cast<std::int32_t>(image.length / 32);
        std::uint16_t crc = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(blocks) * 32; ++i) {
            crc = crc_nibble_step(crc, image.nibbles[i]);
        }
        require(nibble_crc(image.nibbles, {0, 16, 1, blocks}) == crc);
        // And an interleaved pass over the same nibbles, in the fast and the reference CRC.
        const CrcPass halves = {0, 16 * blocks, blocks, 1};
        require(nibble_crc(image.nibbles, halves) == nibble_crc_reference(image.nibbles, halves));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // "Unpacking data..." is no finding.
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    scratch_file = "/tmp/romtools-image-fuzz-" + std::to_string(getpid()) + ".bin";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bool packed = false;
    for (std::size_t i = 0; i < size; ++i) {
        packed = packed || data[i] >= 0x10;
    }
    NibbleImage image;
    require(load_nibble_image(&image, data, static_cast<std::uint32_t>(size)) == LOAD_DONE);
    require(image.length == (packed ? 2 * size : size));
    if (image.length > MAX_IMAGE_NIBBLES) {
        require(image.nibbles == nullptr);
        return 0;
    }
    require(nibbles_match(data, size, packed, image));
    check_both_testers(image);

    if (size > 0) {
        require(write_image_file(scratch_file.c_str(), &image) == 0);
        RomFile rom;
        require(open_rom_file(scratch_file.c_str(), ROM_SHARE_NONE, &rom) == 0);
        NibbleImage again;
        require(load_nibble_image(&again, rom.view, rom.size) == LOAD_DONE);
        close_rom_file(&rom);
        require(again.length == image.length);
        require(nibbles_match(image.nibbles, image.length, false, again));
        free_nibble_image(&again);
    }
    free_nibble_image(&image);
    return 0;
}
