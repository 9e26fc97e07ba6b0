// Any bytes as the report definition file and the older report file in the
// folder start-up prepares. Preparing never fails outright; afterwards the
// definition file holds whole records only, each of which reads, and
// nothing but that file and the kept copy of a damaged one is left.

#include <fuzzer/FuzzedDataProvider.h>

#include <dirent.h>

#include "FuzzSupport.h"
#include "ReportFile.h"
#include "ReportFileSetup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    FuzzedDataProvider in(data, size);
    const std::string dir = fuzzsupport::Scratch();
    // Lengths near whole records are the interesting ones.
    auto part = [&](size_t record) {
        const size_t records = in.ConsumeIntegralInRange<size_t>(0, 2);
        const int off = in.ConsumeIntegralInRange<int>(-2, 2);
        const size_t want = size_t(std::max<long>(0, long(records * record) + off));
        return in.ConsumeBytesAsString(want);
    };
    const bool current = in.ConsumeBool(), older = in.ConsumeBool();
    const std::string currentBytes = part(size_t(reports::kRecordSize));
    const std::string olderBytes = part(size_t(reports::kOldRecordSize));
    if (current) fuzzsupport::WriteFile(dir + "/KELDOR.URP", currentBytes);
    if (older) fuzzsupport::WriteFile(dir + "/home.urp", olderBytes);

    (void)reports::PrepareReportFiles(dir);

    reports::ReportFile file(reports::ReportFile::PathIn(dir));
    const std::vector<uint8_t> bytes = file.ReadAll();
    fuzzsupport::Require(bytes.size() % size_t(reports::kRecordSize) == 0, "the definition file holds a part record");
    for (int k = 0; k < file.Count(); ++k) (void)file.Read(k);
    (void)file.Names();
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            fuzzsupport::Require(name == "." || name == ".." || name == "KELDOR.URP" || name.find(".BAD") != std::string::npos,
                                 "a file other than the definition file and its damaged copy was left");
        }
        ::closedir(d);
    }
    return 0;
}
