#pragma once
// A field's text as export and import pass it on: what the engine gives
// for editing, taken straight from the record's bytes where they are
// already that text (plain ASCII in a text field), so that a run over a
// million records does not copy every value twice.

#include <string>
#include <string_view>

#include "DateFormat.h"
#include "RecordLayout.h"

namespace exchange {

// Points into the record where it can and into scratch otherwise. Dates
// are written in the given format. A stored value the engine cannot read
// as its kind comes back as the stored characters instead of an error.
std::string_view FieldText(const store::RecordView& view, int field, const store::DateFormat& dates,
                           std::string& scratch);

}  // namespace exchange
