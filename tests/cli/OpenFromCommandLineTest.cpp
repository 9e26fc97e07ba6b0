// "halvenor FILE.DBF": the window opens the table named on the command line
// through the open command's checks, and a refusal leaves the table it
// started with open, shown and recorded.

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "AppPaths.h"
#include "ItemTable.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "MainWindow.h"

using common::ScriptedUiServices;
using shell::MainWindow;

namespace {

const QSize kScreen(1600, 1200);

void MakeTable(const QString& path, const char* item) {
    store::Table create, check, t;
    QVERIFY(store::MakeNewDB(create, check, path.toStdString(), nullptr));
    store::PointAt(t, path.toStdString());
    t.Open();
    t.Append();
    t.SetText("Item", item);
    t.Post();
}

}  // namespace

class OpenFromCommandLineTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;

private slots:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", m_home->filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home->filePath("config").toUtf8());
        common::AppSettings() = common::Settings();
    }

    // Relative to the folder the program started in, as a shell passes it.
    void tableNamedOnTheCommandLineIsOpened() {
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        MakeTable(m_home->filePath("HOME.DBF"), "Piano");
        w.OpenFromCommandLine(QDir(common::AppPaths::StartDirectory()).relativeFilePath(m_home->filePath("HOME.DBF")));
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (HOME)"));
        QCOMPARE(QFileInfo(common::AppSettings().lastDatabase), QFileInfo(m_home->filePath("HOME.DBF")));
        QCOMPARE(w.ItemTable().RecordCount(), 1u);
    }

    void refusedTableLeavesTheOneShown_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "GONE.DBF" << "does not exist";
        QTest::newRow("not an item table") << "OTHER.DBF" << "was not created with Halvenor Inventory 95";
        QTest::newRow("not a table at all") << "TEXT.DBF" << "is not a valid dBASE table";
    }
    void refusedTableLeavesTheOneShown() {
        QFETCH(QString, file);
        QFETCH(QString, message);
        {
            store::Table other;
            store::PointAt(other, m_home->filePath("OTHER.DBF").toStdString());
            other.Create({store::FieldDef::String("Thing", 20)});
            QFile text(m_home->filePath("TEXT.DBF"));
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write("Item,Brand\r\nPiano,Valmora\r\n");
        }
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        const QString before = common::AppSettings().lastDatabase;
        const QString caption = w.windowTitle();
        ui.ExpectMessage("Error", std::nullopt);
        w.OpenFromCommandLine(m_home->filePath(file));
        HALVENOR_VERIFY_UI(ui);
        QVERIFY2(ui.Messages().last().contains(message), qPrintable(ui.Messages().last()));
        QCOMPARE(common::AppSettings().lastDatabase, before);
        QCOMPARE(w.windowTitle(), caption);
        QVERIFY(w.ItemTable().IsOpen());
        QCOMPARE(QFileInfo(QString::fromStdString(w.ItemTable().DataFilePath())), QFileInfo(before));
    }
};

QTEST_MAIN(OpenFromCommandLineTest)
#include "OpenFromCommandLineTest.moc"
