// The colour configuration: the preset table and its derivation, the
// working copy that only Ok stores, the targets, and the main window
// recolouring at once.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "AppearanceTestSupport.h"
#include "ColorPresets.h"
#include "ColorConfigDialog.h"

using appearance::ColorPresets;
using appearance::ColorConfigDialog;
using common::AppSettings;
using common::ColorGroup;
using common::ColorSlot;
using common::ScriptedUiServices;
using common::WindowGroup;

namespace {

std::array<ColorGroup, common::kWindowGroupCount> AllGroups() {
    std::array<ColorGroup, common::kWindowGroupCount> groups;
    for (int g = 0; g < common::kWindowGroupCount; ++g) groups[size_t(g)] = AppSettings().scheme.Group(WindowGroup(g));
    return groups;
}

int PresetIndex(const QString& name) {
    const auto& all = ColorPresets::All();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].name == name) return int(i) + 1;
    return -1;
}

// Distinct colours in every group, so a copy between groups shows.
void PaintGroupsApart() {
    for (int g = 0; g < common::kWindowGroupCount; ++g)
        for (int s = 0; s < common::kColorSlotCount; ++s)
            AppSettings().scheme.Group(WindowGroup(g)).At(s) = QColor(g * 40, s * 15, 100);
}

}  // namespace

class ColorConfigTest : public QObject {
    Q_OBJECT

    appearance_test::MainWindowFixture m_fixture;
    shell::MainWindow& Main() { return m_fixture.Main(); }

private slots:
    void initTestCase() { m_fixture.Start(); }
    void init() {
        m_fixture.Reset();
        PaintGroupsApart();
    }
    void cleanupTestCase() { m_fixture.Finish(); }

    void presetsInTheirOrder() {
        QStringList names;
        for (const auto& p : ColorPresets::All()) names << p.name;
        QCOMPARE(names, (QStringList{"Monochrome", "Gray Mist", "Midnight Black", "Desert Sunset", "Easter Pastel",
                                     "Ocean Blue", "Fiery Red", "Christmas Season", "Wine", "More Pastels",
                                     "Green Glow", "Camouflage"}));
        ColorConfigDialog dialog(1);
        QCOMPARE(dialog.PresetCombo->count(), 13);
        QCOMPARE(dialog.PresetCombo->itemText(0), QString());
        QCOMPARE(dialog.PresetCombo->itemText(12), QString("Camouflage"));
    }

    void presetDerivesTheOtherSlots_data() {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QColor>("main");
        QTest::addColumn<QColor>("editBack");
        QTest::addColumn<QColor>("editText");
        QTest::addColumn<QColor>("radioText");
        QTest::newRow("midnight black") << "Midnight Black" << QColor(0, 0, 0) << QColor(127, 127, 127)
                                        << QColor(0, 0, 0) << QColor(255, 255, 255);
        QTest::newRow("christmas season") << "Christmas Season" << QColor(0, 255, 0) << QColor(255, 0, 0)
                                          << QColor(255, 255, 255) << QColor(255, 0, 0);
        QTest::newRow("camouflage") << "Camouflage" << QColor(128, 128, 0) << QColor(0, 128, 128)
                                    << QColor(192, 192, 192) << QColor(127, 127, 127);
    }
    void presetDerivesTheOtherSlots() {
        QFETCH(QString, preset);
        QFETCH(QColor, main);
        QFETCH(QColor, editBack);
        QFETCH(QColor, editText);
        QFETCH(QColor, radioText);
        ColorConfigDialog dialog(3);
        dialog.ApplyPreset(PresetIndex(preset));
        const ColorGroup& w = dialog.Working();
        QCOMPARE(w[ColorSlot::MainBackground], main);
        QCOMPARE(w[ColorSlot::EditBackground], editBack);
        QCOMPARE(w[ColorSlot::EditText], editText);
        QCOMPARE(w[ColorSlot::RadioText], radioText);
        QCOMPARE(w[ColorSlot::ComboBackground], editBack);
        QCOMPARE(w[ColorSlot::ListBoxBackground], editBack);
        QCOMPARE(w[ColorSlot::ComboText], editText);
        QCOMPARE(w[ColorSlot::ListBoxText], editText);
        QCOMPARE(w[ColorSlot::RadioBackground], main);
        QCOMPARE(w[ColorSlot::CheckBackground], main);
        QCOMPARE(w[ColorSlot::CheckText], radioText);
        // The samples show the working colours.
        QCOMPARE(dialog.EditSample->palette().color(QPalette::Base), editBack);
        QCOMPARE(dialog.PresetCombo->palette().color(QPalette::Base), editBack);
        QCOMPARE(dialog.ListSample->palette().color(QPalette::Text), editText);
        QCOMPARE(dialog.RadioSample->palette().color(QPalette::WindowText), radioText);
        QCOMPARE(dialog.RadioSample->palette().color(dialog.RadioSample->backgroundRole()), main);
        QCOMPARE(dialog.CheckSample->palette().color(dialog.CheckSample->backgroundRole()), main);
        QCOMPARE(dialog.palette().color(QPalette::Window), main);
        QCOMPARE(dialog.SectionLabels[0]->palette().color(QPalette::WindowText), w[ColorSlot::MajorTitle]);
        QCOMPARE(dialog.PresetLabel->palette().color(QPalette::WindowText), w[ColorSlot::MinorTitle]);
    }

