// Runs a built program as a user would and takes what it prints and its exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fixtures {

struct RunResult {
    std::string output;  // everything on standard output
    std::string errors;  // everything on standard error: the programs never write there
    int status = -1;     // the exit status, or 128 + the signal that ended it
};

struct RunOptions {
    std::string directory;            // working folder; empty keeps the current one
    std::string argv0;                // the name the program sees as its own; empty: the path
    std::string input;                // bytes fed to its standard input
    std::uint64_t address_space = 0;  // a virtual memory limit in bytes; 0 for none
    std::uint64_t data_size = 0;      // a limit on private writable memory (heap); 0 for none
    std::vector<std::string> environment;
    bool unprivileged = false;  // run as the user "nobody" when started as root  // NAME=value
                                // entries added to its environment
};

// Runs the program. When ROMTOOLS_TEST_WRAPPER is set (e.g. to a valgrind command line), the
// program runs under it, split at blanks, and sees its path as its name; the path is then shown
// as `argv0` in what it printed.
bool run_under_wrapper();

RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const RunOptions& options = {});

// A fresh folder under the system's temporary folder, removed with all it holds on destruction.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string path;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

}  // namespace fixtures
