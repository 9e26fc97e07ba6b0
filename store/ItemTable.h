#pragma once
// Creating item tables, telling whether a .DBF file is one, repairing the
// header of a table whose index file has gone, and telling whether a table
// file is in use elsewhere. Each works on a table handle of its own (the
// create table or the check table), never on the open item table. Refusals
// come back as the message the user is to see; engine errors are thrown.

#include <string>

#include "Table.h"

namespace store {

// Absolute form of a path, its folder and its file name.
std::string ExpandPath(const std::string& path);
std::string DirectoryOf(const std::string& path);
std::string FileNameOf(const std::string& path);
// The file name up to its first "." (the name shown in the caption).
std::string TableNameOf(const std::string& path);

// Points a handle at the data file at path (folder and full file name).
void PointAt(Table& table, const std::string& path);

// Creates an empty item table at path, replacing a file nobody holds. When
// another program holds the file, returns false with *message set.
bool MakeNewDB(Table& createTable, Table& checkTable, const std::string& path, std::string* message);

// True when the file is an item table: exactly the 22 schema field names in
// order, letter case ignored. Otherwise false with *message set. A missing
// or unreadable file throws EngineError. The file is only read; an item
// table whose index file is gone then has its header flag cleared.
bool CheckDBaseFormat(Table& checkTable, const std::string& path, std::string* message);

// Clears header byte 28 (the production index flag) of a dBASE table whose
// index file is missing, under the table's write lock. Quietly does nothing
// when the file cannot be opened for writing or is not a dBASE table.
void RemoveMDXByte(const std::string& path);

// True when the table file cannot be opened exclusively.
bool DBaseInUse(Table& checkTable, const std::string& path);

extern const char* const kNotItemTableMessage;

}  // namespace store
