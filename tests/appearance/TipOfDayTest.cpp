// The tip of the day: the fixed tips, Next wrapping round, and the start-up
// choice stored when the dialog closes.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "AppearanceTestSupport.h"
#include "TipOfDayDialog.h"
#include "TipOfDay.h"

using appearance::TipOfDayDialog;
using common::AppSettings;
using common::ScriptedUiServices;

class TipOfDayTest : public QObject {
    Q_OBJECT

    appearance_test::MainWindowFixture m_fixture;

private slots:
    void initTestCase() { m_fixture.Start(); }
    void init() { m_fixture.Reset(); }
    void cleanupTestCase() { m_fixture.Finish(); }

    void tipsAreFixed() {
        const QStringList& tips = TipOfDayDialog::Tips();
        QCOMPARE(tips.size(), 24);
        for (const QString& tip : tips) QVERIFY2(tip.size() <= 130, qPrintable(tip));
        QCOMPARE(tips.first(), QString("You can rename database fields to your liking."));
        QCOMPARE(tips[9], QString("You can maintain multiple databases and Halvenor will display the last five used "
                                  "in the menu for easy retrieval."));
        QCOMPARE(tips.last(), QString("The Overview (Ctrl+Shift+O) charts what your items are worth by category, "
                                      "location and owner, and lists warranties ending soon."));
        QCOMPARE(tips[22], QString("User defined reports allow for Column Headers, Vertical and Horizontal lines, "
                                      "Grouping of Data, Totals and More."));
        QStringList unique = tips;
        QCOMPARE(unique.removeDuplicates(), 0);
    }

    void nextTipComesRoundAfterTheLast_data() {
        QTest::addColumn<int>("start");
        QTest::newRow("first tip") << 1;
        QTest::newRow("a middle tip") << 12;
        QTest::newRow("last tip") << 24;
    }
    void nextTipComesRoundAfterTheLast() {
        QFETCH(int, start);
        TipOfDayDialog dialog;
        dialog.ShowTip(start);
        const QString text = dialog.TipLabel->text();
        QSet<int> seen;
        for (int i = 0; i < 24; ++i) {
            seen.insert(dialog.TipNumber());
            QTest::mouseClick(dialog.NextTipButton, Qt::LeftButton);
        }
        QCOMPARE(dialog.TipNumber(), start);
        QCOMPARE(dialog.TipLabel->text(), text);
        QCOMPARE(seen.size(), 24);
        dialog.ShowTip(24);
        dialog.ShowNextTip();
        QCOMPARE(dialog.TipNumber(), 1);
    }

    void closingStoresTheStartupChoice_data() {
        QTest::addColumn<bool>("before");
        QTest::addColumn<bool>("ticked");
        QTest::newRow("unticked keeps tips away") << true << false;
        QTest::newRow("ticked brings them back") << false << true;
        QTest::newRow("left as it was") << true << true;
    }
    void closingStoresTheStartupChoice() {
        QFETCH(bool, before);
        QFETCH(bool, ticked);
        AppSettings().showTips = before;
        ScriptedUiServices ui;
        ui.ExpectModal("Tip of the Day", [&](QDialog& d) {
            auto& dialog = static_cast<TipOfDayDialog&>(d);
            QCOMPARE(dialog.ShowTipsCheck->isChecked(), before);
            QCOMPARE(dialog.HeadingLabel->text(), QString("Did you know?"));
            QVERIFY(dialog.TipNumber() >= 1 && dialog.TipNumber() <= 24);
            QCOMPARE(dialog.TipLabel->text(), TipOfDayDialog::Tips()[dialog.TipNumber() - 1]);
            dialog.ShowTipsCheck->setChecked(ticked);
            QTest::mouseClick(dialog.CloseButton, Qt::LeftButton);
        });
        m_fixture.Main().ShowTips();  // the Help menu's command
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(AppSettings().showTips, ticked);
    }

    void closingOtherwiseStoresItToo() {
        AppSettings().showTips = true;
        ScriptedUiServices ui;
        ui.ExpectModal("Tip of the Day", [](QDialog& d) {
            static_cast<TipOfDayDialog&>(d).ShowTipsCheck->setChecked(false);
            d.close();  // the close box
        });
        appearance::ShowTipOfDay(nullptr);
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(!AppSettings().showTips);
    }

    void firstActivationShowsTipsOnlyWhenChosen_data() {
        QTest::addColumn<bool>("showTips");
        QTest::newRow("tips on") << true;
        QTest::newRow("tips off") << false;
    }
    void firstActivationShowsTipsOnlyWhenChosen() {
        QFETCH(bool, showTips);
        ScriptedUiServices ui;
        ui.AllowBeeps(true);
        if (showTips) ui.ExpectModal("Tip of the Day", int(QDialog::Rejected));
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        QDir().mkpath(home.filePath("config/halvenor"));
        QFile ini(home.filePath("config/halvenor/KELDOR.INI"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(showTips ? "[Misc]\r\nShow Tips=Yes\r\n" : "[Misc]\r\nShow Tips=No\r\n");
        ini.close();
        shell::MainWindow main(QSize(1024, 768));
        main.ShowTipsOnFirstActivation();
        main.ShowTipsOnFirstActivation();  // only the first activation counts
        HALVENOR_VERIFY_UI(ui);
    }
};

QTEST_MAIN(TipOfDayTest)
#include "TipOfDayTest.moc"
