#include <sys/stat.h>

#include "same_file.hpp"

bool same_file(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    return stat(first, &a) == 0 && stat(second, &b) == 0 && S_ISREG(a.st_mode) &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
