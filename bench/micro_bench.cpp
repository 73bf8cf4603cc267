// Micro-benchmarks of the hot paths: the Brontal part value, the nibble CRC of every pass shape
// (fast and reference), image loading in both forms, and the capture block reader.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "capture_reader.hpp"
#include "crc_passes.hpp"
#include "fixtures.hpp"
#include "part_checksum.hpp"
#include "rom_image.hpp"

namespace {

// Keeps what the code under test prints ("Unpacking data...", progress lines) out of the
// report while the benchmark loop runs.
class QuietStdout {
  public:
    QuietStdout() : saved_(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

  private:
    int saved_;
};

const fixtures::Nibbles& two_roms() {
    static const fixtures::Nibbles image = fixtures::random_nibbles(0x40000, 9);
    return image;
}

void BM_PartChecksum(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(part_checksum(two_roms().data(), 0x10000));
    }
    state.SetBytesProcessed(state.iterations() * PART_NIBBLES);
}
BENCHMARK(BM_PartChecksum);

template <std::uint16_t (*CRC)(const std::uint8_t*, const CrcPass&)>
void BM_NibbleCrc(benchmark::State& state) {
    const PassLine& line = CRC_PASS_LINES[state.range(0)];
    for (auto _ : state) {
        benchmark::DoNotOptimize(CRC(two_roms().data(), line.pass));
    }
    const std::string text = line.format;
    state.SetLabel(text.substr(0, text.find(" =")));
    state.SetBytesProcessed(state.iterations() * 32 * line.pass.count * line.pass.repeats);
}
BENCHMARK(BM_NibbleCrc<nibble_crc>)->DenseRange(0, 6);
BENCHMARK(BM_NibbleCrc<nibble_crc_reference>)->DenseRange(0, 6);

void BM_LoadNibbleImage(benchmark::State& state) {
    const bool packed = state.range(0) != 0;
    const fixtures::Bytes file = packed ? fixtures::pack(two_roms()) : two_roms();
    QuietStdout quiet;
    for (auto _ : state) {
        NibbleImage image;
        load_nibble_image(&image, file.data(), static_cast<std::uint32_t>(file.size()));
        benchmark::DoNotOptimize(image.nibbles);
        free_nibble_image(&image);
    }
    state.SetLabel(packed ? "packed" : "unpacked");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_LoadNibbleImage)->Arg(0)->Arg(1);

void BM_ReadCaptureBlocks(benchmark::State& state) {
    fixtures::Bytes data(1 << 20);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    fixtures::Bytes capture = fixtures::capture_of(data);
    std::FILE* sink = std::fopen("/dev/null", "wb");
    QuietStdout quiet;
    for (auto _ : state) {
        std::FILE* source = fmemopen(capture.data(), capture.size(), "rb");
        ConverterState converter;
        converter.destination = sink;
        begin_capture_source(&converter, source, "BENCH.CAP");
        const std::int32_t limit = probe_capture_header(&converter);
        converter.expected_block = 1;
        while (read_capture_block(&converter, limit) == BLOCK_TAKEN) {
        }
        flush_capture_output(&converter);
        std::fclose(source);
    }
    std::fclose(sink);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(capture.size()));
}
BENCHMARK(BM_ReadCaptureBlocks);

}  // namespace

BENCHMARK_MAIN();
