// Any bytes as the list of an item table's attachments. Reading never
// fails: it keeps what it can use and says what it left out. What it keeps
// is whole: every stored name stays inside the folder, every text within
// its limit, and writing it out and reading it back gives the same list
// with nothing left out.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace attachments;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ManifestReading reading = ReadManifest(text);
    for (const ItemEntry& item : reading.manifest.items) {
        if (item.label.size() > kMaxTextBytes) std::abort();
        for (const Attachment& a : item.files)
            if (!ValidStoredName(a.stored) || a.caption.size() > kMaxTextBytes || a.original.size() > kMaxTextBytes)
                std::abort();
    }
    const std::string written = WriteManifest(reading.manifest);
    const ManifestReading again = ReadManifest(written);
    if (!again.problems.empty() || again.damaged || !(again.manifest == reading.manifest)) std::abort();
    return 0;
}
