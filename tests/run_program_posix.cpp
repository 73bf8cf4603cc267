#include "run_program.hpp"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fixtures {

namespace {

// Everything that comes through a pipe until its writers close it; closes it then.
std::string read_all(int fd) {
    std::string text;
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    return text;
}

}  // namespace

bool run_under_wrapper() {
    return std::getenv("ROMTOOLS_TEST_WRAPPER") != nullptr;
}

RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const RunOptions& options) {
    // A program that ends without reading its input must not take the test down with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    int out[2];
    int err[2];
    int in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> words;
    if (const char* wrapper = std::getenv("ROMTOOLS_TEST_WRAPPER"); wrapper != nullptr) {
        std::istringstream split(wrapper);
        for (std::string word; split >> word;) {
            words.push_back(word);
        }
    }
    const bool wrapped = !words.empty();
    // A wrapper runs the program by its path; the name it sees is then the path too.
    words.push_back(options.argv0.empty() || wrapped ? program : options.argv0);
    words.insert(words.end(), arguments.begin(), arguments.end());
    const std::string executable = wrapped ? words.front() : program;
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        std::signal(SIGPIPE, SIG_DFL);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) {
            _exit(126);
        }
        if (options.address_space != 0) {
            const rlimit limit{options.address_space, options.address_space};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (options.data_size != 0) {
            const rlimit limit{options.data_size, options.data_size};
            setrlimit(RLIMIT_DATA, &limit);
        }
        // 65534 is "nobody" on Debian and most other systems.
        if (options.unprivileged && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(126);
        }
        for (const std::string& entry : options.environment) {
            putenv(const_cast<char*>(entry.c_str()));
        }
        execvp(executable.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    close(in[0]);
    // Feed standard input from another thread, so that neither pipe can fill and stall.
    std::thread feeder([fd = in[1], input = options.input] {
        std::size_t done = 0;
        while (done < input.size()) {
            const ssize_t n = write(fd, input.data() + done, input.size() - done);
            if (n <= 0 && errno != EINTR) {
                break;
            }
            done += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        close(fd);
    });
    RunResult result;
    std::thread error_reader([fd = err[0], &result] { result.errors = read_all(fd); });
    result.output = read_all(out[0]);
    feeder.join();
    error_reader.join();
    int wait_status = 0;
    while (waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
    }
    // Under a wrapper the program saw its path as its name: show it as the name asked for.
    if (wrapped && !options.argv0.empty()) {
        for (std::size_t at; (at = result.output.find(program)) != std::string::npos;) {
            result.output.replace(at, program.size(), options.argv0);
        }
    }
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return result;
}

}  // namespace fixtures
