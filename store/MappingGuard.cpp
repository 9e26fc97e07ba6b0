#include "MappingGuard.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace store {
namespace {

struct GuardedMapping {
    std::atomic<const char*> start{nullptr};
    std::atomic<size_t> length{0};
    std::atomic<bool> cut{false};
};

constexpr int kGuardSlots = 256;
GuardedMapping g_guarded[kGuardSlots];
struct sigaction g_previousBus {};
uintptr_t g_pageMask = ~uintptr_t(4095);
std::once_flag g_busInstalled;

void OnBus(int signo, siginfo_t* info, void* context) {
    const char* addr = static_cast<const char*>(info->si_addr);
    for (GuardedMapping& g : g_guarded) {
        const char* start = g.start.load(std::memory_order_acquire);
        const size_t length = g.length.load(std::memory_order_acquire);
        if (!start || addr < start || addr >= start + length) continue;
        char* page = reinterpret_cast<char*>(uintptr_t(addr) & g_pageMask);
        const size_t rest = size_t(start + length - page);
        if (::mmap(page, rest, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) break;
        g.cut.store(true, std::memory_order_release);
        return;
    }
    // Not one of ours: what was installed before decides.
    if ((g_previousBus.sa_flags & SA_SIGINFO) && g_previousBus.sa_sigaction) {
        g_previousBus.sa_sigaction(signo, info, context);
        return;
    }
    if (!(g_previousBus.sa_flags & SA_SIGINFO) && g_previousBus.sa_handler != SIG_DFL &&
        g_previousBus.sa_handler != SIG_IGN) {
        g_previousBus.sa_handler(signo);
        return;
    }
    // The faulting access runs again and ends the program as it would have.
    ::signal(SIGBUS, SIG_DFL);
}

void InstallBusHandler() {
    std::call_once(g_busInstalled, [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        if (page > 0) g_pageMask = ~uintptr_t(page - 1);
        struct sigaction sa {};
        sa.sa_sigaction = OnBus;
        sa.sa_flags = SA_SIGINFO;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGBUS, &sa, &g_previousBus);
    });
}

}  // namespace

int GuardMapping(const char* start, size_t length) {
    InstallBusHandler();
    for (int i = 0; i < kGuardSlots; ++i) {
        const char* empty = nullptr;
        if (g_guarded[i].start.load() == nullptr) {
            g_guarded[i].cut.store(false);
            g_guarded[i].length.store(length);
            if (g_guarded[i].start.compare_exchange_strong(empty, start)) return i;
        }
    }
    return -1;  // more open tables than slots: this one goes unwatched
}

void ReleaseGuard(int slot) {
    if (slot < 0) return;
    g_guarded[slot].start.store(nullptr, std::memory_order_release);
    g_guarded[slot].length.store(0);
    g_guarded[slot].cut.store(false);
}

bool GuardCut(int slot) { return slot >= 0 && g_guarded[slot].cut.load(std::memory_order_acquire); }

}  // namespace store
