#include "capture_reader.hpp"

#include <cstring>
#include <utility>

namespace {

constexpr std::uint8_t SOH = 0x01;
constexpr int DATA_BYTES = 128;

// What next_byte gives when the source cannot be read.
constexpr int READ_FAILED = -2;
static_assert(READ_FAILED != EOF);

// The next byte of the source, EOF at its end, or READ_FAILED.
int next_byte(ConverterState* state) {
    if (state->replay_next < state->replay_count) {
        ++state->source_offset;
        return state->replay[state->replay_next++];
    }
    if (state->read_failed) {
        return READ_FAILED;
    }
    const int byte = std::getc(state->source);
    if (byte == EOF) {
        if (std::ferror(state->source) != 0) {
            state->read_failed = true;
            return READ_FAILED;
        }
        return EOF;
    }
    ++state->source_offset;
    return byte;
}

// Reports a source that cannot be read; true when it is so.
bool read_fault(const ConverterState* state, int byte) {
    if (byte == READ_FAILED) {
        std::printf("%s: Read error\n", state->source_name.c_str());
        return true;
    }
    return false;
}

}  // namespace

void begin_capture_source(ConverterState* state, std::FILE* source, std::string name) {
    state->source = source;
    state->source_name = std::move(name);
    state->source_offset = 0;
    state->replay_count = 0;
    state->replay_next = 0;
    state->read_failed = false;
}

std::int32_t probe_capture_header(ConverterState* state) {
    std::uint8_t* header = state->replay;
    const std::size_t got = std::fread(header, 1, HEADER_BYTES, state->source);
    state->read_failed = std::ferror(state->source) != 0;
    if (got < HEADER_BYTES || std::memcmp(header, "HPHP48-", 7) != 0) {
        // A bare capture: hand the bytes back so that block reading starts at offset 0.
        state->replay_count = static_cast<int>(got);
        state->replay_next = 0;
        state->source_offset = 0;
        return NO_LIMIT;
    }
    state->source_offset = HEADER_BYTES;
    // Bytes 8..12 hold ten nibbles, low half first: the five of the prolog, then the five of
    // the length, each field least significant nibble first.
    const std::uint32_t prolog = header[8] | header[9] << 8 | (header[10] & 0x0Fu) << 16;
    if (prolog != STRING_PROLOG) {
        return NO_LIMIT;
    }
    const std::int32_t length = header[10] >> 4 | header[11] << 4 | header[12] << 12;
    // The length counts its own five nibbles and two for each character: L = 5 + 2n, so the
    // string ends at 13 + n. Integer division truncates toward zero for the odd and small L.
    return HEADER_BYTES + (length - 4) / 2;
}

int read_capture_block(ConverterState* state, std::int32_t limit) {
    std::printf("Checking Address %05X...\n", state->address);
    const char* name = state->source_name.c_str();
    const std::int64_t position = state->source_offset;

    // The end of file is noticed before the limit; past the limit nothing more is wanted of
    // the source, not even a byte that could not be read.
    int byte = next_byte(state);
    if (byte == EOF || position >= limit) {
        return BLOCK_END;
    }
    if (read_fault(state, byte)) {
        return BLOCK_ERROR;
    }
    if (byte != SOH) {
        std::printf("%s: No SOH\n", name);
        return BLOCK_ERROR;
    }

    byte = next_byte(state);
    if (read_fault(state, byte)) {
        return BLOCK_ERROR;
    }
    if (byte == EOF) {
        std::printf("%s: EOF at Block No.\n", name);
        return BLOCK_ERROR;
    }
    if (byte != state->expected_block) {
        std::printf("%s: Got %u instead of %u Block No\n", name, static_cast<unsigned>(byte),
                    static_cast<unsigned>(state->expected_block));
        return BLOCK_ERROR;
    }

    const auto inverted = static_cast<std::uint8_t>(~state->expected_block);
    byte = next_byte(state);
    if (read_fault(state, byte)) {
        return BLOCK_ERROR;
    }
    if (byte == EOF) {
        std::printf("%s: EOF at Inv. Block No.\n", name);
        return BLOCK_ERROR;
    }
    if (byte != inverted) {
        std::printf("%s: Got %u instead of %u Inv. Block No\n", name, static_cast<unsigned>(byte),
                    static_cast<unsigned>(inverted));
        return BLOCK_ERROR;
    }

    // Data bytes go to the output as they come, before the checksum is known: a cut or bad
    // block leaves what it delivered.
    std::uint8_t sum = 0;
    for (int i = 0; i < DATA_BYTES; ++i) {
        byte = next_byte(state);
        if (read_fault(state, byte)) {
            return BLOCK_ERROR;
        }
        if (byte == EOF) {
            std::printf("%s: EOF at Databyte %d\n", name, i);
            return BLOCK_ERROR;
        }
        std::putc(byte, state->destination);
        sum = static_cast<std::uint8_t>(sum + byte);
    }

    byte = next_byte(state);
    if (read_fault(state, byte)) {
        return BLOCK_ERROR;
    }
    if (byte == EOF) {
        std::printf("%s: EOF at checksum\n", name);
        return BLOCK_ERROR;
    }
    if (byte != sum) {
        std::printf("%s: Got %u instead of %u as checksum\n", name, static_cast<unsigned>(byte),
                    static_cast<unsigned>(sum));
        return BLOCK_ERROR;
    }

    state->address += DATA_BYTES;
    ++state->expected_block;
    return BLOCK_TAKEN;
}
