// Reading XMODEM capture files (checksum variant, 132-byte blocks), bare or wrapped as the
// character string of a calculator binary object.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Results of one block attempt.
inline constexpr int BLOCK_TAKEN = 0;  // a whole, valid block was taken
inline constexpr int BLOCK_END = 1;    // no further block: end of file or the limit; silent
inline constexpr int BLOCK_ERROR = 2;  // malformed or cut short; a message has been printed

// The limit of a source that runs to its end of file.
inline constexpr std::int32_t NO_LIMIT = 0x7FFFFFFF;

// The object prolog that marks a character string.
inline constexpr std::uint32_t STRING_PROLOG = 0x02A2C;

// Bytes of the object header that precede the string's first character.
inline constexpr int HEADER_BYTES = 13;

// The converter's run-time state, one for the whole run.
struct ConverterState {
    std::FILE* destination = nullptr;  // the output image
    std::FILE* source = nullptr;       // the current capture
    std::uint8_t expected_block = 1;   // the number the next block must carry
    std::uint32_t address = 0;         // data bytes taken so far, over all sources
    std::string source_name;           // the source as messages show it

    // Offset in the source of the next byte to be read. It is counted rather than asked of the
    // stream, so that a pipe behaves as a file does.
    std::int64_t source_offset = 0;
    // Bytes read from the source and not yet taken: input[input_next, input_end). The header
    // probe looks at the first 13 and hands them back by not taking them, which needs no
    // rewind, so a pipe loses nothing.
    std::unique_ptr<std::uint8_t[]> input;  // allocated on first use, never cleared
    std::size_t input_next = 0;
    std::size_t input_end = 0;
    // A read of the source failed: that is no end of file, and the source ends with a fault.
    bool read_failed = false;
    // Data bytes taken and not yet handed to `destination`: a block's 128 bytes are copied in
    // one go, and the stream gets them in large runs.
    std::unique_ptr<std::uint8_t[]> output;
    std::size_t output_used = 0;
};

// Starts reading a freshly opened source from its first byte.
void begin_capture_source(ConverterState* state, std::FILE* source, std::string name);

// Recognises the object header at the start of the source and leaves the source at its first
// block: offset 13 when the header is there, else offset 0. Returns the offset at or past which
// no block may begin: just past the string's end for a character string, else NO_LIMIT.
std::int32_t probe_capture_header(ConverterState* state);

// Makes one block attempt: prints the progress line, checks the block and copies its data bytes
// to the destination as they are read. Advances `address` and `expected_block` only on
// BLOCK_TAKEN. A source that cannot be read prints "<name>: Read error" and gives BLOCK_ERROR.
int read_capture_block(ConverterState* state, std::int32_t limit);

// Hands every data byte taken so far to `destination`. Call it before the destination is
// flushed or closed, and before anyone reads what it holds.
void flush_capture_output(ConverterState* state);
