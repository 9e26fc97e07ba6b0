#include "Fingerprint.h"

#include "EngineError.h"

namespace attachments {

namespace {
constexpr const char* kIdentifying[5] = {"Item", "Brand", "Model", "Serial", "PurchDate"};
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
}  // namespace

FingerprintFields::FingerprintFields(const store::RecordLayout& layout) : m_layout(&layout) {
    for (size_t i = 0; i < m_fields.size(); ++i) m_fields[i] = layout.FieldIndex(kIdentifying[i]);
}

Fingerprint FingerprintFields::Of(const store::RecordView& record) const {
    uint64_t h = kFnvOffset;
    for (size_t i = 0; i < m_fields.size(); ++i) {
        std::string_view value;
        if (m_fields[i] >= 0) value = record.Raw(m_fields[i]);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\0')) value.remove_suffix(1);
        for (const char c : value) {
            h ^= uint8_t(c);
            h *= kFnvPrime;
        }
        // A separator that no stored byte sequence can fake: the field's
        // number and length.
        h ^= uint64_t(i + 1) << 32 | value.size();
        h *= kFnvPrime;
    }
    return h;
}

Fingerprint FingerprintFields::Of(const char* record) const { return Of(store::RecordView(record, *m_layout)); }

std::string FingerprintFields::Label(const store::RecordView& record) const {
    if (m_fields[0] < 0) return {};
    try {
        return record.Text(m_fields[0]);
    } catch (const store::EngineError&) {
        return record.DisplayText(m_fields[0]);
    }
}

}  // namespace attachments
