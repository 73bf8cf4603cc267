#include <filesystem>
#include <random>
#include <stdexcept>

#include "run_program.hpp"

namespace fixtures {

TempFolder::TempFolder() {
    // A fresh name: create_directory fails on one that exists, so a clash only draws again.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto name = std::filesystem::temp_directory_path() /
                          ("romtools-" + std::to_string(random() % 1000000000));
        if (std::filesystem::create_directory(name)) {
            path = name.string();
            return;
        }
    }
    throw std::runtime_error("no fresh temporary folder");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}  // namespace fixtures
