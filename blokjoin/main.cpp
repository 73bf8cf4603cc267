// blokjoin: joins XMODEM capture files into one ROM image, checking every block on the way.
#include <cstdio>
#include <string>

#include "capture_reader.hpp"
#include "file_access.hpp"

namespace {

// Exit statuses; 3 is a block fault, which leaves a short image behind.
constexpr int STATUS_DONE = 0;
constexpr int STATUS_SOURCE_MISSING = 1;
constexpr int STATUS_DESTINATION_FAULT = 2;
constexpr int STATUS_BLOCK_FAULT = 3;
constexpr int STATUS_SYNTAX = 4;

// Names are shown upper-cased, ASCII letters only: other bytes, UTF-8 included, stay as they are.
std::string upper_cased(const char* name) {
    std::string text = name;
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// Writes out and closes the destination; 0 when every byte reached the file.
int close_destination(std::FILE* destination) {
    const bool written = std::fflush(destination) == 0 && std::ferror(destination) == 0;
    return std::fclose(destination) == 0 && written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // A progress line for every block: into a file or a pipe they go in large runs. A terminal
    // keeps its line buffering, so that each line shows as it is printed.
    static char output_buffer[64 * 1024];
    if (!is_terminal(stdout)) {
        std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    }
    if (argc < 3) {
        std::printf("Syntax: Blokjoin source [source ...] destination\n");
        return STATUS_SYNTAX;
    }
    const int last_source = argc - 2;
    const char* destination_name = argv[argc - 1];
    const std::string shown_destination = upper_cased(destination_name);

    // Truncating a destination that is also a source would destroy the capture before it is
    // read.
    for (int i = 1; i <= last_source; ++i) {
        if (same_file(argv[i], destination_name)) {
            std::printf("Error: Unable to overwrite file %s !\n", shown_destination.c_str());
            return STATUS_DESTINATION_FAULT;
        }
    }

    ConverterState state;
    state.destination = open_destination(destination_name);
    if (state.destination == nullptr) {
        std::printf("Error: Unable to overwrite file %s !\n", shown_destination.c_str());
        return STATUS_DESTINATION_FAULT;
    }
    // Few large writes rather than many small ones: images run to many megabytes.
    static char destination_buffer[256 * 1024];
    std::setvbuf(state.destination, destination_buffer, _IOFBF, sizeof destination_buffer);
    state.address = 0;

    int status = STATUS_DONE;
    for (int i = 1; i <= last_source; ++i) {
        std::FILE* source = open_source(argv[i]);
        if (source == nullptr) {
            std::printf("Error: Unable to open file %s !\n", upper_cased(argv[i]).c_str());
            status = STATUS_SOURCE_MISSING;
            break;
        }
        begin_capture_source(&state, source, upper_cased(argv[i]));
        const std::int32_t limit = probe_capture_header(&state);
        state.expected_block = 1;
        int result;
        do {
            result = read_capture_block(&state, limit);
        } while (result == BLOCK_TAKEN);
        std::fclose(source);
        state.source = nullptr;
        if (result == BLOCK_ERROR) {
            status = STATUS_BLOCK_FAULT;
            break;
        }
    }

    // The data taken so far stays in the destination on every road; a write that failed is
    // reported rather than passed off as an image.
    flush_capture_output(&state);
    if (close_destination(state.destination) != 0) {
        std::printf("Error: Unable to write file %s !\n", shown_destination.c_str());
        return STATUS_DESTINATION_FAULT;
    }
    if (status == STATUS_DONE) {
        std::printf("ROM size = %05Xh = %uKB\n", state.address, state.address >> 10);
    }
    return status;
}
