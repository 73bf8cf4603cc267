// POSIX file services. Windows share modes become BSD advisory locks (flock), taken without
// waiting: a shared lock lets other readers in, an exclusive one keeps every locker out.
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "file_layer.hpp"

namespace {

// Where a read of a mapping that faulted resumes. One tester thread reads at a time.
thread_local sigjmp_buf* read_fault_landing = nullptr;

void on_read_fault(int) {
    if (read_fault_landing != nullptr) {
        siglongjmp(*read_fault_landing, 1);
    }
    // Not ours: fall back to the default action, which ends the process.
    signal(SIGBUS, SIG_DFL);
    raise(SIGBUS);
}

int close_quietly(int fd) {
    // A close interrupted by a signal has still released the descriptor on Linux.
    return close(fd) == 0 || errno == EINTR ? 0 : 1;
}

}  // namespace

int file_open_input(const char* name, RomShareMode share, RomHandle* file) {
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; such a file is refused
    // below anyway.
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return 1;
    }
    struct stat info {};
    const int lock = share == ROM_SHARE_NONE ? LOCK_EX : LOCK_SH;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flock(fd, lock | LOCK_NB) != 0) {
        close_quietly(fd);
        return 1;
    }
    *file = fd;
    return 0;
}

int file_size(RomHandle file, std::uint32_t* size) {
    struct stat info {};
    if (fstat(static_cast<int>(file), &info) != 0 || info.st_size < 0 ||
        static_cast<std::uint64_t>(info.st_size) > UINT32_MAX) {
        return 1;
    }
    *size = static_cast<std::uint32_t>(info.st_size);
    return 0;
}

int file_map(RomHandle file, std::uint32_t size, RomHandle* mapping) {
    if (size == 0) {
        return 1;
    }
    void* base = mmap(nullptr, size, PROT_READ, MAP_SHARED, static_cast<int>(file), 0);
    if (base == MAP_FAILED) {
        return 1;
    }
    *mapping = reinterpret_cast<RomHandle>(base);
    return 0;
}

// POSIX maps and views in one step: the view is the mapping's first byte.
int file_view(RomHandle mapping, std::uint32_t, const std::uint8_t** view) {
    *view = reinterpret_cast<const std::uint8_t*>(mapping);
    return 0;
}

int file_guarded_read(void (*read)(void* context), void* context) {
    // A page of the mapping past the file's end, or one the disk cannot deliver, raises SIGBUS
    // on access; catch it for the length of the read instead of dying.
    struct sigaction fault {};
    struct sigaction previous {};
    fault.sa_handler = on_read_fault;
    sigemptyset(&fault.sa_mask);
    sigaction(SIGBUS, &fault, &previous);
    sigjmp_buf landing;
    int result = 1;
    if (sigsetjmp(landing, 1) == 0) {
        read_fault_landing = &landing;
        read(context);
        result = 0;
    }
    read_fault_landing = nullptr;
    sigaction(SIGBUS, &previous, nullptr);
    return result;
}

void file_unview(const std::uint8_t*) {}

void file_unmap(RomHandle mapping, std::uint32_t size) {
    munmap(reinterpret_cast<void*>(mapping), size);
}

void file_close(RomHandle file) {
    close_quietly(static_cast<int>(file));
}

int file_write_output(const char* name, const std::uint8_t* data, std::size_t size) {
    // Open without truncating and take the lock first: the name may be the very input that a
    // tester still holds, and truncating before the lock would destroy it.
    const int fd = open(name, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return 1;
    }
    struct stat info {};
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &info) != 0 ||
        (S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close_quietly(fd);
        return 1;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            close_quietly(fd);
            return 1;
        }
        done += static_cast<std::size_t>(n);
    }
    return close_quietly(fd);
}
