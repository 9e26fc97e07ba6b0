// The sort order dialog against a real main window: the expression each
// choice gives, the order the grid then shows, the settings file written at
// once, and the two refusals (file held elsewhere, tag or settings that
// cannot be written) that must leave the old order in force.

#include <QComboBox>
#include <QLabel>
#include <QtTest>

#include "ScriptedUiServices.h"
#include "SortExpression.h"
#include "SortReplaceFixture.h"
#include "WindowCases.h"
#include "SortOrderDialog.h"

using namespace sortreplace;
using common::ScriptedUiServices;

namespace {

const QString kInUse =
    "Creating a new sort order requires exclusive use of the DBase File.  Make sure that the DBase File is not in "
    "use by another program  or that no other users are running the software or that no other copies of the "
    "software are in use.";
const QString kFailed = "Error in implementing sort order.  New sort order not implemented.";

using Positions = std::array<int, 4>;

void Choose(find::SortOrderDialog& dialog, const Positions& p) {
    for (size_t i = 0; i < 4; ++i) dialog.ComboBox[i]->setCurrentIndex(p[i]);
}

Positions SavedPositions() {
    common::Settings saved;
    saved.Load(common::AppPaths::SettingsFile());
    return saved.sortFields;
}

}  // namespace

Q_DECLARE_METATYPE(Positions)

class SortOrderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { m_folders = std::make_unique<Folders>(); }

    void init() {
        Folders::Clear();
        m_ui = std::make_unique<ScriptedUiServices>();
        m_main = StartMain();
        QVERIFY(m_main->Created());
        QCOMPARE(m_main->SortExpression(), std::string("Upper(Left(Category,20))"));
    }

    void cleanup() {
        m_main.reset();
        m_ui.reset();
    }

    // Every control where it stood when the windows were last looked at.
    void windowsKeepTheirLayout() {
        bool notComparable = false;
        const QString differences = window_cases::CompareLayouts(*m_main, "find", &notComparable);
        if (notComparable) QSKIP(qPrintable(differences));
        QVERIFY2(differences.isEmpty(), qPrintable(differences));
    }

    // Every window of searching, locating, sorting and replacing as a user sees it at the smallest and the
    // largest size: no text cut off, no control lying on another.
    void windowsShowEveryControlWhole() {
        for (double factor : {1.0, 2.0}) {
            const QStringList faults = window_cases::FolderFaults(*m_main, "find", factor);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
        }
    }

    void listsHoldNoneAndTheTitles() {
        common::AppSettings().Field(2).title = "Maker";
        common::AppSettings().sortFields = {12, 2, 99, 22};  // a field number no field has shows as none
        m_ui->ExpectModal("Sort Order", [](QDialog& d) {
            auto& dialog = static_cast<find::SortOrderDialog&>(d);
            for (QComboBox* combo : dialog.ComboBox) {
                QCOMPARE(combo->count(), 23);
                QCOMPARE(combo->itemText(0), QString("<NONE>"));
                QCOMPARE(combo->itemText(2), QString("Maker"));
                QVERIFY(!combo->isEditable());
            }
            QCOMPARE(dialog.ComboBox[0]->currentIndex(), 12);
            QCOMPARE(dialog.ComboBox[1]->currentIndex(), 2);
            QCOMPARE(dialog.ComboBox[2]->currentIndex(), 0);
            QCOMPARE(dialog.ComboBox[3]->currentIndex(), 22);
            dialog.Cancel();
        });
        m_main->DoSortOrder();
        HALVENOR_VERIFY_UI(*m_ui);
        QCOMPARE(common::AppSettings().sortFields, (Positions{12, 2, 99, 22}));
        QVERIFY(!QFile::exists(common::AppPaths::SettingsFile()));
    }

    void okBuildsTheTagAndWritesTheSettings_data() {
        QTest::addColumn<Positions>("positions");
        QTest::addColumn<QString>("expression");
        QTest::newRow("category then item") << Positions{12, 1, 0, 0}
                                            << "Upper(Left(Category,20))+Upper(Left(Item,20))";
        QTest::newRow("cost then purchase date") << Positions{11, 10, 0, 0} << "STR(Cost,12,2)+DTOS(PurchDate)";
        QTest::newRow("quantity alone") << Positions{9, 0, 0, 0} << "STR(Quantity,8,0)";
        QTest::newRow("same field twice") << Positions{2, 2, 0, 0} << "Upper(Left(Brand,20))+Upper(Left(Brand,20))";
        QTest::newRow("levels left empty between choices") << Positions{0, 6, 0, 18}
                                                           << "Upper(Left(Descriptio,20))+STR(Value,12,2)";
        QTest::newRow("all four levels") << Positions{1, 15, 9, 14}
                                         << "Upper(Left(Item,20))+DTOS(WarDate)+STR(Quantity,8,0)+"
                                            "Upper(Left(Warranty,20))";
    }

    void okBuildsTheTagAndWritesTheSettings() {
        QFETCH(Positions, positions);
        QFETCH(QString, expression);
        AddItems(*m_main, {{{"Item", "b"}}, {{"Item", "a"}}});
        m_ui->ExpectModal("Sort Order", [&](QDialog& d) {
            auto& dialog = static_cast<find::SortOrderDialog&>(d);
            Choose(dialog, positions);
            dialog.ApplySortOrder();
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        });
        m_main->DoSortOrder();
        HALVENOR_VERIFY_UI(*m_ui);

        store::Table& t = m_main->ItemTable();
        QCOMPARE(QString::fromStdString(m_main->SortExpression()), expression);
        QCOMPARE(common::AppSettings().sortFields, positions);
        QCOMPARE(SavedPositions(), positions);
        QVERIFY(OpenShared(t));
        QCOMPARE(t.ActiveIndex(), std::string(find::kSortTagName));
        QCOMPARE(QString::fromStdString(t.IndexExpression(find::kSortTagName)), expression);
        QCOMPARE(m_main->CountLabel()->text(), QString("2"));
    }

    void allNoneGivesPhysicalOrderWithoutATag() {
        AddItems(*m_main, {{{"Item", "b"}, {"Category", "Z"}}, {{"Item", "a"}, {"Category", "A"}}});
        store::Table& t = m_main->ItemTable();
        t.SetActiveIndex("");
        t.DeleteIndex(find::kSortTagName);
        m_ui->ExpectModal("Sort Order", [](QDialog& d) {
            auto& dialog = static_cast<find::SortOrderDialog&>(d);
            Choose(dialog, {0, 0, 0, 0});
            dialog.ApplySortOrder();
        });
        m_main->DoSortOrder();
        HALVENOR_VERIFY_UI(*m_ui);
        QCOMPARE(m_main->SortExpression(), std::string());
        QCOMPARE(SavedPositions(), (Positions{0, 0, 0, 0}));
        QVERIFY(OpenShared(t));
        QCOMPARE(t.ActiveIndex(), std::string());
        QVERIFY(t.IndexNames().empty());
        QCOMPARE(Delivered(t, "Item"), (QStringList{"b", "a"}));
    }

    void indexFileWithoutTheTagIsNoError() {
        AddItems(*m_main, {{{"Item", "b"}}, {{"Item", "a"}}});
        store::Table& t = m_main->ItemTable();
        t.SetActiveIndex("");
        t.DeleteIndex(find::kSortTagName);
        t.AddIndex("XEWINDEX", "Brand");  // another program's, all but its first letter the sort tag's name
        m_ui->ExpectModal("Sort Order", [](QDialog& d) {
            auto& dialog = static_cast<find::SortOrderDialog&>(d);
            Choose(dialog, {1, 0, 0, 0});
            dialog.ApplySortOrder();
            QVERIFY(!dialog.isVisible());
        });
        m_main->DoSortOrder();
        HALVENOR_VERIFY_UI(*m_ui);
        QCOMPARE(t.ActiveIndex(), std::string(find::kSortTagName));
        QCOMPARE(Delivered(t, "Item"), (QStringList{"a", "b"}));
    }

    void itemsOfOneCategoryInItemOrder() {
        // Only the first 20 characters count: the two long names tie and keep
        // the order in which they were added.
        AddItems(*m_main, {{{"Item", "lamp"}, {"Category", "Kitchen"}},
                           {{"Item", "Zebra"}, {"Category", "Attic"}},
                           {{"Item", "Abcdefghijklmnopqrst-Z"}, {"Category", "kitchen"}},
                           {{"Item", "banana"}, {"Category", "KITCHEN"}},
                           {{"Item", "abcdefghijklmnopqrst-A"}, {"Category", "Kitchen"}},
                           {{"Item", "Apple"}, {"Category", "Kitchen"}},
                           {{"Item", "apple pie"}, {"Category", "attic"}}});
        m_ui->ExpectModal("Sort Order", [](QDialog& d) {
            auto& dialog = static_cast<find::SortOrderDialog&>(d);
            Choose(dialog, {12, 1, 0, 0});
            dialog.ApplySortOrder();
        });
        m_main->DoSortOrder();
        HALVENOR_VERIFY_UI(*m_ui);
        QCOMPARE(Delivered(m_main->ItemTable(), "Item"),
                 (QStringList{"apple pie", "Zebra", "Abcdefghijklmnopqrst-Z", "abcdefghijklmnopqrst-A", "Apple",
                              "banana", "lamp"}));
    }

    void fileHeldElsewhereKeepsTheOldOrder() {
        AddItems(*m_main, {{{"Item", "b"}, {"Category", "A"}}, {{"Item", "a"}, {"Category", "B"}}});
        store::Table& t = m_main->ItemTable();
        Holder other(t.DataFilePath());
        QVERIFY(other.Holding());
        m_ui->ExpectModal("Sort Order", [&](QDialog& d) {
            auto& dialog = static_cast<find::SortOrderDialog&>(d);
            Choose(dialog, {1, 0, 0, 0});
            dialog.ApplySortOrder();
            QVERIFY(dialog.isVisible());
            QVERIFY(OpenShared(t));
        });
        m_ui->ExpectMessage("Error", kInUse);
        m_main->DoSortOrder();
        HALVENOR_VERIFY_UI(*m_ui);
        QCOMPARE(common::AppSettings().sortFields, (Positions{12, 0, 0, 0}));
        QCOMPARE(m_main->SortExpression(), std::string("Upper(Left(Category,20))"));
        QVERIFY(!QFile::exists(common::AppPaths::SettingsFile()));
        QVERIFY(OpenShared(t));
        QCOMPARE(t.ActiveIndex(), std::string(find::kSortTagName));
        QCOMPARE(t.IndexExpression(find::kSortTagName), std::string("Upper(Left(Category,20))"));
        QCOMPARE(Delivered(t, "Item"), (QStringList{"b", "a"}));
        QCOMPARE(m_main->CountLabel()->text(), QString("2"));
    }

    void failureRestoresTheOrderOfTheSettings() {
        // A settings file that cannot be written: the new order would be
        // lost at the next start, so it is not taken.
        QDir().mkpath(common::AppPaths::SettingsFile());
        AddItems(*m_main, {{{"Item", "b"}, {"Category", "A"}}, {{"Item", "a"}, {"Category", "B"}}});
        store::Table& t = m_main->ItemTable();
        m_ui->ExpectModal("Sort Order", [&](QDialog& d) {
            auto& dialog = static_cast<find::SortOrderDialog&>(d);
            Choose(dialog, {1, 0, 0, 0});
            dialog.ApplySortOrder();
            QVERIFY(dialog.isVisible());
        });
        m_ui->ExpectMessage("Error", kFailed);
        m_main->DoSortOrder();
        HALVENOR_VERIFY_UI(*m_ui);
        QCOMPARE(common::AppSettings().sortFields, (Positions{12, 0, 0, 0}));
        QCOMPARE(m_main->SortExpression(), std::string("Upper(Left(Category,20))"));
        QVERIFY(OpenShared(t));
        QCOMPARE(t.ActiveIndex(), std::string(find::kSortTagName));
        QCOMPARE(t.IndexExpression(find::kSortTagName), std::string("Upper(Left(Category,20))"));
        QCOMPARE(Delivered(t, "Item"), (QStringList{"b", "a"}));
    }

    // The table's file gone when Ok is pressed (another program removed
    // it): the order stays, and the engine's own words say why, not that
    // the file is in use.
    void fileGoneIsToldInTheEnginesWords() {
        AddItems(*m_main, {{{"Item", "b"}, {"Category", "A"}}});
        store::Table& t = m_main->ItemTable();
        const QString path = QString::fromStdString(t.DataFilePath());
        m_ui->ExpectModal("Sort Order", [&](QDialog& d) {
            auto& dialog = static_cast<find::SortOrderDialog&>(d);
            QVERIFY(QFile::remove(path));
            Choose(dialog, {1, 0, 0, 0});
            dialog.ApplySortOrder();
            QVERIFY(dialog.isVisible());
        });
        m_ui->ExpectMessage("Error", "The table \"" + path + "\" does not exist.");
        m_main->DoSortOrder();
        HALVENOR_VERIFY_UI(*m_ui);
        QCOMPARE(common::AppSettings().sortFields, (Positions{12, 0, 0, 0}));
    }

private:
    std::unique_ptr<Folders> m_folders;
    std::unique_ptr<ScriptedUiServices> m_ui;
    std::unique_ptr<shell::MainWindow> m_main;
};

QTEST_MAIN(SortOrderTest)
#include "SortOrderTest.moc"
