#pragma once
// A new file written beside its target under a temporary name and renamed
// over the target only when it is complete. A run that fails or is
// cancelled leaves neither a half-written file under the chosen name nor
// the temporary file: the destructor removes what was not committed.

#include <string>
#include <string_view>

namespace files {

class ReplacementSet;

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates an empty temporary file in the target's folder, its name
    // hidden and ending in suffix (".DBF" for a table the engine writes).
    // Temporary files of this kind that a process no longer running left
    // in the folder (a program killed while it wrote) are removed first,
    // once a replacement such a process left unfinished there is finished.
    // False with *error set when the folder does not take new files.
    bool Reserve(const std::string& target, const std::string& suffix, std::string* error);
    const std::string& TempPath() const { return m_temp; }
    const std::string& Target() const { return m_target; }

    // Writing through this object, buffered; false with *error set when the
    // disk refuses (full, gone).
    bool Write(std::string_view bytes, std::string* error);
    // Flushes the temporary file to the disk (fsync) and closes it: what
    // Commit then renames is known to be complete even after a power cut.
    // Without it Commit only flushes and closes.
    bool Finish(std::string* error);
    // Flushes and closes the temporary file and renames it over the target;
    // after Finish the folder is synced too, so the rename itself lasts.
    bool Commit(std::string* error);
    // Removes the temporary file.
    void Discard();
    // Hands the finished temporary file to a set of replacements that puts
    // it in place together with others; it belongs to the set from then on.
    void AddTo(files::ReplacementSet& set);

private:
    bool Flush(std::string* error);
    std::string Failure(const char* what) const;

    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
    std::string m_buffer;
    bool m_committed = false;
    bool m_durable = false;
};

}  // namespace files
