#include "ItemTable.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "IndexFile.h"
#include "ItemSchema.h"

namespace store {

const char* const kNotItemTableMessage =
    "This DBase file was not created with Halvenor Inventory 95.  It cannot be opened.  You may, however, import "
    "data from this file using the import function.";

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return s;
}

bool Exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string ExpandPath(const std::string& path) {
    if (path.empty()) return path;
    std::string abs = path;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) abs = std::string(cwd) + "/" + path;
    }
    // Fold "." and ".." and doubled separators without touching the disk.
    std::string out;
    size_t i = 0;
    std::vector<std::string> parts;
    while (i <= abs.size()) {
        const size_t j = abs.find('/', i);
        const std::string part = abs.substr(i, j == std::string::npos ? std::string::npos : j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (j == std::string::npos) break;
        i = j + 1;
    }
    for (const auto& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string DirectoryOf(const std::string& path) {
    const std::string abs = ExpandPath(path);
    const auto slash = abs.rfind('/');
    if (slash == 0 || slash == std::string::npos) return "/";
    return abs.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TableNameOf(const std::string& path) {
    const std::string name = FileNameOf(path);
    const auto dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void PointAt(Table& table, const std::string& path) {
    table.Close();
    table.SetDirectory(DirectoryOf(path));
    table.SetTableName(FileNameOf(ExpandPath(path)));
}

bool MakeNewDB(Table& createTable, Table& checkTable, const std::string& path, std::string* message) {
    if (Exists(path) && DBaseInUse(checkTable, path)) {
        if (message)
            *message = "The table \"" + path + "\" is currently in use by another program.  New table creation will be aborted.";
        return false;
    }
    PointAt(createTable, path);
    createTable.Create(ItemTableFieldDefs());
    return Exists(path);
}

bool CheckDBaseFormat(Table& checkTable, const std::string& path, std::string* message) {
    // Looking at a file never writes into it: only the header is read (the
    // index, a large file beside a large table, is the open's business);
    // only an item table whose index file is gone loses the flag
    // announcing it, afterwards.
    PointAt(checkTable, path);
    const std::string dataPath = checkTable.DataFilePath();
    bool valid = false;
    {
        DbfFile file;
        file.Open(dataPath, DbfFile::Access::ReadOnly);
        const RecordLayout& layout = file.Layout();
        valid = layout.FieldCount() == kItemFieldCount;
        for (int i = 0; valid && i < kItemFieldCount; ++i)
            valid = Upper(layout.Field(i).name) == Upper(std::string(SchemaAt(i + 1).name));
    }
    const bool indexGone = !Exists(checkTable.IndexFilePath());
    if (valid && indexGone) RemoveMDXByte(dataPath);
    if (!valid && message) *message = kNotItemTableMessage;
    return valid;
}

void RemoveMDXByte(const std::string& path) {
    // Only a file that reads as a dBASE table, under its write lock, and
    // only while no index file has come back in the meantime.
    try {
        DbfFile file;
        file.Open(path, DbfFile::Access::Shared);
        if (!Exists(IndexPathFor(path))) file.SetProductionIndexFlag(false);
    } catch (const EngineError&) {
        // Held, unwritable or not a table: left as it is.
    }
}

bool DBaseInUse(Table& checkTable, const std::string& path) {
    try {
        PointAt(checkTable, path);
        checkTable.SetReadOnly(true);
        checkTable.SetExclusive(true);
        checkTable.SetActiveIndex("");
        checkTable.Open();
        checkTable.Close();
        checkTable.SetExclusive(false);
        checkTable.SetReadOnly(false);
        return false;
    } catch (const EngineError&) {
        checkTable.Close();
        checkTable.SetExclusive(false);
        checkTable.SetReadOnly(false);
        return true;
    }
}

}  // namespace store
