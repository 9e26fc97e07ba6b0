#include "FieldText.h"

#include <cstdint>
#include <cstring>

#include "CodePage.h"
#include "EngineError.h"

namespace exchange {
namespace {

// A text field's bytes without the blanks (or zeros) that pad it; wide
// fields are mostly padding, skipped eight bytes at a time.
std::string_view WithoutPadding(std::string_view raw) {
    constexpr uint64_t kBlanks = 0x2020202020202020ULL;
    while (raw.size() >= 8) {
        uint64_t tail;
        std::memcpy(&tail, raw.data() + raw.size() - 8, 8);
        if (tail != kBlanks) break;
        raw.remove_suffix(8);
    }
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0')) raw.remove_suffix(1);
    return raw;
}

}  // namespace

// A malformed value goes on as the stored characters rather than stopping
// the run: nothing is lost and the result says what the table holds.
std::string_view FieldText(const store::RecordView& view, int field, const store::DateFormat& dates,
                           std::string& scratch) {
    const store::FieldDef& f = view.Layout().Field(field);
    try {
        switch (f.Kind()) {
        case store::FieldKind::String: {
            const std::string_view raw = WithoutPadding(view.Raw(field));
            if (store::CodePage::IsAscii(raw)) return raw;
            scratch = view.Layout().Page().Decode(raw);
            return scratch;
        }
        case store::FieldKind::Date: {
            const auto d = view.DateValue(field);
            if (!d) return {};
            scratch = dates.Format(*d);
            return scratch;
        }
        default:
            scratch = view.Text(field);
            return scratch;
        }
    } catch (const store::EngineError&) {
        scratch = view.DisplayText(field);
        return scratch;
    }
}

}  // namespace exchange
