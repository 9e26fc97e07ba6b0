#pragma once
// The table the index-file target lays a fuzzed index beside: always the
// same bytes and the same modification time, so that an index file made
// for it once (the seed) still describes it in every run, and mutations of
// the seed reach the tag orders instead of only the stale-index path.

#include <string>
#include <sys/stat.h>
#include <vector>

#include "FuzzSupport.h"
#include "IndexFile.h"
#include "ItemSchema.h"
#include "Table.h"
#include "TableInvariants.h"

namespace fuzzsupport {

constexpr timespec kIndexTableTime = {1000000000, 123456789};

// The data file's bytes: an item table of 40 records, some deleted, its
// header dated 2001-01-01 and announcing its index file.
inline const std::string& IndexHarnessImage() {
    static const std::string image = [] {
        const std::string dir = Scratch();
        Clear();
        store::Table t;
        t.SetDirectory(dir);
        t.SetTableName("I.DBF");
        t.Create(store::ItemTableFieldDefs());
        t.Open();
        const char* categories[] = {"Tools", "kitchen", "Books", "", "Garden", "books"};
        for (int i = 0; i < 40; ++i) {
            t.Append();
            t.SetText("Item", "Item " + std::to_string((i * 17) % 40));
            t.SetText("Category", categories[i % 6]);
            t.SetText("Cost", std::to_string((i * 37) % 101) + ".25");
            if (i % 3) t.SetText("PurchDate", std::to_string(i % 12 + 1) + "/" + std::to_string(i % 28 + 1) + "/19" + std::to_string(60 + i));
            t.Post();
        }
        for (uint32_t r : {3u, 11u, 25u}) {
            t.GoTo(r);
            t.Delete();
        }
        t.Close();
        std::string bytes = testsupport::ReadWholeFile(dir + "/I.DBF");
        Clear();
        if (bytes.size() < 32) std::abort();
        bytes[1] = char(101);
        bytes[2] = 1;
        bytes[3] = 1;
        bytes[28] = 1;
        return bytes;
    }();
    return image;
}

// Lays the data file into the scratch folder with its fixed time.
inline std::string WriteIndexHarnessTable() {
    const std::string path = ScratchPath("I.DBF");
    WriteFile(path, IndexHarnessImage());
    const timespec times[2] = {kIndexTableTime, kIndexTableTime};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    return path;
}

// The state an index made for that file records.
inline store::FileState IndexHarnessState() {
    const std::string& image = IndexHarnessImage();
    auto le = [&](size_t at, int width) {
        uint32_t v = 0;
        for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(image[at + size_t(i)]);
        return v;
    };
    store::FileState s;
    s.size = image.size();
    s.mtimeSec = kIndexTableTime.tv_sec;
    s.mtimeNsec = kIndexTableTime.tv_nsec;
    s.recordCount = le(4, 4);
    s.changeCounter = uint16_t(le(12, 2));
    s.headerDate = le(1, 3);
    return s;
}

}  // namespace fuzzsupport
