#include "capture_reader.hpp"

#include <cstring>
#include <utility>

namespace {

constexpr std::uint8_t SOH = 0x01;
constexpr int DATA_BYTES = 128;
constexpr std::size_t BLOCK_BYTES = 3 + DATA_BYTES + 1;
// Large reads keep a capture of many megabytes to few system calls.
constexpr std::size_t INPUT_BYTES = 256 * 1024;

// What next_byte gives when the source cannot be read.
constexpr int READ_FAILED = -2;
static_assert(READ_FAILED != EOF);

constexpr std::size_t OUTPUT_BYTES = 256 * 1024;

// Appends data bytes to the output; a full output goes to the destination first.
void put_data(ConverterState* state, const std::uint8_t* bytes, std::size_t count) {
    if (state->output == nullptr) {
        state->output.reset(new std::uint8_t[OUTPUT_BYTES]);
    }
    if (OUTPUT_BYTES - state->output_used < count) {
        flush_capture_output(state);
    }
    std::memcpy(state->output.get() + state->output_used, bytes, count);
    state->output_used += count;
}

// Reads until at least `wanted` bytes wait in the input, or the source ends or fails.
void fill_input(ConverterState* state, std::size_t wanted) {
    if (state->input_end - state->input_next >= wanted || state->read_failed) {
        return;
    }
    if (state->input == nullptr) {
        state->input.reset(new std::uint8_t[INPUT_BYTES]);
    }
    std::memmove(state->input.get(), state->input.get() + state->input_next,
                 state->input_end - state->input_next);
    state->input_end -= state->input_next;
    state->input_next = 0;
    while (state->input_end < wanted) {
        const std::size_t got = std::fread(state->input.get() + state->input_end, 1,
                                           INPUT_BYTES - state->input_end, state->source);
        state->input_end += got;
        if (got == 0) {
            state->read_failed = std::ferror(state->source) != 0;
            return;
        }
    }
}

// The next byte of the source, EOF at its end, or READ_FAILED.
int next_byte(ConverterState* state) {
    fill_input(state, 1);
    if (state->input_next == state->input_end) {
        return state->read_failed ? READ_FAILED : EOF;
    }
    ++state->source_offset;
    return state->input[state->input_next++];
}

// Reports a source that cannot be read; true when it is so.
bool read_fault(const ConverterState* state, int byte) {
    if (byte == READ_FAILED) {
        std::printf("%s: Read error\n", state->source_name.c_str());
        return true;
    }
    return false;
}

// "Checking Address %05X...\n", formatted by hand: it is printed for every block.
void print_progress(std::uint32_t address) {
    char line[40] = "Checking Address ";
    std::size_t at = 17;
    int digits = 5;
    while (digits < 8 && (address >> (4 * digits)) != 0) {
        ++digits;
    }
    for (int d = digits - 1; d >= 0; --d) {
        line[at++] = "0123456789ABCDEF"[address >> (4 * d) & 0xF];
    }
    std::memcpy(line + at, "...\n", 4);
    std::fwrite(line, 1, at + 4, stdout);
}

// A whole block in the input with a good start: checked and copied in one go. Gives
// BLOCK_TAKEN or BLOCK_ERROR, or -1 when the block needs the byte-by-byte reading below.
int take_whole_block(ConverterState* state) {
    if (state->input_end - state->input_next < BLOCK_BYTES) {
        return -1;
    }
    const std::uint8_t* block = state->input.get() + state->input_next;
    if (block[0] != SOH || block[1] != state->expected_block ||
        block[2] != static_cast<std::uint8_t>(~state->expected_block)) {
        return -1;
    }
    unsigned wide_sum = 0;
    for (int i = 0; i < DATA_BYTES; ++i) {
        wide_sum += block[3 + i];
    }
    const auto sum = static_cast<std::uint8_t>(wide_sum);
    put_data(state, block + 3, DATA_BYTES);
    state->input_next += BLOCK_BYTES;
    state->source_offset += BLOCK_BYTES;
    if (block[131] != sum) {
        std::printf("%s: Got %u instead of %u as checksum\n", state->source_name.c_str(),
                    static_cast<unsigned>(block[131]), static_cast<unsigned>(sum));
        return BLOCK_ERROR;
    }
    state->address += DATA_BYTES;
    ++state->expected_block;
    return BLOCK_TAKEN;
}

}  // namespace

void begin_capture_source(ConverterState* state, std::FILE* source, std::string name) {
    state->source = source;
    state->source_name = std::move(name);
    state->source_offset = 0;
    state->input_next = 0;
    state->input_end = 0;
    state->read_failed = false;
}

std::int32_t probe_capture_header(ConverterState* state) {
    fill_input(state, HEADER_BYTES);
    const std::uint8_t* header = state->input.get() + state->input_next;
    if (state->input_end - state->input_next < HEADER_BYTES ||
        std::memcmp(header, "HPHP48-", 7) != 0) {
        // A bare capture: the bytes stay in the input, and block reading starts at offset 0.
        return NO_LIMIT;
    }
    state->input_next += HEADER_BYTES;
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
    print_progress(state->address);
    const std::int64_t position = state->source_offset;

    if (position < limit) {
        fill_input(state, BLOCK_BYTES);
        if (const int result = take_whole_block(state); result != -1) {
            return result;
        }
    }

    // Byte by byte: the end of the source, the limit, and every fault with its own message.
    const char* name = state->source_name.c_str();
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
        const auto data = static_cast<std::uint8_t>(byte);
        put_data(state, &data, 1);
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

void flush_capture_output(ConverterState* state) {
    if (state->output_used != 0) {
        std::fwrite(state->output.get(), 1, state->output_used, state->destination);
        state->output_used = 0;
    }
}
