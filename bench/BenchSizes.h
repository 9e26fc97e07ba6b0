#pragma once
// The table sizes a benchmark runs at, from its command line: numbers such
// as 10000, 100k or 1M; 10k, 100k and 1M when none are given.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

namespace bench {

inline std::optional<uint32_t> ParseSize(std::string_view arg) {
    uint64_t factor = 1;
    if (!arg.empty() && (arg.back() == 'k' || arg.back() == 'K')) {
        factor = 1000;
        arg.remove_suffix(1);
    } else if (!arg.empty() && (arg.back() == 'm' || arg.back() == 'M')) {
        factor = 1000000;
        arg.remove_suffix(1);
    }
    if (arg.empty() || arg.size() > 9) return std::nullopt;
    uint64_t n = 0;
    for (char c : arg) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + uint64_t(c - '0');
    }
    n *= factor;
    if (n == 0 || n > 50000000) return std::nullopt;
    return uint32_t(n);
}

// Empty after printing the usage when an argument is no size.
inline std::optional<std::vector<uint32_t>> SizesFromArguments(int argc, char** argv) {
    std::vector<uint32_t> sizes;
    for (int i = 1; i < argc; ++i) {
        const auto size = ParseSize(argv[i]);
        if (!size) {
            std::fprintf(stderr, "usage: %s [size ...]   sizes such as 10000, 100k or 1M (default 10k 100k 1M)\n",
                         argv[0]);
            return std::nullopt;
        }
        sizes.push_back(*size);
    }
    if (sizes.empty()) sizes = {10000, 100000, 1000000};
    return sizes;
}

}  // namespace bench
