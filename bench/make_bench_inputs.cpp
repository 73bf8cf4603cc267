// Writes the inputs of the whole-process benchmarks into a folder: good packed images of
// 0x40000 nibbles for both testers, and bare captures of 1 MiB, 64 MiB and 256 MiB of data.
#include <cstdio>
#include <exception>
#include <string>

#include "fixtures.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    try {
        fixtures::Nibbles dirvo = fixtures::random_nibbles(0x40000, 1);
        fixtures::make_quendrell_good(dirvo);
        fixtures::write_file(folder + "/dirvo.bin", fixtures::pack(dirvo));
        fixtures::Nibbles brontal = fixtures::random_nibbles(0x40000, 2);
        fixtures::make_brontal_good(brontal);
        fixtures::write_file(folder + "/brontal.bin", fixtures::pack(brontal));
        for (const auto& [name, mebibytes] :
             {std::pair{"capture-1m.cap", 1}, {"capture-64m.cap", 64}, {"capture-256m.cap", 256}}) {
            fixtures::Bytes data(static_cast<std::size_t>(mebibytes) << 20);
            for (std::size_t i = 0; i < data.size(); ++i) {
                data[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
            }
            fixtures::write_file(folder + "/" + name, fixtures::capture_of(data));
        }
    } catch (const std::exception& fault) {
        std::fprintf(stderr, "%s\n", fault.what());
        return 1;
    }
    return 0;
}
