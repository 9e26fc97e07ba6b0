#pragma once
// What the benchmarks share around their runs: the resident heap they
// take, and a temporary folder for each size of the command line, emptied
// between sizes and removed at the end.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "BenchSizes.h"

namespace bench {

// Resident anonymous memory (the heap, not mapped files), in MB.
inline double AnonMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        long kb = 0;
        if (key == "RssAnon:" && status >> kb) return double(kb) / 1024.0;
        std::getline(status, key);
    }
    return 0;
}

// run(size, folder) for each size given (10k, 100k and 1M when none); the
// exit status: 2 for bad sizes, 1 when a run returned false.
template <class Run>
int RunSizes(int argc, char** argv, const char* prefix, Run run) {
    namespace fs = std::filesystem;
    const auto sizes = SizesFromArguments(argc, argv);
    if (!sizes) return 2;
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("cannot create a temporary folder");
        return 1;
    }
    bool ok = true;
    for (uint32_t n : *sizes) {
        ok = run(n, pattern) && ok;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(pattern, ignored)) fs::remove_all(entry.path(), ignored);
    }
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return ok ? 0 : 1;
}

}  // namespace bench
