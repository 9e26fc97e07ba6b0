// The pattern every window test follows: build the dialog, set its
// controls, call its handlers, and check what the user would have seen
// through the scripted services. Also the showing sequence (fonts by
// control kind, scaling, centring, the move up) and colour groups.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

#include "ScriptedUiServices.h"
#include "Settings.h"
#include "TextRules.h"
#include "WindowLayout.h"

using namespace common;

namespace {

// A small window in the shape of the program's dialogs.
class NameDialog : public QDialog {
public:
    NameDialog() {
        setWindowTitle("Owner Name");
        auto* layout = new QVBoxLayout(this);
        NameLabel = new QLabel("Name", this);
        NameEdit = new QLineEdit(this);
        OkButton = new QPushButton("&Ok", this);
        layout->addWidget(NameLabel);
        layout->addWidget(NameEdit);
        layout->addWidget(OkButton);
        connect(OkButton, &QPushButton::clicked, this, [this] { StoreName(); });
    }

    void StoreName() {
        const QString name = TextRules::TrimSpaces(NameEdit->text());
        if (name.isEmpty()) {
            Ui().Message("Error", "Please enter a name.", MessageIcon::Error);
            NameEdit->setFocus();
            return;
        }
        if (Ui().Ask("Confirm", "Save the name " + name + "?", Buttons::YesNo, Answer::No) != Answer::Yes) return;
        savedName = name;
        accept();
    }

    QLabel* NameLabel;
    QLineEdit* NameEdit;
    QPushButton* OkButton;
    QString savedName;

protected:
    void showEvent(QShowEvent* event) override {
        ++shownCount;
        WindowLayout::PrepareDialog(*this);
        WindowLayout::MoveUpIfLow(*this);
        QDialog::showEvent(event);
    }

public:
    int shownCount = 0;
};

}  // namespace