    void emptyPresetEntryChangesNothing() {
        ColorConfigDialog dialog(2);
        const ColorGroup before = dialog.Working();
        dialog.ApplyPreset(0);
        QVERIFY(dialog.Working() == before);
    }

    void presetThenCancelChangesNoGroup() {
        const auto before = AllGroups();
        ScriptedUiServices ui;
        ui.ExpectModal("Color Configuration", [](QDialog& d) {
            auto& dialog = static_cast<ColorConfigDialog&>(d);
            dialog.ApplyPreset(PresetIndex("Wine"));
            QTest::mouseClick(dialog.CancelButton, Qt::LeftButton);
        });
        Main().ColorMenu(6);
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(AllGroups() == before);
    }

    void targetAllStartsFromTheMainGroupAndMakesEveryGroupEqual() {
        const ColorGroup mainGroup = AppSettings().scheme.Group(WindowGroup::Main);
        ColorConfigDialog dialog(6);
        QVERIFY(dialog.Working() == mainGroup);
        ScriptedUiServices ui;
        ui.ExpectChooseColor(QColor(1, 2, 3));
        dialog.ChooseSlotColor(ColorSlot::EditText);
        dialog.StoreColors();
        HALVENOR_VERIFY_UI(ui);
        ColorGroup expected = mainGroup;
        expected[ColorSlot::EditText] = QColor(1, 2, 3);
        for (const ColorGroup& g : AllGroups()) QVERIFY(g == expected);
    }

    void okStoresOnlyTheTargetGroup_data() {
        QTest::addColumn<int>("target");
        QTest::newRow("main window") << 1;
        QTest::newRow("edit window") << 2;
        QTest::newRow("search window") << 3;
        QTest::newRow("report window") << 4;
        QTest::newRow("configure window") << 5;
    }
    void okStoresOnlyTheTargetGroup() {
        QFETCH(int, target);
        const auto before = AllGroups();
        ColorConfigDialog dialog(target);
        QVERIFY(dialog.Working() == before[size_t(target - 1)]);
        dialog.ApplyPreset(PresetIndex("Ocean Blue"));
        dialog.StoreColors();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const auto after = AllGroups();
        for (int g = 0; g < common::kWindowGroupCount; ++g)
            QVERIFY(after[size_t(g)] == (g == target - 1 ? dialog.Working() : before[size_t(g)]));
        QCOMPARE(after[size_t(target - 1)][ColorSlot::MainBackground], QColor(0, 255, 255));
    }

