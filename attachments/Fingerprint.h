#pragma once
// The fingerprint of an item: a 64-bit hash of the stored values of its
// identifying fields (Item, Brand, Model, Serial, PurchDate), trailing
// blanks left out. It ties an item's attachments to its record when record
// numbers cannot be trusted: after another program rewrote the table, or a
// pack was cut short.

#include <array>
#include <cstdint>

#include "Manifest.h"
#include "RecordLayout.h"

namespace attachments {

class FingerprintFields {
public:
    // The identifying fields of a table by name; a field the table lacks
    // counts as empty.
    explicit FingerprintFields(const store::RecordLayout& layout);
    Fingerprint Of(const store::RecordView& record) const;
    // Of a raw record of the layout's length.
    Fingerprint Of(const char* record) const;
    // The Item field's text, for messages; empty when it cannot be read.
    std::string Label(const store::RecordView& record) const;

private:
    const store::RecordLayout* m_layout;
    std::array<int, 5> m_fields{};
};

}  // namespace attachments
