#pragma once
// What must hold of a table after any sequence of changes, however it was
// interrupted: every index tag orders exactly the live records by its key,
// and the data file's header, length and end mark agree. Each check returns
// what is wrong, or an empty text; the fuzz targets, the kill trials and the
// tests share them.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Expression.h"
#include "Table.h"

namespace testsupport {

// Keys compare by bytes, the shorter one padded with blanks.
inline int CompareKeys(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    if (const int c = std::memcmp(a.data(), b.data(), n)) return c;
    const std::string& longer = a.size() > n ? a : b;
    const int sign = a.size() > n ? 1 : -1;
    for (size_t i = n; i < longer.size(); ++i) {
        const auto u = static_cast<unsigned char>(longer[i]);
        if (u != ' ') return u > ' ' ? sign : -sign;
    }
    return 0;
}

// The deletion flag of a record: the byte before its first field.
inline char FlagOf(const store::RecordView& v) { return (v.Raw(0).data() - v.Layout().Offset(0))[0]; }

// The live records in physical order, as the data file's flags say (only a
// blank flag is live).
inline std::vector<uint32_t> LiveRecords(store::Table& t) {
    std::vector<uint32_t> live;
    for (uint32_t r = 0; r < t.PhysicalCount(); ++r)
        if (FlagOf(t.ViewOf(r)) == ' ') live.push_back(r);
    return live;
}

// Every tag delivers the live records, each once, in key order. The table
// must be open and unfiltered; its active tag is put back afterwards.
inline std::string TagOrderProblem(store::Table& t) {
    const std::string active = t.ActiveIndex();
    const std::vector<uint32_t> live = LiveRecords(t);
    std::string problem;
    t.SetActiveIndex("");
    if (t.DeliveredRecords() != live) problem = "the physical order differs from the live records";
    for (const std::string& name : t.IndexNames()) {
        if (!problem.empty()) break;
        t.SetActiveIndex(name);
        const std::vector<uint32_t> order = t.DeliveredRecords();
        std::vector<uint32_t> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        if (sorted != live) {
            problem = "tag " + name + " does not order exactly the live records";
            break;
        }
        const store::Expression expr(t.IndexExpression(name), t.Layout());
        std::string previous, key;
        for (size_t i = 0; i < order.size(); ++i) {
            try {
                expr.Key(t.ViewOf(order[i]), key);
            } catch (const store::EngineError&) {
                key.clear();  // the engine sorts such a record first
            }
            if (i > 0) {
                const int c = CompareKeys(previous, key);
                if (!(c < 0 || (c == 0 && order[i - 1] < order[i]))) {
                    problem = "tag " + name + " is out of key order at position " + std::to_string(i);
                    break;
                }
            }
            previous.swap(key);
        }
    }
    t.SetActiveIndex(active);
    return problem;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

// The data file as any reader finds it: a header whose record length is the
// sum of its fields, at least as many bytes as the counted records need, the
// end mark right after the last counted record, and records flagged live or
// deleted. exactLength: nothing may follow the end mark (a table at rest).
// One counted record may start with the end mark: an append stopped just
// before its last byte, which the next writable open marks deleted.
inline std::string FileShapeProblem(const std::string& path, bool exactLength) {
    const std::string bytes = ReadWholeFile(path);
    if (bytes.size() < 32) return "the header is cut short";
    auto le = [&](size_t at, int width) {
        uint32_t v = 0;
        for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + size_t(i)]);
        return v;
    };
    const uint32_t count = le(4, 4), headerLength = le(8, 2), recordLength = le(10, 2);
    if (headerLength < 33 || headerLength > bytes.size()) return "the header length does not fit the file";
    uint32_t sum = 1;
    size_t pos = 32;
    for (; pos + 32 <= headerLength && bytes[pos] != 0x0D; pos += 32) sum += static_cast<unsigned char>(bytes[pos + 16]);
    if (pos >= headerLength || bytes[pos] != 0x0D) return "the field descriptors are not terminated";
    if (sum != recordLength) return "the record length disagrees with the fields";
    const uint64_t end = uint64_t(headerLength) + uint64_t(count) * recordLength;
    if (bytes.size() < end + 1) return "the file is shorter than its counted records and end mark";
    if (bytes[end] != 0x1A) return "the end mark does not follow the last counted record";
    if (exactLength && bytes.size() != end + 1) return "bytes follow the end mark";
    int interrupted = 0;
    for (uint32_t r = 0; r < count; ++r) {
        const char flag = bytes[headerLength + size_t(r) * recordLength];
        if (flag == 0x1A && ++interrupted == 1) continue;
        if (flag != ' ' && flag != '*') return "record " + std::to_string(r + 1) + " has a flag that is neither live nor deleted";
    }
    return {};
}

}  // namespace testsupport
