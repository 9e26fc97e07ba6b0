#include "Manifest.h"

#include <unordered_map>

namespace attachments {
namespace {

constexpr size_t kMaxProblems = 20;

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsLowerAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool ValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = uint8_t(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n;
        uint32_t cp;
        if ((c & 0xE0) == 0xC0) n = 1, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0) n = 2, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0) n = 3, cp = c & 0x07;
        else return false;
        if (i + n >= s.size()) return false;
        for (size_t k = 1; k <= n; ++k) {
            const auto d = uint8_t(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

std::string Escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += (uint8_t(c) < 0x20 || c == 0x7F) ? ' ' : c;
        }
    }
    return out;
}

std::optional<std::string> Unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\') {
            out += (uint8_t(c) < 0x20 || c == 0x7F) ? ' ' : c;
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return std::nullopt;
        }
    }
    return out;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return parts;
        start = tab + 1;
        if (parts.size() > 16) return parts;  // more fields than any line has: refused by the caller
    }
}

std::optional<uint64_t> Decimal(std::string_view text, uint64_t max) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + uint64_t(c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}

std::optional<Fingerprint> ParseFingerprint(std::string_view text) {
    if (text.size() != 16) return std::nullopt;
    Fingerprint value = 0;
    for (const char c : text) {
        if (!IsHex(c)) return std::nullopt;
        value = (value << 4) | Fingerprint(HexValue(c));
    }
    return value;
}

std::string FingerprintText(Fingerprint f) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i) {
        out[size_t(i)] = kDigits[f & 0xF];
        f >>= 4;
    }
    return out;
}

class Reader {
public:
    explicit Reader(ManifestReading& out) : m_out(out) {}

    void Problem(size_t line, const std::string& what) {
        m_out.damaged = true;
        ++m_problemCount;
        if (m_out.problems.size() < kMaxProblems)
            m_out.problems.push_back("Line " + std::to_string(line) + ": " + what);
    }
    void Finish() {
        if (m_problemCount > kMaxProblems)
            m_out.problems.push_back("... and " + std::to_string(m_problemCount - kMaxProblems) +
                                     " more lines that could not be read.");
    }

    void Item(size_t n, const std::vector<std::string_view>& f) {
        m_current = nullptr;
        if (f.size() != 4) return Problem(n, "an item line needs a record, a fingerprint and a name.");
        ItemEntry entry;
        if (f[1] != "-") {
            const auto number = Decimal(f[1], 0xFFFFFFFFull);
            if (!number || *number == 0) return Problem(n, "\"" + Shown(f[1]) + "\" is not a record number.");
            entry.record = uint32_t(*number - 1);
        }
        const std::string_view prints = f[2];
        const size_t slash = prints.find('/');
        const auto first = ParseFingerprint(prints.substr(0, slash));
        std::optional<Fingerprint> second;
        if (slash != std::string_view::npos) {
            second = ParseFingerprint(prints.substr(slash + 1));
            if (!second) return Problem(n, "\"" + Shown(prints) + "\" is not a fingerprint.");
        }
        if (!first) return Problem(n, "\"" + Shown(prints) + "\" is not a fingerprint.");
        entry.fingerprint = *first;
        entry.nextFingerprint = second;
        auto label = Text(n, f[3]);
        if (!label) return;
        entry.label = std::move(*label);
        std::vector<ItemEntry>& items = m_out.manifest.items;
        if (entry.record) {
            const auto known = m_byRecord.find(*entry.record);
            if (known != m_byRecord.end()) {
                // The files of both lines stay with the record, in order.
                Problem(n, "record " + std::to_string(*entry.record + 1) + " is listed twice; its files were joined.");
                m_current = &items[known->second];
                return;
            }
            m_byRecord.emplace(*entry.record, items.size());
        }
        items.push_back(std::move(entry));
        m_current = &items.back();
    }

