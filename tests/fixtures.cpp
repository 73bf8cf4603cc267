#include "fixtures.hpp"

#include <cstdio>
#include <random>
#include <stdexcept>

#include "crc_passes.hpp"
#include "part_checksum.hpp"

namespace fixtures {

Nibbles random_nibbles(std::size_t length, std::uint32_t seed) {
    std::mt19937 random(seed);
    Nibbles nibbles(length);
    for (auto& n : nibbles) {
        n = static_cast<std::uint8_t>(random() & 0x0F);
    }
    return nibbles;
}

Bytes pack(const Nibbles& nibbles) {
    Bytes bytes(nibbles.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(nibbles[2 * i] | nibbles[2 * i + 1] << 4);
    }
    return bytes;
}

void make_brontal_good(Nibbles& nibbles) {
    // A part is good exactly when the plain sum S of its words is 1 modulo 255; replace the
    // first word so that it is.
    for (std::size_t part = 0; part + PART_NIBBLES <= nibbles.size(); part += PART_NIBBLES) {
        std::uint64_t rest = 0;
        for (std::size_t w = part + 4; w < part + PART_NIBBLES; w += 4) {
            rest += nibbles[w] | nibbles[w + 1] << 4 | nibbles[w + 2] << 8 | nibbles[w + 3] << 12;
        }
        const auto word = static_cast<std::uint32_t>((1 + 255 - rest % 255) % 255);
        for (int i = 0; i < 4; ++i) {
            nibbles[part + i] = static_cast<std::uint8_t>(word >> (4 * i) & 0x0F);
        }
    }
}

void solve_crc_pass(Nibbles& nibbles, const CrcPass& pass) {
    // With 16 * count = stride the last four nibbles visited are the last four of the range,
    // in ascending order. With them zero the register ends as R * x^16 mod P; four nibbles
    // whose value is D end it as (R * x^16 + D) mod P, which is that XOR D.
    const std::size_t end = pass.start + 2 * static_cast<std::size_t>(pass.stride) * pass.repeats;
    for (std::size_t i = end - 4; i < end; ++i) {
        nibbles[i] = 0;
    }
    const std::uint16_t d = nibble_crc(nibbles.data(), pass) ^ 0xFFFF;
    for (int i = 0; i < 4; ++i) {
        nibbles[end - 4 + i] = static_cast<std::uint8_t>(d >> (12 - 4 * i) & 0x0F);
    }
}

void make_quendrell_good(Nibbles& nibbles) {
    for (const PassLine& line : CRC_PASS_LINES) {
        if (pass_runs_for(line, nibbles.size())) {
            solve_crc_pass(nibbles, line.pass);
        }
    }
}

Bytes capture_block(std::uint8_t number, const std::uint8_t* data) {
    Bytes block = {0x01, number, static_cast<std::uint8_t>(~number)};
    std::uint8_t sum = 0;
    for (int i = 0; i < 128; ++i) {
        block.push_back(data[i]);
        sum = static_cast<std::uint8_t>(sum + data[i]);
    }
    block.push_back(sum);
    return block;
}

Bytes capture_of(const Bytes& data, std::uint8_t first) {
    if (data.size() % 128 != 0) {
        throw std::invalid_argument("capture data must be whole blocks");
    }
    Bytes capture;
    std::uint8_t number = first;
    for (std::size_t at = 0; at < data.size(); at += 128) {
        const Bytes block = capture_block(number++, data.data() + at);
        capture.insert(capture.end(), block.begin(), block.end());
    }
    return capture;
}

Bytes wrapped(const Bytes& string, std::uint32_t prolog, std::int64_t length) {
    const auto field = static_cast<std::uint32_t>(length >= 0 ? length : 5 + 2 * string.size());
    // Ten nibbles from byte 8 on, low half first: prolog, then length, least significant first.
    const std::uint64_t nibbles = (prolog & 0xFFFFFu) | std::uint64_t{field & 0xFFFFFu} << 20;
    Bytes object = {'H', 'P', 'H', 'P', '4', '8', '-', 'W'};
    for (int i = 0; i < 5; ++i) {
        object.push_back(static_cast<std::uint8_t>(nibbles >> (8 * i) & 0xFF));
    }
    object.insert(object.end(), string.begin(), string.end());
    return object;
}

Bytes read_file(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw std::runtime_error("cannot read " + path);
    }
    Bytes bytes;
    std::uint8_t buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(file);
    return bytes;
}

void write_file(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written =
        file != nullptr &&
        (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    if (file == nullptr || std::fclose(file) != 0 || !written) {
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace fixtures
