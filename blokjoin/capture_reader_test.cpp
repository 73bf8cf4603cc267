#include "capture_reader.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures.hpp"

namespace {

using fixtures::Bytes;

// A source held in a temporary stream, with the probe and the block reader run over it.
struct Reading {
    std::int32_t limit = 0;
    std::vector<int> results;
    std::string printed;
    Bytes output;
    std::uint32_t address = 0;
};

Reading read_source(const Bytes& bytes, std::uint32_t address = 0) {
    std::FILE* source = std::tmpfile();
    std::FILE* destination = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), source);
    std::rewind(source);
    ConverterState state;
    state.destination = destination;
    state.address = address;
    begin_capture_source(&state, source, "CAP");
    Reading reading;
    testing::internal::CaptureStdout();
    reading.limit = probe_capture_header(&state);
    state.expected_block = 1;
    do {
        reading.results.push_back(read_capture_block(&state, reading.limit));
    } while (reading.results.back() == BLOCK_TAKEN);
    reading.printed = testing::internal::GetCapturedStdout();
    flush_capture_output(&state);
    std::fclose(source);
    std::rewind(destination);
    int byte;
    while ((byte = std::getc(destination)) != EOF) {
        reading.output.push_back(static_cast<std::uint8_t>(byte));
    }
    std::fclose(destination);
    reading.address = state.address;
    return reading;
}

Bytes data_of(std::size_t blocks, std::uint8_t seed = 0) {
    Bytes data(128 * blocks);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7 + seed);
    }
    return data;
}

TEST(ProbeCaptureHeader, LimitFollowsTheLengthField) {
    struct Case {
        std::int64_t length;
        std::int32_t limit;
    };
    for (const Case& c : {Case{0, 11}, Case{1, 12}, Case{2, 12}, Case{3, 13}, Case{5, 13},
                          Case{6, 14}, Case{7, 14}, Case{0x01FFD, 4105}, Case{0xFFFFF, 524298}}) {
        EXPECT_EQ(read_source(fixtures::wrapped({}, STRING_PROLOG, c.length)).limit, c.limit)
            << c.length;
    }
}

TEST(ProbeCaptureHeader, WorkedHeaderBytes) {
    const Bytes header = {'H', 'P', 'H', 'P', '4', '8', '-', 0, 0x2C, 0x2A, 0xD0, 0xFF, 0x01};
    EXPECT_EQ(read_source(header).limit, 4105);
}

TEST(ProbeCaptureHeader, BareAndForeignObjectsHaveNoLimit) {
    const Bytes capture = fixtures::capture_of(data_of(2));
    // A bare capture is read from its first byte.
    Reading bare = read_source(capture);
    EXPECT_EQ(bare.limit, NO_LIMIT);
    EXPECT_EQ(bare.output, data_of(2));
    // Another object type behind the magic is read from offset 13, without a limit.
    Reading foreign = read_source(fixtures::wrapped(capture, 0x02A4E));
    EXPECT_EQ(foreign.limit, NO_LIMIT);
    EXPECT_EQ(foreign.output, data_of(2));
    // Fewer than 13 bytes: rewound, then read as a bare capture.
    Reading short_file = read_source({'H', 'P', 'H', 'P', '4', '8', '-'});
    EXPECT_EQ(short_file.limit, NO_LIMIT);
    EXPECT_EQ(short_file.printed, "Checking Address 00000...\nCAP: No SOH\n");
}

TEST(ReadCaptureBlock, TakesWholeBlocksThenEndsQuietly) {
    Reading reading = read_source(fixtures::capture_of(data_of(2)));
    EXPECT_EQ(reading.results, std::vector<int>({BLOCK_TAKEN, BLOCK_TAKEN, BLOCK_END}));
    EXPECT_EQ(reading.printed,
              "Checking Address 00000...\nChecking Address 00080...\n"
              "Checking Address 00100...\n");
    EXPECT_EQ(reading.address, 256u);
}

TEST(ReadCaptureBlock, AddressGrowsToSixDigits) {
    Reading reading = read_source(fixtures::capture_of(data_of(1)), 0xFFF80);
    EXPECT_EQ(reading.printed, "Checking Address FFF80...\nChecking Address 100000...\n");
}

TEST(ReadCaptureBlock, StopsAtTheLimitOfAWrappedString) {
    const Bytes capture = fixtures::capture_of(data_of(3));
    Bytes object = fixtures::wrapped(Bytes(capture.begin(), capture.begin() + 264));
    object.insert(object.end(), capture.begin() + 264, capture.end());  // junk past the string
    Reading reading = read_source(object);
    EXPECT_EQ(reading.limit, 13 + 264);
    EXPECT_EQ(reading.results.back(), BLOCK_END);
    EXPECT_EQ(reading.output, data_of(2));
}

TEST(ReadCaptureBlock, AFaultyBlockLeavesWhatItDelivered) {
    Bytes capture = fixtures::capture_of(data_of(2));
    capture.back() ^= 0xFF;
    Reading reading = read_source(capture);
    EXPECT_EQ(reading.results.back(), BLOCK_ERROR);
    EXPECT_EQ(reading.output, data_of(2));
    EXPECT_EQ(reading.address, 128u);
}

}  // namespace
