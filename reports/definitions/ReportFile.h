#pragma once
// The report definition file KELDOR.URP: report definition records one after
// the other, no header. A definition is known only by its position, which is
// also its place in the report list.
//
// Writing one definition is a single write of its record; deleting and the
// start-up repairs rewrite the whole file through a temporary file, fsync and
// rename, so a crash leaves the old file or the new one. Two copies of the
// program serialise their changes with a lock on the file.
//
// Every failure is a ReportFileError carrying a message for the user; a file
// is never read past its end, and damaged records are corrected as they are
// read (DecodedDefinition::problems says what was corrected).

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "ReportDefinition.h"

namespace reports {

inline constexpr const char* kReportFileName = "KELDOR.URP";
inline constexpr const char* kOldReportFileName = "HOME.URP";
// No report definition file holds this many definitions; a larger file is
// refused whole, never read or copied.
inline constexpr int kLargestDefinitionCount = 2000;
inline constexpr uint64_t kLargestReportFile = uint64_t(kRecordSize) * kLargestDefinitionCount;

class ReportFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Said of a file larger than kLargestReportFile.
std::string TooLargeMessage(const std::string& path, uint64_t size);

class ReportFile {
public:
    explicit ReportFile(std::string path) : m_path(std::move(path)) {}

    // The file of that name in the folder, found in any letter case; the
    // upper-case name when there is none.
    static std::string PathIn(const std::string& dir, const char* name = kReportFileName);

    const std::string& Path() const { return m_path; }
    bool Exists() const;
    // Number of whole records; 0 when the file is missing.
    int Count() const;
    // Every report name in file order; empty when the file is missing.
    std::vector<std::string> Names() const;

    // Record k (from 0).
    DecodedDefinition Read(int k) const;
    // Replaces record k, which must exist (0 to Count() - 1).
    void Write(int k, const ReportDefinition& def);
    // Adds the definition after the last record and returns its position.
    // A failed append leaves the file as it was.
    int Append(const ReportDefinition& def);
    // Removes record k; later records move down by one.
    void Delete(int k);

    // Replaces the whole file with these bytes, atomically.
    void Replace(const std::vector<uint8_t>& bytes);
    // The whole file (empty when missing).
    std::vector<uint8_t> ReadAll() const;

private:
    std::string m_path;
};

// Writes bytes to a temporary file beside path, syncs it and renames it over
// path. Throws ReportFileError and leaves no temporary file on failure.
void ReplaceFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace reports
