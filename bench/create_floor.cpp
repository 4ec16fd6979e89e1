// The least an extraction of small files costs with kova's promise kept (a
// file appears under its name only once it is complete): each file is made
// without a name in the output directory, written in one piece and then
// named, as kova extract does on Linux. No archive is read and nothing is
// decoded, so what kova extract costs beyond this is kova's own; what this
// costs beyond tar -x (which writes under the final name from the start)
// is the price of the promise.
//
//   create_floor OUT_DIR COUNT SIZE [--in-place]
//
// With --in-place each file is made under its name and then written, as
// tar -x makes them: that promise's price is the difference between the two.
//
// Files are named sound_00000.WAV and so on; their bytes do not matter to
// the file system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(O_TMPFILE)
// As kova names a nameless file: directly where the process may, else
// through its /proc entry.
bool Name(int file, int directory, const char* name) {
    if (linkat(file, "", directory, name, AT_EMPTY_PATH) == 0) return true;
    char own[64];
    std::snprintf(own, sizeof own, "/proc/self/fd/%d", file);
    return linkat(AT_FDCWD, own, directory, name, AT_SYMLINK_FOLLOW) == 0;
}
#endif

int main(int argc, char** argv) {
    bool in_place = argc == 5 && std::strcmp(argv[4], "--in-place") == 0;
    if (argc != 4 && !in_place) {
        std::fprintf(stderr, "usage: create_floor OUT_DIR COUNT SIZE [--in-place]\n");
        return 2;
    }
    const char* path = argv[1];
    long count = std::atol(argv[2]), size = std::atol(argv[3]);
    if (count < 0 || size < 0) return 2;
    if (mkdir(path, 0777) != 0 && errno != EEXIST) {
        std::perror(path);
        return 1;
    }
    int directory = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        std::perror(path);
        return 1;
    }
    std::vector<char> content(static_cast<size_t>(size), 'k');
    for (long n = 0; n < count; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "sound_%05ld.WAV", n);
        if (in_place) {
            int file = openat(directory, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            bool written = file >= 0 && write(file, content.data(), content.size()) == static_cast<ssize_t>(content.size());
            if (file >= 0) close(file);
            if (!written) {
                std::perror(name);
                return 1;
            }
            continue;
        }
#if defined(O_TMPFILE)
        int file = openat(directory, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        bool named = file >= 0 && write(file, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
                     Name(file, directory, name);
#else
        int file = -1;
        bool named = false;
#endif
        if (file >= 0) close(file);
        if (!named) {
            std::perror(name);
            return 1;
        }
    }
    close(directory);
    return 0;
}
