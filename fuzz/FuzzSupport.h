#pragma once
// What the fuzz targets share: a private scratch folder (in memory where the
// machine has one, since every run writes files), whole files written from
// the fuzzer's bytes, and the rule that a reader may refuse bad bytes only
// with its own error type. Anything else escaping a reader is a fault and
// ends the run, so that libFuzzer keeps the input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzzsupport {

// A folder of this process's own, created on first use and emptied by
// Clear(); what a run leaves there must not reach the next one.
inline const std::string& Scratch() {
    static const std::string dir = [] {
        struct stat st {};
        const std::string base = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
        std::string templ = base + "/halvenor-fuzz-XXXXXX";
        if (!::mkdtemp(templ.data())) std::abort();
        // Removed when the fuzzer exits normally; a crash leaves it to look at.
        static std::string removeAtExit = templ;
        std::atexit([] {
            if (DIR* d = ::opendir(removeAtExit.c_str())) {
                while (dirent* e = ::readdir(d))
                    if (e->d_name[0] != '.') ::unlink((removeAtExit + "/" + e->d_name).c_str());
                ::closedir(d);
            }
            ::rmdir(removeAtExit.c_str());
        });
        return templ;
    }();
    return dir;
}

inline std::string ScratchPath(const std::string& name) { return Scratch() + "/" + name; }

// Removes every file in the scratch folder.
inline void Clear() {
    if (DIR* d = ::opendir(Scratch().c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ::unlink(ScratchPath(e->d_name).c_str());
        ::closedir(d);
    }
}

inline void WriteFile(const std::string& path, const void* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n <= 0) std::abort();
        p += n;
        size -= size_t(n);
    }
    ::close(fd);
}

inline void WriteFile(const std::string& path, std::string_view bytes) { WriteFile(path, bytes.data(), bytes.size()); }

// A property every input must keep; breaking it is a fault like a crash.
inline void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

// A check that describes what is wrong, or nothing.
inline void RequireNone(const std::string& problem) {
    if (problem.empty()) return;
    std::fprintf(stderr, "fuzz property broken: %s\n", problem.c_str());
    std::abort();
}

}  // namespace fuzzsupport