    void presetThenOneButtonKeepsTheOtherPresetSlots() {
        ColorConfigDialog dialog(4);
        dialog.ApplyPreset(PresetIndex("Fiery Red"));
        const ColorGroup preset = dialog.Working();
        ScriptedUiServices ui;
        ui.ExpectChooseColor(QColor(9, 99, 199));
        dialog.ButtonFor(ColorSlot::CheckBackground)->click();
        HALVENOR_VERIFY_UI(ui);
        for (int s = 0; s < common::kColorSlotCount; ++s) {
            if (ColorSlot(s) == ColorSlot::CheckBackground) QCOMPARE(dialog.Working().At(s), QColor(9, 99, 199));
            else QCOMPARE(dialog.Working().At(s), preset.At(s));
        }
    }

    void cancelledColourDialogKeepsTheSlot() {
        ColorConfigDialog dialog(1);
        const ColorGroup before = dialog.Working();
        ScriptedUiServices ui;
        ui.ExpectChooseColor(std::nullopt);
        dialog.ButtonFor(ColorSlot::MajorTitle)->click();
        HALVENOR_VERIFY_UI(ui);
        QVERIFY(dialog.Working() == before);
    }

    void comboColoursRecolourThePresetList() {
        ColorConfigDialog dialog(5);
        ScriptedUiServices ui;
        ui.ExpectChooseColor(QColor(250, 240, 10));
        ui.ExpectChooseColor(QColor(20, 30, 40));
        dialog.ChooseSlotColor(ColorSlot::ComboBackground);
        dialog.ChooseSlotColor(ColorSlot::ComboText);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(dialog.PresetCombo->palette().color(QPalette::Base), QColor(250, 240, 10));
        QCOMPARE(dialog.PresetCombo->palette().color(QPalette::Text), QColor(20, 30, 40));
        QCOMPARE(dialog.ComboSample->palette().color(QPalette::Base), QColor(250, 240, 10));
    }

    void everySlotHasItsButton() {
        ColorConfigDialog dialog(1);
        const QStringList sections = {"Window", "Radio Button", "Check Box", "Edit Box", "Combo Box", "List Box"};
        QCOMPARE(int(dialog.SectionLabels.size()), 6);
        for (int i = 0; i < 6; ++i) QCOMPARE(dialog.SectionLabels[size_t(i)]->text(), sections[i]);
        for (int s = 0; s < common::kColorSlotCount; ++s) QVERIFY(dialog.ButtonFor(ColorSlot(s)));
        QCOMPARE(dialog.ButtonFor(ColorSlot::MajorTitle)->text(), QString("Major Titles"));
        QCOMPARE(dialog.ButtonFor(ColorSlot::ListBoxText)->text(), QString("Text"));
    }

    void mainWindowRecoloursAtOnce_data() {
        QTest::addColumn<int>("target");
        QTest::addColumn<bool>("recoloured");
        QTest::newRow("main window group") << 1 << true;
        QTest::newRow("all groups") << 6 << true;
        QTest::newRow("edit window group waits for its window") << 2 << false;
    }
    void mainWindowRecoloursAtOnce() {
        QFETCH(int, target);
        QFETCH(bool, recoloured);
        const QColor before = Main().ViewerLabel()->palette().color(QPalette::WindowText);
        ScriptedUiServices ui;
        ui.ExpectModal("Color Configuration", [](QDialog& d) {
            auto& dialog = static_cast<ColorConfigDialog&>(d);
            dialog.ApplyPreset(PresetIndex("Green Glow"));
            QTest::mouseClick(dialog.OkButton, Qt::LeftButton);
        });
        Main().ColorMenu(target);
        HALVENOR_VERIFY_UI(ui);
        const QColor label = Main().ViewerLabel()->palette().color(QPalette::WindowText);
        QCOMPARE(label, recoloured ? QColor(0, 255, 0) : before);
        if (recoloured)
            QCOMPARE(Main().centralWidget()->palette().color(QPalette::Window), QColor(0, 0, 0));
    }
};

QTEST_MAIN(ColorConfigTest)
#include "ColorConfigTest.moc"