class WindowServicesTest : public QObject {
    Q_OBJECT

private slots:
    void okButtonClick_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer");  // Answer, or -1 when no question comes
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("saved");
        QTest::newRow("blank name is refused") << "   " << -1 << QStringList{"Error|Please enter a name."} << "";
        QTest::newRow("confirmed name is saved")
            << " Ann " << int(Answer::Yes) << QStringList{"Confirm|Save the name Ann?"} << "Ann";
        QTest::newRow("declined name is not saved")
            << "Ann" << int(Answer::No) << QStringList{"Confirm|Save the name Ann?"} << "";
    }
    void okButtonClick() {
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(QString, saved);
        ScriptedUiServices ui;
        if (answer < 0) ui.ExpectMessage("Error", "Please enter a name.");
        else ui.ExpectAsk("Confirm", std::nullopt, Answer(answer));

        NameDialog dialog;
        dialog.NameEdit->setText(typed);
        dialog.StoreName();

        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(ui.Messages(), messages);
        QCOMPARE(dialog.savedName, saved);
        QCOMPARE(dialog.result(), saved.isEmpty() ? int(QDialog::Rejected) : int(QDialog::Accepted));
    }

    void showModalDrivesTheDialogWithoutBlocking() {
        ScriptedUiServices ui;
        ui.ExpectModal("Owner Name", [](QDialog& d) {
            auto& dialog = static_cast<NameDialog&>(d);
            QVERIFY(dialog.isVisible());
            dialog.NameEdit->setText("Bo");
            QTest::mouseClick(dialog.OkButton, Qt::LeftButton);
        });
        ui.ExpectAsk("Confirm", "Save the name Bo?", Answer::Yes);

        NameDialog dialog;
        QCOMPARE(Ui().ShowModal(dialog), int(QDialog::Accepted));
        QCOMPARE(dialog.shownCount, 1);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.savedName, QString("Bo"));
        HALVENOR_VERIFY_UI(ui);
    }

    void dialogLeftOpenByTheScriptIsRejected() {
        ScriptedUiServices ui;
        ui.ExpectModal("Owner Name", [](QDialog&) {});
        NameDialog dialog;
        QCOMPARE(Ui().ShowModal(dialog), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        HALVENOR_VERIFY_UI(ui);
    }

    void scriptReportsWhatWentWrong() {
        ScriptedUiServices* outer = nullptr;
        {
            ScriptedUiServices ui;
            outer = &ui;
            QCOMPARE(&Ui(), static_cast<UiServices*>(&ui));
            ui.ExpectMessage("Error", "expected text");
            ui.ExpectBeep();
            Ui().Message("Error", "other text", MessageIcon::Error);  // mismatch: stays expected
            Ui().Ask("Warning", "Save changes?", Buttons::YesNoCancel, Answer::No);
            QVERIFY(!ui.Verify());
            const QStringList failures = ui.Failures();
            QCOMPARE(failures.size(), 4);
            QVERIFY(failures[0].contains("other text") && failures[0].contains("expected text"));
            QVERIFY(failures[1].contains("Save changes?"));
            QVERIFY(failures[2].startsWith("expected but never came: Message"));
            QVERIFY(failures[3].startsWith("expected but never came: Beep"));
            QCOMPARE(ui.Calls().size(), size_t(2));
        }
        // Destroying the script puts the program's services back.
        QVERIFY(&Ui() != static_cast<UiServices*>(outer));
    }

    void unscriptedAnswersBackOut() {
        ScriptedUiServices ui;
        QCOMPARE(Ui().Ask("Warning", "Save?", Buttons::YesNoCancel, Answer::Yes), Answer::Cancel);
        QCOMPARE(Ui().Ask("Confirm", "Delete?", Buttons::YesNo, Answer::Yes), Answer::No);
        QVERIFY(!Ui().OpenFile({"Open Database File", {}, {}, "Database Files (*.DBF)|*.DBF", "DBF"}));
        QCOMPARE(ui.Failures().size(), 3);
    }

    void beepsCanBeAllowed() {
        ScriptedUiServices ui;
        ui.AllowBeeps(true);
        ui.ExpectMessage("Notice", "Done.");
        Ui().Beep();
        Ui().Message("Notice", "Done.", MessageIcon::Information);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(ui.Calls().size(), size_t(2));
    }

    void applyFontsByControlKind() {
        DisplayScheme scheme;
        scheme.labelFont = QFont("Courier New");
        scheme.labelFont.setBold(true);
        scheme.editFont = QFont("Times New Roman");
        scheme.editFont.setItalic(true);
        scheme.buttonFont = QFont("Liberation Sans");
        scheme.buttonFont.setBold(true);
        scheme.buttonFont.setItalic(true);

        QWidget window;
        auto* label = new QLabel("Title", &window);
        QFont big("Arial", 23);
        label->setFont(big);
        WindowLayout::SetTextColor(*label, Qt::red);
        auto* edit = new QLineEdit(&window);
        auto* combo = new QComboBox(&window);
        combo->setEditable(true);
        auto* check = new QCheckBox("Check", &window);
        auto* button = new QPushButton("Ok", &window);
        auto* speed = new QToolButton(&window);
        const QFont speedFont = speed->font();
        const int editSize = edit->font().pointSize();

        WindowLayout::ApplyFonts(window, scheme);

        QCOMPARE(label->font().family(), QString("Courier New"));
        QVERIFY(label->font().bold() && !label->font().italic());
        QCOMPARE(label->font().pointSize(), 23);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(check->font().family(), QString("Courier New"));
        QCOMPARE(edit->font().family(), QString("Times New Roman"));
        QVERIFY(edit->font().italic() && !edit->font().bold());
        QCOMPARE(edit->font().pointSize(), editSize);
        QCOMPARE(combo->font().family(), QString("Times New Roman"));
        QCOMPARE(combo->lineEdit()->font().family(), QString("Times New Roman"));
        QCOMPARE(button->font().family(), QString("Liberation Sans"));
        QVERIFY(button->font().bold() && button->font().italic());
        QCOMPARE(speed->font(), speedFont);
    }

    void scaleGrowsFontsAndGeometryOnce() {
        QWidget window;
        window.setFont(QFont("Arial", 10));
        window.resize(400, 200);
        auto* label = new QLabel("inherits", &window);  // no font of its own
        label->setGeometry(10, 20, 100, 30);
        auto* edit = new QLineEdit(&window);
        edit->setFont(QFont("Arial", 8));
        edit->setGeometry(5, 5, 50, 21);

        WindowLayout::Scale(window, 1.25);

        QCOMPARE(window.size(), QSize(500, 250));
        QCOMPARE(label->geometry(), QRect(13, 25, 125, 38));
        QCOMPARE(window.font().pointSizeF(), 12.5);
        QCOMPARE(label->font().pointSizeF(), 12.5);
        QCOMPARE(edit->font().pointSizeF(), 10.0);
        QCOMPARE(edit->geometry(), QRect(6, 6, 63, 26));
    }

    void persistentDialogScalesFromItsDesignEachTime() {
        QWidget window;
        window.resize(300, 100);
        window.setFont(QFont("Arial", 10));
        DesignLayout design;
        design.Record(window);
        for (int showing = 0; showing < 2; ++showing) {
            design.Restore(window);
            WindowLayout::Scale(window, 2.0);
            QCOMPARE(window.size(), QSize(600, 200));
            QCOMPARE(window.font().pointSizeF(), 20.0);
        }
    }

    void factorFromWindowSize_data() {
        QTest::addColumn<int>("preset");
        QTest::addColumn<double>("factor");
        QTest::newRow("640") << 640 << 1.0;
        QTest::newRow("800") << 800 << 1.25;
        QTest::newRow("1024") << 1024 << 1.6;
        QTest::newRow("1280") << 1280 << 2.0;
        QTest::newRow("unknown") << 1600 << 1.0;
    }
    void factorFromWindowSize() {
        QFETCH(int, preset);
        QFETCH(double, factor);
        QCOMPARE(FactorForWindowSize(preset), factor);
    }

    void centredPosition_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("odd remainders round down") << QRect(0, 0, 1024, 768) << QSize(301, 201) << QPoint(361, 283);
        QTest::newRow("window wider than screen rounds toward zero")
            << QRect(0, 0, 1024, 768) << QSize(1101, 769) << QPoint(-38, 0);
        QTest::newRow("second screen offset") << QRect(1920, 0, 800, 600) << QSize(400, 300) << QPoint(2120, 150);
    }
    void centredPosition() {
        QFETCH(QRect, screen);
        QFETCH(QSize, window);
        QFETCH(QPoint, position);
        QCOMPARE(WindowLayout::CentredPosition(screen, window), position);
    }

    void moveUpOnlyWhenMoreThanTenDown_data() {
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("after");
        QTest::newRow("11 down moves") << 11 << 1;
        QTest::newRow("10 down stays") << 10 << 10;
        QTest::newRow("at the top stays") << 0 << 0;
    }
    void moveUpOnlyWhenMoreThanTenDown() {
        QFETCH(int, top);
        QFETCH(int, after);
        QWidget window;
        const QRect screen = window.screen()->geometry();
        window.move(screen.x() + 5, screen.y() + top);
        WindowLayout::MoveUpIfLow(window);
        QCOMPARE(window.pos().y() - screen.y(), after);
        QCOMPARE(window.pos().x() - screen.x(), 5);
    }

    void colourGroupColoursControlsByKind() {
        ColorGroup group;
        group[ColorSlot::MainBackground] = QColor(1, 1, 1);
        group[ColorSlot::EditBackground] = QColor(2, 2, 2);
        group[ColorSlot::EditText] = QColor(3, 3, 3);
        group[ColorSlot::ComboBackground] = QColor(4, 4, 4);
        group[ColorSlot::RadioText] = QColor(5, 5, 5);
        group[ColorSlot::CheckBackground] = QColor(6, 6, 6);
        QWidget window;
        auto* edit = new QLineEdit(&window);
        auto* combo = new QComboBox(&window);
        auto* radio = new QRadioButton(&window);
        auto* check = new QCheckBox(&window);
        WindowLayout::ApplyColors(window, group);
        QCOMPARE(window.palette().color(QPalette::Window), QColor(1, 1, 1));
        QCOMPARE(edit->palette().color(QPalette::Base), QColor(2, 2, 2));
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(3, 3, 3));
        QCOMPARE(combo->palette().color(QPalette::Base), QColor(4, 4, 4));
        QCOMPARE(radio->palette().color(QPalette::WindowText), QColor(5, 5, 5));
        QCOMPARE(check->palette().color(QPalette::Window), QColor(6, 6, 6));
    }
};

QTEST_MAIN(WindowServicesTest)
#include "WindowServicesTest.moc"