    void File(size_t n, const std::vector<std::string_view>& f) {
        if (f.size() != 5) return Problem(n, "a file line needs a stored name, a kind, a name and a caption.");
        if (!m_current) {
            if (!m_orphanTold) Problem(n, "file lines that belong to no readable item line were left out.");
            m_orphanTold = true;
            return;
        }
        Attachment a;
        if (!ValidStoredName(f[1])) return Problem(n, "\"" + Shown(f[1]) + "\" is not the name of a stored file.");
        a.stored = std::string(f[1]);
        const auto kind = KindFromName(f[2]);
        if (!kind) return Problem(n, "\"" + Shown(f[2]) + "\" is not a kind of attachment.");
        a.kind = *kind;
        auto original = Text(n, f[3]);
        if (!original) return;
        auto caption = Text(n, f[4]);
        if (!caption) return;
        a.original = std::move(*original);
        a.caption = std::move(*caption);
        m_current->files.push_back(std::move(a));
        ++m_files;
    }

    void End(size_t n, const std::vector<std::string_view>& f) {
        m_current = nullptr;
        m_ended = true;
        if (f.size() != 3) return Problem(n, "the end line needs the counts of items and files.");
        const auto items = Decimal(f[1], 0xFFFFFFFFull);
        const auto files = Decimal(f[2], 0xFFFFFFFFull);
        if (!items || !files) return Problem(n, "the end line's counts are not numbers.");
        if (*items != m_out.manifest.items.size() || *files != m_files)
            m_countsDiffer = true;
    }

    bool Ended() const { return m_ended; }
    bool CountsDiffer() const { return m_countsDiffer && !m_out.damaged; }

private:
    static std::string Shown(std::string_view text) {
        std::string shown;
        for (const char c : text.substr(0, 40)) shown += (uint8_t(c) < 0x20) ? '?' : c;
        if (text.size() > 40) shown += "...";
        return shown;
    }

    std::optional<std::string> Text(size_t n, std::string_view raw) {
        if (raw.size() > kMaxTextBytes * 2) {
            Problem(n, "a text is longer than " + std::to_string(kMaxTextBytes) + " bytes.");
            return std::nullopt;
        }
        auto text = Unescaped(raw);
        if (!text) {
            Problem(n, "a backslash is not followed by \\, t, n or r.");
            return std::nullopt;
        }
        if (text->size() > kMaxTextBytes) {
            Problem(n, "a text is longer than " + std::to_string(kMaxTextBytes) + " bytes.");
            return std::nullopt;
        }
        return text;
    }

    ManifestReading& m_out;
    ItemEntry* m_current = nullptr;
    std::unordered_map<uint32_t, size_t> m_byRecord;
    size_t m_files = 0;
    size_t m_problemCount = 0;
    bool m_orphanTold = false;
    bool m_ended = false;
    bool m_countsDiffer = false;
};

}  // namespace

std::string_view KindName(Kind kind) {
    switch (kind) {
    case Kind::Photo: return "photo";
    case Kind::Receipt: return "receipt";
    case Kind::Document: return "document";
    }
    return "document";
}

std::optional<Kind> KindFromName(std::string_view name) {
    for (Kind k : {Kind::Photo, Kind::Receipt, Kind::Document})
        if (KindName(k) == name) return k;
    return std::nullopt;
}

bool ValidStoredName(std::string_view name) {
    if (name.size() < 64) return false;
    for (size_t i = 0; i < 64; ++i)
        if (!IsHex(name[i]) || (name[i] >= 'A' && name[i] <= 'F')) return false;
    if (name.size() == 64) return true;
    if (name[64] != '.' || name.size() < 66 || name.size() > 75) return false;
    for (size_t i = 65; i < name.size(); ++i)
        if (!IsLowerAlnum(name[i])) return false;
    return true;
}

std::string StoredExtension(std::string_view originalName) {
    const size_t slash = originalName.find_last_of('/');
    if (slash != std::string_view::npos) originalName.remove_prefix(slash + 1);
    const size_t dot = originalName.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    std::string ext;
    for (const char c : originalName.substr(dot + 1)) {
        const char lower = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        if (!IsLowerAlnum(lower)) return {};
        ext += lower;
    }
    if (ext.empty() || ext.size() > 10) return {};
    return ext;
}

