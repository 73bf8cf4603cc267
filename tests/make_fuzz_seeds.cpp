// Writes the seed corpora of the fuzz targets: image files of every known length, good and bad,
// packed and unpacked, and captures bare and wrapped with each kind of block fault.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "fixtures.hpp"

namespace {

using fixtures::Bytes;

void write_seeds(const std::string& folder, const std::vector<Bytes>& seeds) {
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        fixtures::write_file(folder + "/seed-" + std::to_string(i), seeds[i]);
    }
}

std::vector<Bytes> image_seeds() {
    std::vector<Bytes> seeds = {{0x21, 0x43}, {0x01, 0x02, 0x03}, {0xA5}, Bytes(0x4000, 0)};
    for (std::size_t length : {0x8000u, 0x20000u, 0x30000u, 0x40000u}) {
        fixtures::Nibbles rom =
            fixtures::random_nibbles(length, static_cast<std::uint32_t>(length));
        fixtures::make_quendrell_good(rom);
        seeds.push_back(fixtures::pack(rom));
    }
    fixtures::Nibbles brontal = fixtures::random_nibbles(0x20000, 1);
    fixtures::make_brontal_good(brontal);
    seeds.push_back(brontal);
    seeds.push_back(fixtures::pack(brontal));
    return seeds;
}

std::vector<Bytes> capture_seeds() {
    Bytes data(3 * 128);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 13);
    }
    const Bytes good = fixtures::capture_of(data);
    auto cut = [&](std::size_t count) { return Bytes(good.begin(), good.begin() + count); };
    auto changed = [&](std::size_t at, std::uint8_t value) {
        Bytes bytes = good;
        bytes[at] = value;
        return bytes;
    };
    Bytes with_eot = good;
    with_eot.push_back(0x04);
    return {
        good,
        fixtures::wrapped(good),
        fixtures::wrapped(cut(264)),
        fixtures::wrapped(good, 0x02A4E),
        fixtures::wrapped({}, STRING_PROLOG, 5),
        with_eot,
        cut(133),
        changed(133, 5),
        cut(134),
        changed(134, 0),
        cut(200),
        cut(263),
        changed(263, 0),
        {'H', 'P', 'H', 'P', '4', '8', '-'},
        {},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IMAGE-FOLDER CAPTURE-FOLDER\n", argv[0]);
        return 2;
    }
    try {
        write_seeds(argv[1], image_seeds());
        write_seeds(argv[2], capture_seeds());
    } catch (const std::exception& fault) {
        std::fprintf(stderr, "%s\n", fault.what());
        return 1;
    }
    return 0;
}
