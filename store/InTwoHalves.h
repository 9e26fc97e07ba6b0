#pragma once
// Long passes over a table's records that read the mapping and write only
// what is their own: run as two halves at once when the machine has a
// second processor.

#include <cstdint>
#include <optional>
#include <system_error>
#include <thread>

namespace store {

// Records at least this many are worth a second thread for the half of
// them: below it, starting the thread costs more than it saves.
constexpr uint32_t kWorthAThread = 1u << 17;

// Runs work(0, half) here and work(half, count) on a thread of its own when
// the machine has a second processor and count is worth it, else
// work(0, count). work must not throw, and neither half may write what the
// other reads.
template <typename Work>
void InTwoHalves(uint32_t count, Work&& work) {
    if (count >= kWorthAThread && std::thread::hardware_concurrency() > 1) {
        const uint32_t half = count / 2;
        std::optional<std::thread> other;
        try {
            other.emplace(work, half, count);
        } catch (const std::system_error&) {
            // No thread to be had: all of it here.
        }
        if (other) {
            work(0, half);
            other->join();
            return;
        }
    }
    work(0, count);
}

}  // namespace store