ManifestReading ReadManifest(std::string_view text) {
    ManifestReading out;
    if (text.size() > kMaxManifestBytes) {
        out.damaged = true;
        out.problems.push_back("The list of attachments is larger than " + std::to_string(kMaxManifestBytes >> 20) +
                               " MB and was not read.");
        return out;
    }
    Reader reader(out);
    size_t start = 0;
    size_t n = 0;
    bool headerSeen = false;
    bool cut = false;
    while (start < text.size()) {
        ++n;
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            // The last line has no line end: the file was cut short.
            cut = true;
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!headerSeen) {
            if (line != kManifestHeader) {
                out.damaged = true;
                if (line.rfind("Halvenor Inventory attachments ", 0) == 0)
                    out.problems.push_back("The list of attachments was written by a later version of the program "
                                           "and was not read.");
                else
                    out.problems.push_back("The file is not a list of attachments and was not read.");
                return out;
            }
            headerSeen = true;
            continue;
        }
        if (cut) break;  // a line without its end is not trusted
        if (line.empty()) continue;
        if (line.size() > kMaxLineBytes) {
            reader.Problem(n, "the line is longer than " + std::to_string(kMaxLineBytes) + " bytes.");
            continue;
        }
        if (reader.Ended()) {
            reader.Problem(n, "there is text after the end line.");
            break;
        }
        if (!ValidUtf8(line)) {
            reader.Problem(n, "the line is not UTF-8 text.");
            continue;
        }
        const std::vector<std::string_view> f = SplitTabs(line);
        if (f[0] == "item") reader.Item(n, f);
        else if (f[0] == "file") reader.File(n, f);
        else if (f[0] == "end") reader.End(n, f);
        else if (f[0] == "packed" && n == 2 && f.size() == 2 && Decimal(f[1], 0xFFFFFFFFull))
            out.manifest.packedCount = uint32_t(*Decimal(f[1], 0xFFFFFFFFull));
        else reader.Problem(n, "the line is not an item, file or end line.");
    }
    if (!headerSeen) {
        out.damaged = true;
        out.problems.push_back("The list of attachments is empty.");
        return out;
    }
    if (!reader.Ended()) {
        out.damaged = true;
        out.problems.push_back("The list of attachments is cut short: the items after line " + std::to_string(n - 1) +
                               " are missing.");
    } else if (reader.CountsDiffer()) {
        out.damaged = true;
        out.problems.push_back("The counts on the end line do not match the lines above it.");
    }
    reader.Finish();
    return out;
}

std::string WriteManifest(const Manifest& manifest) {
    std::string out;
    size_t files = 0;
    for (const ItemEntry& e : manifest.items) files += e.files.size();
    out.reserve(64 + manifest.items.size() * 48 + files * 120);
    out += kManifestHeader;
    out += '\n';
    if (manifest.packedCount) out += "packed\t" + std::to_string(*manifest.packedCount) + "\n";
    for (const ItemEntry& e : manifest.items) {
        out += "item\t";
        out += e.record ? std::to_string(uint64_t(*e.record) + 1) : std::string("-");
        out += '\t';
        out += FingerprintText(e.fingerprint);
        if (e.nextFingerprint) out += '/' + FingerprintText(*e.nextFingerprint);
        out += '\t';
        out += Escaped(e.label);
        out += '\n';
        for (const Attachment& a : e.files) {
            out += "file\t";
            out += a.stored;
            out += '\t';
            out += KindName(a.kind);
            out += '\t';
            out += Escaped(a.original);
            out += '\t';
            out += Escaped(a.caption);
            out += '\n';
        }
    }
    out += "end\t" + std::to_string(manifest.items.size()) + "\t" + std::to_string(files) + "\n";
    return out;
}

}  // namespace attachments
