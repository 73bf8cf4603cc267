// End-to-end helpers: a test folder of its own for every case, files made in it from fixtures,
// the built programs run inside it under the names a user would type.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "fixtures.hpp"
#include "run_program.hpp"

namespace fixtures {

class EndToEnd : public testing::Test {
  protected:
    TempFolder folder;

    // Runs a program in the test folder; it sees `name` as its own name.
    RunResult run(const char* program, const std::string& name,
                  const std::vector<std::string>& arguments, RunOptions options = {}) {
        options.directory = folder.path;
        options.argv0 = name;
        RunResult result = run_program(program, arguments, options);
        // Nothing goes to standard error; under a memory checker, its reports do.
        EXPECT_EQ(result.errors, "") << program;
        return result;
    }

    std::string path(const std::string& name) const { return folder / name; }
    void put(const std::string& name, const Bytes& bytes) const { write_file(path(name), bytes); }
    Bytes get(const std::string& name) const { return read_file(path(name)); }
    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

#ifndef _WIN32
    // Options that run the program as an ordinary user even when the tests run as root, so that
    // file modes hold for it; the test folder is opened to that user for the run.
    RunOptions unprivileged() const {
        chmod(folder.path.c_str(), 0755);
        RunOptions options;
        options.unprivileged = true;
        return options;
    }

    // The smallest address-space limit, to the page, under which the program runs to the end
    // and prints `output`: what it needs with nothing to spare.
    std::uint64_t smallest_address_space(const char* program,
                                         const std::vector<std::string>& arguments,
                                         const std::string& output) {
        std::uint64_t enough = 1ull << 30;
        std::uint64_t too_little = 0;
        while (enough - too_little > 4096) {
            RunOptions options;
            options.address_space = (too_little + (enough - too_little) / 2) & ~4095ull;
            // Below what it needs the loader itself may fail and say so on standard error.
            options.directory = folder.path;
            const RunResult result = run_program(program, arguments, options);
            (result.output == output ? enough : too_little) = options.address_space;
        }
        return enough;
    }
#endif
};

// One run of a tester on rom.bin: what it prints after its banner and its status. The input
// never changes, and a run that fails writes no out.bin.
struct TesterCase {
    const char* name;
    Bytes input;  // written as rom.bin
    std::vector<std::string> arguments;
    std::string output;
    int status;
    friend void PrintTo(const TesterCase& c, std::ostream* os) { *os << c.name; }
};

class TesterCaseTest : public EndToEnd, public testing::WithParamInterface<TesterCase> {
  protected:
    void check(const char* program, const std::string& name, const std::string& banner) {
        const TesterCase& c = GetParam();
        put("rom.bin", c.input);
        const RunResult result = run(program, name, c.arguments);
        EXPECT_EQ(result.output, banner + c.output);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(get("rom.bin"), c.input);
        if (c.status != 0) {
            EXPECT_FALSE(exists("out.bin"));
        }
    }
};

inline std::string case_name(const testing::TestParamInfo<TesterCase>& info) {
    return info.param.name;
}

// Holds a file open as another program would, for as long as it lives: shared lets other
// readers in, exclusive keeps every other opener out. POSIX: a BSD lock; Windows: a share mode.
class HeldFile {
  public:
    HeldFile(const std::string& path, bool exclusive) {
#ifdef _WIN32
        handle_ = CreateFileA(path.c_str(), GENERIC_READ, exclusive ? 0 : FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
#else
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB), 0);
#endif
    }
    ~HeldFile() {
#ifdef _WIN32
        CloseHandle(handle_);
#else
        close(fd_);
#endif
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

  private:
#ifdef _WIN32
    HANDLE handle_;
#else
    int fd_;
#endif
};

// A sparse file of `size` bytes whose first byte is `first` and the rest zeros.
inline void make_sparse(const std::string& path, std::uint64_t size, std::uint8_t first) {
    write_file(path, {first});
    std::filesystem::resize_file(path, size);
}

inline bool sanitized() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// True when the programs run under sanitizers or a memory checker, which need more address
// space than a limit allows and read a gibibyte too slowly.
inline bool memory_checked() {
    return sanitized() || run_under_wrapper();
}

}  // namespace fixtures
