#pragma once
// The in-memory settings: one record holding every value of the settings
// file, loaded once at start and written whole when the main window closes
// (and when a sort order is chosen). Between those two moments every window
// reads and changes this record only; Load and Save are the only file
// access. Missing keys give their defaults, so a missing file gives a
// complete default record.

#include <QColor>
#include <QString>
#include <array>
#include <utility>
#include <vector>

#include "DisplayScheme.h"
#include "ItemSchema.h"

namespace common {

class IniFile;

// Per-field values, one per field position 1 to 22.
struct FieldSettings {
    QString title;        // [Field Names], at most 20 characters
    bool display = true;  // [Display Fields]
    int width = 15;       // [Field Width], grid column width in characters
    int order = 0;        // [Field Order], grid column order
    bool exported = true; // [Export Fields]
    int exportOrder = 0;  // [Export Order]
};

inline constexpr int kRecentFileCount = 5;
inline constexpr int kSortLevelCount = 4;
inline constexpr int kFieldTitleLength = 20;

class Settings {
public:
    Settings();  // every default; "Last Import/Export File" = start directory

    // A missing or unreadable file gives the defaults; so does one far too
    // large to be a settings file, and loadProblem tells the user.
    void Load(const QString& path);
    QString loadProblem;  // not stored
    // Writes every key of every section in the file's fixed order, keeping
    // other sections, comments and keys already in the file. False when the
    // file could not be written (callers at exit ignore it).
    bool Save(const QString& path) const;

    void ReadFrom(const IniFile& ini);
    void WriteTo(IniFile& ini) const;

    // Position 1 to 22.
    FieldSettings& Field(int position) { return fields[size_t(position - 1)]; }
    const FieldSettings& Field(int position) const { return fields[size_t(position - 1)]; }

    // [Misc]
    int buttonBar = 1;  // 1 speed buttons, 2 lettered buttons, 3 none
    int mainWindowLeft = 0;
    int mainWindowTop = 0;
    int mainWindowWidth = 640;
    int mainWindowHeight = 480;
    QString lastImportFile;
    QString lastExportFile;
    QString lastDatabase;
    std::array<QString, kRecentFileCount> lastFiles;  // most recent first
    bool showTips = true;
    int windowSize = 640;  // 640, 800, 1024 or 1280
    int dateFormat = 1;    // 1 to 12
    int currencyFormat = 1;
    int numericFormat = 1;

    std::array<FieldSettings, store::kItemFieldCount> fields;

    // [Export], [Import]
    bool exportFirstRow = true;
    int exportFileType = 1;
    bool importSkipFirst = true;
    int importFileType = 1;
    // [Halvenor], ours alone: the last import was of a spreadsheet, the
    // last export to a workbook.
    bool importSpreadsheet = false;
    bool exportWorkbook = false;
    // Tell at start-up how many warranties end within 30 days.
    bool warrantyNotice = false;
    // [Halvenor Saved Searches], ours alone: name and criteria (see
    // SavedSearch.h), in the order they were saved.
    std::vector<std::pair<QString, QString>> savedSearches;

    // [Sort Order]: field positions, 0 for none.
    std::array<int, kSortLevelCount> sortFields = {12, 0, 0, 0};

    // Colour groups and the five shared fonts.
    DisplayScheme scheme;

    // [Grid Title]
    bool gridShowTitles = true;
    QColor gridTitleBackground;
    int gridTitleAlignment = 2;  // 1 left, 2 centre, 3 right

    // [Grid Options]
    QColor gridCellColor;
    bool gridColumnLines = true;
    bool gridRowLines = true;
    bool gridRowIndicator = true;
    bool gridFieldEditing = false;

    // [Reports]
    int lastReport = 0;
    bool printInsuranceCompany = false;
    bool printPolicyNumber = false;
    bool printStatement = false;
    QString insuranceCompany;  // at most 40 characters
    QString policyNumber;      // at most 20 characters
    QString yourName;          // at most 30 characters
    int reportViewLeft = 0;
    int reportViewTop = 0;
    int reportViewWidth = 640;
    int reportViewHeight = 480;
};

// The program's one settings record.
Settings& AppSettings();
// Load and save the record from and to AppPaths::SettingsFile(); saving
// creates the config folder when needed.
void LoadAppSettings();
bool SaveAppSettings();

}  // namespace common
