// A fault injected into a tester from outside: loaded with LD_PRELOAD, it truncates the file
// named by ROMTOOLS_SHRINK_ON_MAP to 0 bytes right after the tester has mapped its input, as
// another program could at any moment. Reading the mapping then faults.
#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace {

using MapCall = void* (*)(void*, size_t, int, int, int, off_t);

}  // namespace

extern "C" void* mmap(void* address, size_t length, int protection, int flags, int fd,
                      off_t offset) {
    static const auto real = reinterpret_cast<MapCall>(dlsym(RTLD_NEXT, "mmap"));
    void* mapped = real(address, length, protection, flags, fd, offset);
    const char* victim = std::getenv("ROMTOOLS_SHRINK_ON_MAP");
    if (mapped != MAP_FAILED && fd >= 0 && victim != nullptr) {
        if (truncate(victim, 0) != 0) {
            std::abort();
        }
    }
    return mapped;
}

extern "C" void* mmap64(void* address, size_t length, int protection, int flags, int fd,
                        off_t offset) {
    return mmap(address, length, protection, flags, fd, offset);
}
