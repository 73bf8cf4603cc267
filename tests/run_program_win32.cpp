// Runs a built program on Windows: CreateProcess with its standard output and error on pipes.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "run_program.hpp"

namespace fixtures {

namespace {

// A path as Windows takes it. Paths that the build wrote on the Linux host reach the tests
// under Wine unchanged; its drive Z: is the host's root.
std::string windows_path(std::string path) {
    if (!path.empty() && path.front() == '/') {
        path = "Z:" + path;
    }
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

// One argument quoted so that the C runtime splits the command line back into it.
std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        return argument;
    }
    std::string text = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, '\\');
    text += '"';
    return text;
}

std::string read_all(HANDLE pipe) {
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text.append(buffer, got);
    }
    CloseHandle(pipe);
    return text;
}

// The console's "\r\n" as "\n": the one difference the tests allow between the platforms.
std::string without_carriage_returns(std::string text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            lines += text[i];
        }
    }
    return lines;
}

}  // namespace

bool run_under_wrapper() {
    return false;
}

RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const RunOptions& options) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out_read, out_write, err_read, err_write, in_read, in_write;
    if (!CreatePipe(&out_read, &out_write, &inherit, 0) ||
        !CreatePipe(&err_read, &err_write, &inherit, 0) ||
        !CreatePipe(&in_read, &in_write, &inherit, 0)) {
        throw std::runtime_error("CreatePipe failed");
    }
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);

    // The first word of the command line is the name the program sees as its own.
    std::string command = quoted(options.argv0.empty() ? program : options.argv0);
    for (const std::string& argument : arguments) {
        command += ' ';
        command += quoted(argument);
    }
    std::string environment;
    if (!options.environment.empty()) {
        for (char* entry = GetEnvironmentStringsA(); *entry != '\0';
             entry += std::strlen(entry) + 1) {
            environment.append(entry, std::strlen(entry) + 1);
        }
        for (const std::string& entry : options.environment) {
            environment.append(entry.c_str(), entry.size() + 1);
        }
        environment += '\0';
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in_read;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    PROCESS_INFORMATION process{};
    const std::string executable = windows_path(program);
    const std::string directory = windows_path(options.directory);
    if (!CreateProcessA(executable.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                        environment.empty() ? nullptr : environment.data(),
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        throw std::runtime_error("CreateProcess failed for " + executable);
    }
    CloseHandle(out_write);
    CloseHandle(err_write);
    CloseHandle(in_read);
    std::thread feeder([pipe = in_write, input = options.input] {
        DWORD written = 0;
        if (!input.empty()) {
            WriteFile(pipe, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
        }
        CloseHandle(pipe);
    });
    RunResult result;
    std::thread error_reader([pipe = err_read, &result] { result.errors = read_all(pipe); });
    result.output = without_carriage_returns(read_all(out_read));
    feeder.join();
    error_reader.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    result.status = static_cast<int>(status);
    return result;
}

}  // namespace fixtures
