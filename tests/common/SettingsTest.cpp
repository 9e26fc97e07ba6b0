// The settings file: defaults, the order of a first save, what survives a
// save of a hand-edited file, and the reading rules of each kind of value.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "AppPaths.h"
#include "IniFile.h"
#include "Settings.h"
#include "TextFile.h"

using namespace common;

class SettingsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QString m_path;

    void WriteFile(const QByteArray& bytes) {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray ReadFile() {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    Settings LoadFromText(const QByteArray& text) {
        WriteFile(text);
        Settings s;
        s.Load(m_path);
        return s;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        m_path = AppPaths::SettingsFile();
    }
    void cleanup() { QFile::remove(m_path); }

    void pathsFollowTheXdgFolders() {
        QCOMPARE(AppPaths::SettingsFile(), m_home.filePath("config") + "/halvenor/KELDOR.INI");
        const QString data = AppPaths::DataDir();
        QCOMPARE(data, m_home.filePath("data") + "/halvenor");
        QVERIFY(QDir(data).exists());
        QCOMPARE(AppPaths::Join("/a/b/", "/MASTER.DBF"), QString("/a/b/MASTER.DBF"));
        QCOMPARE(AppPaths::Join("/", "MASTER.DBF"), QString("/MASTER.DBF"));
    }

    // A 300 MB one-line settings file cost every start seconds and
    // gigabytes; the next save must not lose it either.
    void aFileFarTooLargeIsNotReadAndIsSetAsideWhenSaved() {
        QDir().mkpath(QFileInfo(m_path).path());
        WriteFile("[Misc]\r\nButton Bar=3\r\n");
        {
            QFile f(m_path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.resize(TextFile::kLargest + 1));
        }
        Settings s;
        s.Load(m_path);
        QCOMPARE(s.buttonBar, Settings().buttonBar);
        QCOMPARE(s.loadProblem, "The file \"" + m_path + "\" is 5 MB, far larger than any file of its kind, and was "
                                "not read; the defaults are used.  It is set aside as \"" + m_path + ".BAD\" when the "
                                "program next saves it.");
        s.buttonBar = 2;
        QVERIFY(s.Save(m_path));
        QCOMPARE(QFileInfo(m_path + ".BAD").size(), TextFile::kLargest + 1);
        Settings again;
        again.Load(m_path);
        QCOMPARE(again.buttonBar, 2);
        QVERIFY(again.loadProblem.isEmpty());
        QFile::remove(m_path + ".BAD");
    }

    void missingFileGivesEveryDefault() {
        Settings s;
        s.buttonBar = 3;
        s.Field(4).title = "changed";
        s.Load(m_path);
        QCOMPARE(s.buttonBar, 1);
        QCOMPARE(s.mainWindowWidth, 640);
        QCOMPARE(s.mainWindowHeight, 480);
        QCOMPARE(s.lastImportFile, AppPaths::StartDirectory());
        QCOMPARE(s.lastExportFile, AppPaths::StartDirectory());
        QVERIFY(s.lastDatabase.isEmpty());
        QVERIFY(s.showTips);
        QCOMPARE(s.windowSize, 640);
        QCOMPARE(s.dateFormat, 1);
        QCOMPARE(s.Field(4).title, QString("Serial Number"));
        QCOMPARE(s.Field(22).order, 22);
        QCOMPARE(s.Field(22).exportOrder, 22);
        QCOMPARE(s.Field(1).width, 15);
        QCOMPARE(s.sortFields[0], 12);
        QCOMPARE(s.scheme.Group(WindowGroup::Report)[ColorSlot::MainBackground], QColor(192, 192, 192));
        QCOMPARE(s.scheme.Group(WindowGroup::Report)[ColorSlot::ListBoxBackground], QColor(Qt::white));
        QCOMPARE(s.gridTitleBackground, QColor(130, 130, 130));
        QCOMPARE(s.gridTitleAlignment, 2);
        QCOMPARE(s.scheme.gridTitleFont.pointSize(), 12);
        QCOMPARE(s.scheme.gridFont.pointSize(), 10);
        QCOMPARE(s.scheme.labelFont.family(), QString("Arial"));
        QVERIFY(!s.gridFieldEditing);
        QCOMPARE(s.reportViewWidth, 640);
    }

    void firstSaveWritesEverySectionAndKeyInOrder() {
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(Settings().Save(m_path));
        const QStringList lines = QString::fromLatin1(ReadFile()).split('\n', Qt::SkipEmptyParts);
        QStringList sections;
        QStringList keys;
        QString section;
        for (const QString& line : lines) {
            if (line.startsWith('[')) {
                section = line.mid(1, line.size() - 2);
                sections << section;
            } else {
                keys << section + "|" + line;
            }
        }
        QCOMPARE(sections, QStringList({"Misc", "Field Names", "Display Fields", "Field Width", "Field Order",
                                        "Export Fields", "Export Order", "Export", "Import", "Sort Order",
                                        "Main Window Color", "Edit Window Color", "Search Window Color",
                                        "Report Window Color", "Configure Window Color", "Grid Title",
                                        "Grid Title Font", "Grid Font", "Grid Options", "Edit Font", "Label Font",
                                        "Button Font", "Reports", "Halvenor"}));
        QCOMPARE(keys.size(), 268);
        // Our own keys, which other readers of the file pass over, come last.
        QCOMPARE(keys.mid(265), QStringList({"Halvenor|Import Spreadsheet=No", "Halvenor|Export Workbook=No",
                                                "Halvenor|Warranty Notice=No"}));
        const QString start = AppPaths::StartDirectory();
        QCOMPARE(keys.mid(0, 18),
                 QStringList({"Misc|Button Bar=1", "Misc|Main Window Left=0", "Misc|Main Window Top=0",
                              "Misc|Main Window Width=640", "Misc|Main Window Height=480",
                              "Misc|Last Import File=" + start, "Misc|Last Export File=" + start,
                              "Misc|Last Database=", "Misc|Last File 1=", "Misc|Last File 2=", "Misc|Last File 3=",
                              "Misc|Last File 4=", "Misc|Last File 5=", "Misc|Show Tips=Yes", "Misc|Window Size=640",
                              "Misc|Date Format=1", "Misc|Currency Format=1", "Misc|Numeric Format=1"}));
        QCOMPARE(keys[18], QString("Field Names|Item=Item"));
        QCOMPARE(keys[18 + 5], QString("Field Names|Descriptio=Description"));
        QCOMPARE(keys[18 + 21], QString("Field Names|UserDef4=User Defined 4"));
        QVERIFY(keys.contains("Field Order|UserDef4=22"));
        QVERIFY(keys.contains("Export Order|Category=12"));
        QVERIFY(keys.contains("Field Width|Quantity=15"));
        const qsizetype sort = keys.indexOf("Sort Order|Primary Sort=12");
        QCOMPARE(keys.mid(sort - 4, 8),
                 QStringList({"Export|First Row=Yes", "Export|File Type=1", "Import|Skip First=Yes",
                              "Import|File Type=1", "Sort Order|Primary Sort=12", "Sort Order|Secondary Sort=0",
                              "Sort Order|Third Level Sort=0", "Sort Order|Fourth Level Sort=0"}));
        const qsizetype colours = keys.indexOf("Main Window Color|Main Background=12632256");
        QCOMPARE(colours, sort + 4);
        QCOMPARE(keys.mid(colours, 13),
                 QStringList({"Main Window Color|Main Background=12632256", "Main Window Color|Major Title=0",
                              "Main Window Color|Minor Title=0", "Main Window Color|Edit Background=16777215",
                              "Main Window Color|Edit Text=0", "Main Window Color|Combo Background=16777215",
                              "Main Window Color|Combo Text=0", "Main Window Color|List Box Background=16777215",
                              "Main Window Color|List Box Text=0", "Main Window Color|Radio Background=12632256",
                              "Main Window Color|Radio Text=0", "Main Window Color|Check Background=12632256",
                              "Main Window Color|Check Text=0"}));
        const qsizetype grid = keys.indexOf("Grid Title|Show Titles=Yes");
        QCOMPARE(grid, colours + 65);
        QCOMPARE(keys.mid(grid, 3 + 7 + 7 + 5 + 9 + 11),
                 QStringList({"Grid Title|Show Titles=Yes", "Grid Title|Background Color=8553090",
                              "Grid Title|Alignment=2", "Grid Title Font|Color=0", "Grid Title Font|Font Name=Arial",
                              "Grid Title Font|Size=12", "Grid Title Font|Bold=No", "Grid Title Font|Italic=No",
                              "Grid Title Font|Underline=No", "Grid Title Font|Strikeout=No", "Grid Font|Color=0",
                              "Grid Font|Font Name=Arial", "Grid Font|Size=10", "Grid Font|Bold=No",
                              "Grid Font|Italic=No", "Grid Font|Underline=No", "Grid Font|Strikeout=No",
                              "Grid Options|Cell Color=12632256", "Grid Options|Column Lines=Yes",
                              "Grid Options|Row Lines=Yes", "Grid Options|Row Indicator=Yes",
                              "Grid Options|Field Editing=No", "Edit Font|Font Name=Arial", "Edit Font|Bold=No",
                              "Edit Font|Italic=No", "Label Font|Font Name=Arial", "Label Font|Bold=No",
                              "Label Font|Italic=No", "Button Font|Font Name=Arial", "Button Font|Bold=No",
                              "Button Font|Italic=No", "Reports|Last Report=0", "Reports|Print Insurance Company=No",
                              "Reports|Print Policy Number=No", "Reports|Print Statement=No",
                              "Reports|Insurance Company=", "Reports|Policy Number=", "Reports|Your Name=",
                              "Reports|Report Viewing Window Left=0", "Reports|Report Viewing Window Top=0",
                              "Reports|Report Viewing Window Width=640",
                              "Reports|Report Viewing Window Height=480"}));
        // The replacement leaves no temporary file behind.
        QCOMPARE(QDir(QFileInfo(m_path).absolutePath()).entryList(QDir::Files), QStringList({"KELDOR.INI"}));
    }

    void handEditedFileKeepsItsOwnLinesAfterSave() {
        WriteFile("; kept comment\r\n"
                  "[misc]\r\n"
                  "button bar = 2\r\n"
                  "Favourite=blue\r\n"
                  "\r\n"
                  "[Custom Section]\r\n"
                  "Anything=at all\r\n"
                  "\r\n"
                  "[FIELD NAMES]\r\n"
                  "serial=Serial No.\r\n");
        Settings s;
        s.Load(m_path);
        QCOMPARE(s.buttonBar, 2);
        QCOMPARE(s.Field(4).title, QString("Serial No."));
        s.mainWindowLeft = 33;
        QVERIFY(s.Save(m_path));
        const QString text = QString::fromLatin1(ReadFile());
        QVERIFY(text.startsWith("; kept comment\r\n[misc]\r\nbutton bar =2\r\nFavourite=blue\r\nMain Window Left=33\r\n"));
        QVERIFY(text.contains("\r\n\r\n[Custom Section]\r\nAnything=at all\r\n\r\n[FIELD NAMES]\r\nserial=Serial No.\r\n"));
        QCOMPARE(text.count("button bar", Qt::CaseInsensitive), 1);
        QCOMPARE(text.count("serial=Serial"), 1);
        QCOMPARE(text.count("Serial=Serial"), 0);
        QCOMPARE(text.count("[Field Names]", Qt::CaseInsensitive), 1);
        QVERIFY(text.contains("[Reports]"));
        Settings again;
        again.Load(m_path);
        QCOMPARE(again.mainWindowLeft, 33);
        QCOMPARE(again.Field(4).title, QString("Serial No."));
    }

    void savedSearchesSurviveAndTheRestReadsAsBefore() {
        Settings plain;
        plain.warrantyNotice = true;
        plain.insuranceCompany = "Mutual";
        QVERIFY(plain.Save(m_path));
        const QString without = IniFile::Load(m_path).ToText();

        Settings s = plain;
        s.savedSearches = {{"Attic things", "Location:has:ATTIC"},
                           {"Дорогие", "Cost:gt:1000/Value:gt:1000"},
                           {"Last", "UserDef4:has:X"}};
        QVERIFY(s.Save(m_path));
        Settings back;
        back.Load(m_path);
        QVERIFY(back.savedSearches == s.savedSearches);
        // Without our section the file is the one an older program wrote.
        IniFile ini = IniFile::Load(m_path);
        QCOMPARE(ini.Keys("Halvenor Saved Searches"), QStringList({"Attic things", "Дорогие", "Last"}));
        ini.RemoveSection("Halvenor Saved Searches");
        QCOMPARE(ini.ToText(), without);
        QVERIFY(IniFile::Load(m_path).ToText().endsWith("[Halvenor Saved Searches]\nAttic things=Location:has:ATTIC\n"
                                                        "Дорогие=Cost:gt:1000/Value:gt:1000\nLast=UserDef4:has:X\n"));

        // One deleted and one renamed leave no key behind.
        back.savedSearches = {{"Last", "UserDef4:has:X"}, {"Attic boxes", "Location:has:ATTIC"}};
        QVERIFY(back.Save(m_path));
        const QString text = IniFile::Load(m_path).ToText();
        QVERIFY(text.endsWith("[Halvenor Saved Searches]\nLast=UserDef4:has:X\nAttic boxes=Location:has:ATTIC\n"));
        QCOMPARE(text.count("Saved Searches"), 1);
        QVERIFY(!text.contains("Attic things"));
        // None left: the section goes.
        back.savedSearches.clear();
        QVERIFY(back.Save(m_path));
        QCOMPARE(IniFile::Load(m_path).ToText(), without);
    }

    void textIsReadAsUtf8OrWindows1252AndWrittenIn1252() {
        Settings s = LoadFromText("[Reports]\nYour Name=Caf\xe9 \x80\n");
        QCOMPARE(s.yourName, QString::fromUtf8("Café €"));
        s = LoadFromText("[Reports]\nYour Name=Caf\xc3\xa9\n");
        QCOMPARE(s.yourName, QString::fromUtf8("Café"));
        QVERIFY(s.Save(m_path));
        QVERIFY(ReadFile().contains("Your Name=Caf\xe9\n"));
    }

    // What is written must come back as it was, whatever the text: a value
    // whose Windows-1252 bytes form UTF-8 came back as other characters,
    // and a leading byte-order mark of the text's own was lost.
    void textLookingLikeUtf8OrAMarkReadsBackAsWritten_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("1252 bytes forming UTF-8") << QString::fromUtf8("Caf\u00c3\u00a9");
        QTest::newRow("1252 bytes forming a mark") << QString::fromUtf8("\u00ef\u00bb\u00bfName");
        QTest::newRow("a mark of its own") << QChar(0xFEFF) + QString::fromUtf8("Acme \u20ac \u0416");
        QTest::newRow("plain 1252") << QString::fromUtf8("Caf\u00e9 \u20ac");
    }
    void textLookingLikeUtf8OrAMarkReadsBackAsWritten() {
        QFETCH(QString, text);
        QCOMPARE(TextFile::Decode(TextFile::Encode(text)), text);
        Settings s;
        s.yourName = text;
        QVERIFY(s.Save(m_path));
        Settings again;
        again.Load(m_path);
        QCOMPARE(again.yourName, text);
    }

    void integerValues_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << QByteArray("800") << 800;
        QTest::newRow("negative whole number keeps its sign") << QByteArray("-12") << -12;
        QTest::newRow("plus sign") << QByteArray("+7") << 7;
        QTest::newRow("digits then letters") << QByteArray("12abc") << 12;
        QTest::newRow("minus, digits then letters loses the sign") << QByteArray("-12abc") << 12;
        QTest::newRow("dollar makes hexadecimal") << QByteArray("$1F") << 31;
        QTest::newRow("negative hexadecimal") << QByteArray("-$1f") << -31;
        QTest::newRow("empty value is zero, not the default") << QByteArray("") << 0;
        QTest::newRow("no digits") << QByteArray("abc") << 0;
        QTest::newRow("only a sign") << QByteArray("-") << 0;
        QTest::newRow("fifteen-character buffer cuts long numbers") << QByteArray("000000000000000099") << 0;
        QTest::newRow("fourteen digits fit") << QByteArray("00000000000099") << 99;
    }
    void integerValues() {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        QCOMPARE(LoadFromText("[Misc]\nWindow Size=" + value + "\n").windowSize, expected);
    }

    void booleanValues_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Yes") << QByteArray("Yes") << true;
        QTest::newRow("yes") << QByteArray("yes") << true;
        QTest::newRow("YES") << QByteArray("YES") << true;
        QTest::newRow("mixed yEs") << QByteArray("yEs") << true;
        QTest::newRow("Y") << QByteArray("Y") << false;
        QTest::newRow("1") << QByteArray("1") << false;
        QTest::newRow("True") << QByteArray("True") << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("Yess") << QByteArray("Yess") << false;
    }
    void booleanValues() {
        QFETCH(QByteArray, value);
        QFETCH(bool, expected);
        const Settings s = LoadFromText("[Misc]\nShow Tips=" + value + "\n[Grid Font]\nItalic=" + value + "\n");
        QCOMPARE(s.showTips, expected);
        QCOMPARE(s.scheme.gridFont.italic(), expected);
    }

    void textValuesAreCutToTheirBuffers() {
        const QByteArray title30(30, 'T');
        const QByteArray path300 = "/" + QByteArray(299, 'p');
        const QByteArray name200(200, 'F');
        const QByteArray company60(60, 'C');
        const Settings s = LoadFromText("[Field Names]\nItem=" + title30 + "\n[Misc]\nLast Database=" + path300 +
                                        "\nLast File 5=" + path300 + "\n[Label Font]\nFont Name=" + name200 +
                                        "\n[Reports]\nInsurance Company=" + company60 + "\nPolicy Number=" +
                                        company60 + "\nYour Name=" + company60 + "\n");
        QCOMPARE(s.Field(1).title, QString(title30.left(20)));
        QCOMPARE(s.lastDatabase, QString(path300.left(249)));
        QCOMPARE(s.lastFiles[4], QString(path300.left(249)));
        QCOMPARE(s.scheme.labelFont.family(), QString(name200.left(149)));
        QCOMPARE(s.insuranceCompany.size(), 40);
        QCOMPARE(s.policyNumber.size(), 20);
        QCOMPARE(s.yourName.size(), 30);
    }

    void fontsAndColoursRoundTrip() {
        Settings s;
        s.scheme.Group(WindowGroup::Search)[ColorSlot::RadioText] = QColor(1, 2, 3);
        s.scheme.gridFont = QFont("Courier New", 14);
        s.scheme.gridFont.setBold(true);
        s.scheme.gridFont.setStrikeOut(true);
        s.scheme.gridFontColor = QColor(255, 0, 0);
        s.scheme.buttonFont = QFont("Times New Roman");
        s.scheme.buttonFont.setItalic(true);
        QVERIFY(s.Save(m_path));
        const QString text = QString::fromLatin1(ReadFile());
        QVERIFY(text.contains("[Search Window Color]\nMain Background=12632256"));
        QVERIFY(text.contains("Radio Text=197121\n"));  // 0x030201
        QVERIFY(text.contains("[Grid Font]\nColor=255\nFont Name=Courier New\nSize=14\nBold=Yes\nItalic=No\n"
                              "Underline=No\nStrikeout=Yes\n"));
        Settings back;
        back.Load(m_path);
        QCOMPARE(back.scheme.Group(WindowGroup::Search)[ColorSlot::RadioText], QColor(1, 2, 3));
        QCOMPARE(back.scheme.Group(WindowGroup::Main)[ColorSlot::RadioText], QColor(0, 0, 0));
        QCOMPARE(back.scheme.gridFont.family(), QString("Courier New"));
        QCOMPARE(back.scheme.gridFont.pointSize(), 14);
        QVERIFY(back.scheme.gridFont.bold() && back.scheme.gridFont.strikeOut() && !back.scheme.gridFont.underline());
        QCOMPARE(back.scheme.gridFontColor, QColor(255, 0, 0));
        QCOMPARE(back.scheme.buttonFont.family(), QString("Times New Roman"));
        QVERIFY(back.scheme.buttonFont.italic() && !back.scheme.buttonFont.bold());
    }

    void colourIntegersAreBlueGreenRed() {
        QCOMPARE(ColorGroup::FromWindowsColor(0x00804020), QColor(0x20, 0x40, 0x80));
        QCOMPARE(ColorGroup::ToWindowsColor(QColor(0x20, 0x40, 0x80)), 0x00804020);
        QCOMPARE(ColorGroup::FromWindowsColor(8553090), QColor(130, 130, 130));
    }

    void appSettingsLoadAndSaveTheConfigFile() {
        AppSettings().dateFormat = 7;
        QVERIFY(SaveAppSettings());
        QVERIFY(QFile::exists(m_path));
        AppSettings().dateFormat = 1;
        LoadAppSettings();
        QCOMPARE(AppSettings().dateFormat, 7);
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
