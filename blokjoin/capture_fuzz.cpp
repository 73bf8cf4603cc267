// Fuzz target: any bytes as a capture file, read as a file and as a pipe that cannot seek.
// Both must give the same image and result; `address` must count the blocks taken, and the
// image must hold their data bytes followed by what a faulty block delivered, and nothing else.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "capture_reader.hpp"

namespace {

void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

struct Memory {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
};

ssize_t read_memory(void* cookie, char* buffer, std::size_t wanted) {
    auto* memory = static_cast<Memory*>(cookie);
    const std::size_t count = std::min(wanted, memory->size - memory->at);
    std::memcpy(buffer, memory->data + memory->at, count);
    memory->at += count;
    return static_cast<ssize_t>(count);
}

int seek_memory(void* cookie, off64_t* offset, int whence) {
    auto* memory = static_cast<Memory*>(cookie);
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(memory->at)
                                              : static_cast<off64_t>(memory->size);
    if (base + *offset < 0 || base + *offset > static_cast<off64_t>(memory->size)) {
        return -1;
    }
    memory->at = static_cast<std::size_t>(base + *offset);
    *offset = base + *offset;
    return 0;
}

struct Outcome {
    int result = BLOCK_TAKEN;
    std::int32_t limit = 0;
    std::uint32_t address = 0;
    std::uint32_t taken = 0;
    std::vector<std::uint8_t> image;
};

Outcome convert(const std::uint8_t* data, std::size_t size, bool seekable) {
    Memory memory{data, size, 0};
    cookie_io_functions_t calls{};
    calls.read = read_memory;
    calls.seek = seekable ? seek_memory : nullptr;
    std::FILE* source = fopencookie(&memory, "rb", calls);
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* destination = open_memstream(&buffer, &length);
    require(source != nullptr && destination != nullptr);

    ConverterState state;
    state.destination = destination;
    begin_capture_source(&state, source, "FUZZ.CAP");
    Outcome outcome;
    outcome.limit = probe_capture_header(&state);
    state.expected_block = 1;
    while ((outcome.result = read_capture_block(&state, outcome.limit)) == BLOCK_TAKEN) {
        ++outcome.taken;
    }
    std::fclose(source);
    flush_capture_output(&state);
    std::fclose(destination);
    outcome.address = state.address;
    outcome.image.assign(buffer, buffer + length);
    std::free(buffer);
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Outcome file = convert(data, size, true);
    const Outcome pipe = convert(data, size, false);
    require(file.result == pipe.result && file.limit == pipe.limit &&
            file.address == pipe.address && file.image == pipe.image);

    require(file.result == BLOCK_END || file.result == BLOCK_ERROR);
    require(file.address == 128 * file.taken);
    const std::size_t partial = file.image.size() - file.address;
    require(file.image.size() >= file.address);
    require(file.result == BLOCK_ERROR ? partial <= 128 : partial == 0);

    // The blocks stand side by side from offset 0, or 13 behind the object header.
    const bool wrapped = size >= HEADER_BYTES && std::memcmp(data, "HPHP48-", 7) == 0;
    const std::size_t first = wrapped ? HEADER_BYTES : 0;
    for (std::size_t at = 0; at < file.image.size(); ++at) {
        const std::size_t source = first + 132 * (at / 128) + 3 + at % 128;
        require(source < size && data[source] == file.image[at]);
    }
    return 0;
}
