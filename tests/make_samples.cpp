// Writes the sample data of the quick start into a folder: a good Brontal image, and a good
// Quendrell image sent as two captures, the first bare and the second wrapped in the object
// header, as a calculator's XMODEM transfer records them.
#include <cstdio>
#include <exception>

#include "fixtures.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    try {
        fixtures::Nibbles brontal = fixtures::random_nibbles(0x20000, 48);
        fixtures::make_brontal_good(brontal);
        fixtures::write_file(folder + "/brontal.bin", fixtures::pack(brontal));

        fixtures::Nibbles quendrell = fixtures::random_nibbles(0x8000, 49);
        fixtures::make_quendrell_good(quendrell);
        const fixtures::Bytes image = fixtures::pack(quendrell);
        const std::size_t half = image.size() / 2;
        const fixtures::Bytes first(image.begin(), image.begin() + half);
        const fixtures::Bytes second(image.begin() + half, image.end());
        fixtures::write_file(folder + "/quendrell-1.cap", fixtures::capture_of(first));
        fixtures::write_file(folder + "/quendrell-2.cap",
                             fixtures::wrapped(fixtures::capture_of(second)));
    } catch (const std::exception& fault) {
        std::fprintf(stderr, "%s\n", fault.what());
        return 1;
    }
    return 0;
}
