#pragma once
// Mappings of tables that survive a file cut short.
//
// The records are read through a shared mapping. When another program cuts
// the file shorter while it is mapped, reading a page past the new end
// raises SIGBUS. The handler lays zero pages over the rest of the mapping
// so the read goes on, and marks the mapping: the next look at the file
// reports it as cut short instead of the program dying.

#include <cstddef>

namespace store {

// Watches the mapping; the slot to ask and release, or -1 when too many
// tables are open to watch one more.
int GuardMapping(const char* start, size_t length);
void ReleaseGuard(int slot);
// Whether a read of the mapping went past the end of its file.
bool GuardCut(int slot);

}  // namespace store
