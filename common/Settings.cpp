#include "Settings.h"

#include <QDir>
#include <QFileInfo>

#include "AppPaths.h"
#include "IniFile.h"

namespace common {
namespace {

// Buffer sizes of the old profile reads, terminating zero included.
constexpr int kNumberBuffer = 15;
constexpr int kNameBuffer = 150;
constexpr int kPathBuffer = 250;

constexpr int kGrey = 8553090;
constexpr int kLightGrey = 12632256;

const QString kMisc = QStringLiteral("Misc");
const QString kFieldNames = QStringLiteral("Field Names");
const QString kDisplayFields = QStringLiteral("Display Fields");
const QString kFieldWidth = QStringLiteral("Field Width");
const QString kFieldOrder = QStringLiteral("Field Order");
const QString kExportFields = QStringLiteral("Export Fields");
const QString kExportOrder = QStringLiteral("Export Order");
const QString kExport = QStringLiteral("Export");
const QString kImport = QStringLiteral("Import");
const QString kOwn = QStringLiteral("Halvenor");  // keys other readers of the file do not know
const QString kSavedSearches = QStringLiteral("Halvenor Saved Searches");
const QString kSortOrder = QStringLiteral("Sort Order");
const QString kGridTitle = QStringLiteral("Grid Title");
const QString kGridOptions = QStringLiteral("Grid Options");
const QString kReports = QStringLiteral("Reports");

const std::array<QString, kSortLevelCount> kSortKeys = {
    QStringLiteral("Primary Sort"), QStringLiteral("Secondary Sort"), QStringLiteral("Third Level Sort"),
    QStringLiteral("Fourth Level Sort")};

QString FieldKey(int position) { return QString::fromUtf8(store::SchemaAt(position).name); }

QString LastFileKey(int i) { return QStringLiteral("Last File %1").arg(i + 1); }

int Number(const IniFile& ini, const QString& section, const QString& key, int def) {
    return ini.ReadInteger(section, key, def, kNumberBuffer);
}

QString Path(const IniFile& ini, const QString& section, const QString& key, const QString& def = QString()) {
    return ini.ReadString(section, key, def, kPathBuffer);
}

}  // namespace

Settings::Settings()
    : lastImportFile(AppPaths::StartDirectory()),
      lastExportFile(AppPaths::StartDirectory()),
      gridTitleBackground(ColorGroup::FromWindowsColor(kGrey)),
      gridCellColor(ColorGroup::FromWindowsColor(kLightGrey)) {
    for (int p = 1; p <= store::kItemFieldCount; ++p) {
        FieldSettings& f = Field(p);
        f.title = QString::fromUtf8(store::SchemaAt(p).defaultTitle).left(kFieldTitleLength);
        f.order = p;
        f.exportOrder = p;
    }
}

void Settings::Load(const QString& path) {
    QString problem;
    ReadFrom(IniFile::Load(path, &problem));
    loadProblem = problem;
}

bool Settings::Save(const QString& path) const {
    IniFile ini = IniFile::Load(path);
    WriteTo(ini);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return ini.Save(path);
}

void Settings::ReadFrom(const IniFile& ini) {
    const Settings defaults;

    buttonBar = Number(ini, kMisc, QStringLiteral("Button Bar"), defaults.buttonBar);
    mainWindowLeft = Number(ini, kMisc, QStringLiteral("Main Window Left"), defaults.mainWindowLeft);
    mainWindowTop = Number(ini, kMisc, QStringLiteral("Main Window Top"), defaults.mainWindowTop);
    mainWindowWidth = Number(ini, kMisc, QStringLiteral("Main Window Width"), defaults.mainWindowWidth);
    mainWindowHeight = Number(ini, kMisc, QStringLiteral("Main Window Height"), defaults.mainWindowHeight);
    lastImportFile = Path(ini, kMisc, QStringLiteral("Last Import File"), defaults.lastImportFile);
    lastExportFile = Path(ini, kMisc, QStringLiteral("Last Export File"), defaults.lastExportFile);
    lastDatabase = Path(ini, kMisc, QStringLiteral("Last Database"));
    for (int i = 0; i < kRecentFileCount; ++i) lastFiles[size_t(i)] = Path(ini, kMisc, LastFileKey(i));
    showTips = ini.ReadBool(kMisc, QStringLiteral("Show Tips"), defaults.showTips);
    windowSize = Number(ini, kMisc, QStringLiteral("Window Size"), defaults.windowSize);
    dateFormat = Number(ini, kMisc, QStringLiteral("Date Format"), defaults.dateFormat);
    currencyFormat = Number(ini, kMisc, QStringLiteral("Currency Format"), defaults.currencyFormat);
    numericFormat = Number(ini, kMisc, QStringLiteral("Numeric Format"), defaults.numericFormat);

    for (int p = 1; p <= store::kItemFieldCount; ++p) {
        const QString key = FieldKey(p);
        const FieldSettings& d = defaults.Field(p);
        FieldSettings& f = Field(p);
        f.title = ini.ReadString(kFieldNames, key, d.title, kNameBuffer).left(kFieldTitleLength);
        f.display = ini.ReadBool(kDisplayFields, key, d.display);
        f.width = Number(ini, kFieldWidth, key, d.width);
        f.order = Number(ini, kFieldOrder, key, d.order);
        f.exported = ini.ReadBool(kExportFields, key, d.exported);
        f.exportOrder = Number(ini, kExportOrder, key, d.exportOrder);
    }

    exportFirstRow = ini.ReadBool(kExport, QStringLiteral("First Row"), defaults.exportFirstRow);
    exportFileType = Number(ini, kExport, QStringLiteral("File Type"), defaults.exportFileType);
    importSkipFirst = ini.ReadBool(kImport, QStringLiteral("Skip First"), defaults.importSkipFirst);
    importFileType = Number(ini, kImport, QStringLiteral("File Type"), defaults.importFileType);
    importSpreadsheet = ini.ReadBool(kOwn, QStringLiteral("Import Spreadsheet"), defaults.importSpreadsheet);
    exportWorkbook = ini.ReadBool(kOwn, QStringLiteral("Export Workbook"), defaults.exportWorkbook);
    warrantyNotice = ini.ReadBool(kOwn, QStringLiteral("Warranty Notice"), defaults.warrantyNotice);
    savedSearches.clear();
    for (const QString& name : ini.Keys(kSavedSearches))
        if (const auto text = ini.Value(kSavedSearches, name); text && !text->isEmpty())
            savedSearches.emplace_back(name.trimmed(), *text);

    for (int i = 0; i < kSortLevelCount; ++i)
        sortFields[size_t(i)] = Number(ini, kSortOrder, kSortKeys[size_t(i)], defaults.sortFields[size_t(i)]);

    scheme.ReadFrom(ini);

    gridShowTitles = ini.ReadBool(kGridTitle, QStringLiteral("Show Titles"), defaults.gridShowTitles);
    gridTitleBackground = ColorGroup::FromWindowsColor(Number(ini, kGridTitle, QStringLiteral("Background Color"), kGrey));
    gridTitleAlignment = Number(ini, kGridTitle, QStringLiteral("Alignment"), defaults.gridTitleAlignment);

    gridCellColor = ColorGroup::FromWindowsColor(Number(ini, kGridOptions, QStringLiteral("Cell Color"), kLightGrey));
    gridColumnLines = ini.ReadBool(kGridOptions, QStringLiteral("Column Lines"), defaults.gridColumnLines);
    gridRowLines = ini.ReadBool(kGridOptions, QStringLiteral("Row Lines"), defaults.gridRowLines);
    gridRowIndicator = ini.ReadBool(kGridOptions, QStringLiteral("Row Indicator"), defaults.gridRowIndicator);
    gridFieldEditing = ini.ReadBool(kGridOptions, QStringLiteral("Field Editing"), defaults.gridFieldEditing);

    lastReport = Number(ini, kReports, QStringLiteral("Last Report"), defaults.lastReport);
    printInsuranceCompany = ini.ReadBool(kReports, QStringLiteral("Print Insurance Company"), false);
    printPolicyNumber = ini.ReadBool(kReports, QStringLiteral("Print Policy Number"), false);
    printStatement = ini.ReadBool(kReports, QStringLiteral("Print Statement"), false);
    insuranceCompany = Path(ini, kReports, QStringLiteral("Insurance Company")).left(40);
    policyNumber = Path(ini, kReports, QStringLiteral("Policy Number")).left(20);
    yourName = Path(ini, kReports, QStringLiteral("Your Name")).left(30);
    reportViewLeft = Number(ini, kReports, QStringLiteral("Report Viewing Window Left"), defaults.reportViewLeft);
    reportViewTop = Number(ini, kReports, QStringLiteral("Report Viewing Window Top"), defaults.reportViewTop);
    reportViewWidth = Number(ini, kReports, QStringLiteral("Report Viewing Window Width"), defaults.reportViewWidth);
    reportViewHeight = Number(ini, kReports, QStringLiteral("Report Viewing Window Height"), defaults.reportViewHeight);
}

void Settings::WriteTo(IniFile& ini) const {
    ini.WriteInteger(kMisc, QStringLiteral("Button Bar"), buttonBar);
    ini.WriteInteger(kMisc, QStringLiteral("Main Window Left"), mainWindowLeft);
    ini.WriteInteger(kMisc, QStringLiteral("Main Window Top"), mainWindowTop);
    ini.WriteInteger(kMisc, QStringLiteral("Main Window Width"), mainWindowWidth);
    ini.WriteInteger(kMisc, QStringLiteral("Main Window Height"), mainWindowHeight);
    ini.SetValue(kMisc, QStringLiteral("Last Import File"), lastImportFile);
    ini.SetValue(kMisc, QStringLiteral("Last Export File"), lastExportFile);
    ini.SetValue(kMisc, QStringLiteral("Last Database"), lastDatabase);
    for (int i = 0; i < kRecentFileCount; ++i) ini.SetValue(kMisc, LastFileKey(i), lastFiles[size_t(i)]);
    ini.WriteBool(kMisc, QStringLiteral("Show Tips"), showTips);
    ini.WriteInteger(kMisc, QStringLiteral("Window Size"), windowSize);
    ini.WriteInteger(kMisc, QStringLiteral("Date Format"), dateFormat);
    ini.WriteInteger(kMisc, QStringLiteral("Currency Format"), currencyFormat);
    ini.WriteInteger(kMisc, QStringLiteral("Numeric Format"), numericFormat);

    for (int p = 1; p <= store::kItemFieldCount; ++p) ini.SetValue(kFieldNames, FieldKey(p), Field(p).title);
    for (int p = 1; p <= store::kItemFieldCount; ++p) ini.WriteBool(kDisplayFields, FieldKey(p), Field(p).display);
    for (int p = 1; p <= store::kItemFieldCount; ++p) ini.WriteInteger(kFieldWidth, FieldKey(p), Field(p).width);
    for (int p = 1; p <= store::kItemFieldCount; ++p) ini.WriteInteger(kFieldOrder, FieldKey(p), Field(p).order);
    for (int p = 1; p <= store::kItemFieldCount; ++p) ini.WriteBool(kExportFields, FieldKey(p), Field(p).exported);
    for (int p = 1; p <= store::kItemFieldCount; ++p)
        ini.WriteInteger(kExportOrder, FieldKey(p), Field(p).exportOrder);

    ini.WriteBool(kExport, QStringLiteral("First Row"), exportFirstRow);
    ini.WriteInteger(kExport, QStringLiteral("File Type"), exportFileType);
    ini.WriteBool(kImport, QStringLiteral("Skip First"), importSkipFirst);
    ini.WriteInteger(kImport, QStringLiteral("File Type"), importFileType);

    for (int i = 0; i < kSortLevelCount; ++i) ini.WriteInteger(kSortOrder, kSortKeys[size_t(i)], sortFields[size_t(i)]);

    scheme.WriteColorGroups(ini);

    ini.WriteBool(kGridTitle, QStringLiteral("Show Titles"), gridShowTitles);
    ini.WriteInteger(kGridTitle, QStringLiteral("Background Color"), ColorGroup::ToWindowsColor(gridTitleBackground));
    ini.WriteInteger(kGridTitle, QStringLiteral("Alignment"), gridTitleAlignment);

    DisplayScheme::WriteGridFont(ini, QStringLiteral("Grid Title Font"), scheme.gridTitleFont, scheme.gridTitleFontColor);
    DisplayScheme::WriteGridFont(ini, QStringLiteral("Grid Font"), scheme.gridFont, scheme.gridFontColor);

    ini.WriteInteger(kGridOptions, QStringLiteral("Cell Color"), ColorGroup::ToWindowsColor(gridCellColor));
    ini.WriteBool(kGridOptions, QStringLiteral("Column Lines"), gridColumnLines);
    ini.WriteBool(kGridOptions, QStringLiteral("Row Lines"), gridRowLines);
    ini.WriteBool(kGridOptions, QStringLiteral("Row Indicator"), gridRowIndicator);
    ini.WriteBool(kGridOptions, QStringLiteral("Field Editing"), gridFieldEditing);

    DisplayScheme::WriteWindowFont(ini, QStringLiteral("Edit Font"), scheme.editFont);
    DisplayScheme::WriteWindowFont(ini, QStringLiteral("Label Font"), scheme.labelFont);
    DisplayScheme::WriteWindowFont(ini, QStringLiteral("Button Font"), scheme.buttonFont);

    ini.WriteInteger(kReports, QStringLiteral("Last Report"), lastReport);
    ini.WriteBool(kReports, QStringLiteral("Print Insurance Company"), printInsuranceCompany);
    ini.WriteBool(kReports, QStringLiteral("Print Policy Number"), printPolicyNumber);
    ini.WriteBool(kReports, QStringLiteral("Print Statement"), printStatement);
    ini.SetValue(kReports, QStringLiteral("Insurance Company"), insuranceCompany);
    ini.SetValue(kReports, QStringLiteral("Policy Number"), policyNumber);
    ini.SetValue(kReports, QStringLiteral("Your Name"), yourName);
    ini.WriteInteger(kReports, QStringLiteral("Report Viewing Window Left"), reportViewLeft);
    ini.WriteInteger(kReports, QStringLiteral("Report Viewing Window Top"), reportViewTop);
    ini.WriteInteger(kReports, QStringLiteral("Report Viewing Window Width"), reportViewWidth);
    ini.WriteInteger(kReports, QStringLiteral("Report Viewing Window Height"), reportViewHeight);

    // Last, so that the sections every reader knows keep their places.
    ini.WriteBool(kOwn, QStringLiteral("Import Spreadsheet"), importSpreadsheet);
    ini.WriteBool(kOwn, QStringLiteral("Export Workbook"), exportWorkbook);
    ini.WriteBool(kOwn, QStringLiteral("Warranty Notice"), warrantyNotice);
    // Written whole: a search deleted or renamed leaves no key behind.
    ini.RemoveSection(kSavedSearches);
    for (const auto& [name, text] : savedSearches) ini.SetValue(kSavedSearches, name, text);
}

Settings& AppSettings() {
    static Settings settings;
    return settings;
}

void LoadAppSettings() { AppSettings().Load(AppPaths::SettingsFile()); }

bool SaveAppSettings() { return AppSettings().Save(AppPaths::SettingsFile()); }

}  // namespace common
