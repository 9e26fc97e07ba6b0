// Any bytes as one record of the report definition file, and as one record
// of the older report file. Decoding never reads outside the record and
// corrects what is out of range; what it gives is safe to store: encoded and
// decoded again it needs no correction and comes back unchanged.

#include <algorithm>
#include <vector>

#include "FuzzSupport.h"
#include "ReportDefinition.h"
#include "ReportFileSetup.h"

namespace {

void CheckStorable(const reports::ReportDefinition& def) {
    const std::vector<uint8_t> bytes = reports::EncodeDefinition(def);
    fuzzsupport::Require(bytes.size() == size_t(reports::kRecordSize), "an encoded definition has the wrong size");
    const reports::DecodedDefinition again = reports::DecodeDefinition(bytes);
    fuzzsupport::Require(again.problems.empty(), "a decoded definition needs correcting when read back");
    fuzzsupport::Require(again.definition == def, "a decoded definition changes when stored and read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> record(data, data + std::min(size, size_t(reports::kRecordSize)));
    record.resize(size_t(reports::kRecordSize), 0);
    (void)reports::DecodeName(record);
    const reports::DecodedDefinition decoded = reports::DecodeDefinition(record);
    CheckStorable(decoded.definition);

    // The older record is shorter; the same bytes serve.
    const std::vector<uint8_t> old(record.begin(), record.begin() + reports::kOldRecordSize);
    const reports::ReportDefinition converted = reports::ConvertOldRecord(old);
    CheckStorable(converted);
    (void)reports::ReplacedByDefault(converted.name);
    return 0;
}
