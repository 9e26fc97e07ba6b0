#include "ReportDefinitionDialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "AppPaths.h"
#include "ReportDialogSupport.h"
#include "ReportFile.h"
#include "ReportCommands.h"
#include "ReportLayoutDialog.h"
#include "ReportFontsDialog.h"

namespace reports {
namespace {

using common::Answer;
using common::Buttons;
using common::MessageIcon;
using common::Ui;

const QString kNameChanged =
    "Report Title has changed!  Do you wish to save this as a new report?   (YES saves as new report.  NO "
    "overwrites old report.  CANCEL aborts.)";
const QString kTo120 =
    "Switching to 120 characters from 150 will truncate the current defined lines.  In addition, the font size will "
    "be reset to a 8 point as a default.  Are you sure you wish to do this?";
const QString kTo90 =
    "Switching to 90 characters from 120 or 150 will truncate the current defined lines.  In addition, the font size "
    "will be reset to a 10 point as a default.  Are you sure you wish to do this?";

QString Margin(double inches) { return QString::number(inches, 'f', 2); }

std::optional<double> ReadMargin(const QLineEdit& edit) {
    QString text = edit.text().trimmed();
    text.replace(',', '.');
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value) || value < 0) return std::nullopt;
    return value;
}

// The paper the report is likely printed on: the default printer's, or the
// usual paper of the system's measurement system.
QSizeF PaperInches(bool landscape) {
    QPageSize page = QPrinterInfo::defaultPrinter().defaultPageSize();
    if (!page.isValid())
        page = QPageSize(QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                           : QPageSize::A4);
    const QSizeF size = page.size(QPageSize::Inch);
    return landscape ? size.transposed() : size;
}

QLineEdit* NewSummary(QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    return e;
}

}  // namespace

ReportDefinitionDialog::ReportDefinitionDialog(ReportMode mode, int position, QListWidget* reportList, QWidget* parent)
    : QDialog(parent), m_mode(mode), m_position(position), m_list(reportList) {
    setWindowTitle("Report Definition");
    BuildControls();
    LoadControls();
    m_openingName = QString::fromStdString(CurrentReport().name);
    DeleteButton->setEnabled(m_mode == ReportMode::Modify);
}

void ReportDefinitionDialog::BuildControls() {
    // Name and width, titles and fonts, then the options across the window,
    // then content and margins.
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(9, 6, 9, 6);
    root->setSpacing(4);
    auto* groups = new QGridLayout;
    groups->setVerticalSpacing(2);
    groups->setColumnStretch(0, 1);
    groups->setColumnStretch(1, 1);
    root->addLayout(groups);

    auto* nameBox = new QGroupBox("Report Name", this);
    ReportName = new QLineEdit(nameBox);
    ReportName->setMaxLength(kNameCapacity);
    (new QVBoxLayout(nameBox))->addWidget(ReportName);
    groups->addWidget(nameBox, 0, 0);

    auto* titleBox = new QGroupBox("Report Titles", this);
    auto* titleLayout = new QVBoxLayout(titleBox);
    titleLayout->setSpacing(2);
    for (QLineEdit** t : {&Title1, &Title2, &Title3}) {
        *t = new QLineEdit(titleBox);
        (*t)->setMaxLength(kTitleCapacity);
        titleLayout->addWidget(*t);
    }
    groups->addWidget(titleBox, 1, 0);

    auto* miscBox = new QGroupBox("Miscellaneous", this);
    auto* miscLayout = new QGridLayout(miscBox);
    miscLayout->setVerticalSpacing(2);
    int cell = 0;
    for (auto [box, caption] : std::initializer_list<std::pair<QCheckBox**, const char*>>{
             {&ColumnHeaders, "Column Headers"},
             {&PageNumbers, "Page Numbers"},
             {&UseTotals, "Use Totals"},
             {&HorizontalLines, "Horizontal Lines"},
             {&VerticalLines, "Vertical Lines"},
             {&DateOnPages, "Date On Pages"},
             {&Landscape, "Print Landscape"},
             {&GroupLevel1, "Group by Level 1 Sort"},
             {&GroupLevel2, "Group by Level 2 Sort"},
             {&PrintPhotos, "Print &Photos"}}) {
        *box = new QCheckBox(caption, miscBox);
        miscLayout->addWidget(*box, cell % 3, cell / 3);
        ++cell;
    }
    groups->addWidget(miscBox, 2, 0, 1, 2);

    auto* widthBox = new QGroupBox("Report Width", this);
    auto* widthLayout = new QHBoxLayout(widthBox);
    Width90 = new QRadioButton("90 Chars", widthBox);
    Width120 = new QRadioButton("120 Chars", widthBox);
    Width150 = new QRadioButton("150 Chars", widthBox);
    for (auto [radio, width] : {std::pair{Width90, 90}, std::pair{Width120, 120}, std::pair{Width150, 150}}) {
        widthLayout->addWidget(radio);
        connect(radio, &QRadioButton::clicked, this, [this, w = width] { ChangeWidth(w); });
    }
    groups->addWidget(widthBox, 0, 1);

    auto* fontBox = new QGroupBox("Report Fonts", this);
    auto* fontLayout = new QGridLayout(fontBox);
    fontLayout->setVerticalSpacing(2);
    TitleFontSummary = NewSummary(fontBox);
    HeaderFontSummary = NewSummary(fontBox);
    BodyFontSummary = NewSummary(fontBox);
    FootnoteFontSummary = NewSummary(fontBox);
    int row = 0;
    for (auto [summary, caption] : {std::pair{TitleFontSummary, "Title Lines"},
                                    std::pair{HeaderFontSummary, "Column Headers"},
                                    std::pair{BodyFontSummary, "Report Body"},
                                    std::pair{FootnoteFontSummary, "Footnotes"}}) {
        fontLayout->addWidget(new QLabel(caption, fontBox), row, 0);
        fontLayout->addWidget(summary, row, 1);
        ++row;
    }
    SetFontsButton = new QPushButton("&Set Fonts", fontBox);
    fontLayout->addWidget(SetFontsButton, row, 1, Qt::AlignRight);
    groups->addWidget(fontBox, 1, 1);

    auto* contentBox = new QGroupBox("Report Content", this);
    auto* contentLayout = new QHBoxLayout(contentBox);
    NumberOfLines = new QLineEdit(contentBox);
    NumberOfLines->setMaxLength(2);
    NumberOfLines->setMaximumWidth(40);
    SpecifyButton = new QPushButton("&Specify Report Content", contentBox);
    contentLayout->addWidget(new QLabel("Number of Lines", contentBox));
    contentLayout->addWidget(NumberOfLines);
    contentLayout->addWidget(SpecifyButton, 1);
    groups->addWidget(contentBox, 3, 0, Qt::AlignTop);

    auto* marginBox = new QGroupBox("Margins (in inches)", this);
    auto* marginLayout = new QGridLayout(marginBox);
    marginLayout->setVerticalSpacing(2);
    int m = 0;
    for (auto [edit, caption] : std::initializer_list<std::pair<QLineEdit**, const char*>>{
             {&TopMargin, "Top"}, {&BottomMargin, "Bottom"}, {&LeftMargin, "Left"}, {&RightMargin, "Right"}}) {
        *edit = new QLineEdit(marginBox);
        (*edit)->setMaxLength(5);
        (*edit)->setMaximumWidth(60);
        marginLayout->addWidget(new QLabel(caption, marginBox), m / 2, (m % 2) * 2);
        marginLayout->addWidget(*edit, m / 2, (m % 2) * 2 + 1);
        (*edit)->installEventFilter(this);
        ++m;
    }
    groups->addWidget(marginBox, 3, 1);

    auto* buttons = new QHBoxLayout;
    UpdateButton = new QPushButton("&Update", this);
    HelpButton = new QPushButton("&Help", this);
    DeleteButton = new QPushButton("&Delete", this);
    CancelButton = new QPushButton("&Cancel", this);
    buttons->addStretch(1);
    for (QPushButton* b : {UpdateButton, HelpButton, DeleteButton, CancelButton}) buttons->addWidget(b);
    root->addLayout(buttons);

    ReportName->installEventFilter(this);
    NumberOfLines->installEventFilter(this);
    connect(GroupLevel1, &QCheckBox::clicked, this, [this] { EnableSecondLevel(); });
    connect(SetFontsButton, &QPushButton::clicked, this, [this] { EditFonts(); });
    connect(SpecifyButton, &QPushButton::clicked, this, [this] { EditLayout(); });
    connect(UpdateButton, &QPushButton::clicked, this, [this] { SaveReport(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { ShowHelp(); });
    connect(DeleteButton, &QPushButton::clicked, this, [this] { DeleteReport(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
}

void ReportDefinitionDialog::LoadControls() {
    const ReportDefinition& d = CurrentReport();
    ReportName->setText(QString::fromStdString(d.name));
    ShowWidth();
    ShowFonts();
    Title1->setText(QString::fromStdString(d.titles[0]));
    Title2->setText(QString::fromStdString(d.titles[1]));
    Title3->setText(QString::fromStdString(d.titles[2]));
    ColumnHeaders->setChecked(d.columnHeaders);
    PageNumbers->setChecked(d.pageNumbers);
    UseTotals->setChecked(d.useTotals);
    HorizontalLines->setChecked(d.horizontalLines);
    VerticalLines->setChecked(d.verticalLines);
    DateOnPages->setChecked(d.dateOnPages);
    Landscape->setChecked(d.landscape);
    GroupLevel1->setChecked(d.groupLevel1);
    GroupLevel2->setChecked(d.groupLevel1 && d.groupLevel2);
    GroupLevel2->setEnabled(d.groupLevel1);
    PrintPhotos->setChecked(d.printPhotos);
    NumberOfLines->setText(QString::number(d.lines));
    TopMargin->setText(Margin(d.topMargin));
    BottomMargin->setText(Margin(d.bottomMargin));
    LeftMargin->setText(Margin(d.leftMargin));
    RightMargin->setText(Margin(d.rightMargin));
    StoreLineCount();
}

void ReportDefinitionDialog::ShowFonts() {
    const ReportDefinition& d = CurrentReport();
    TitleFontSummary->setText(FontSummary(d.Font(FontSlot::Title)));
    HeaderFontSummary->setText(FontSummary(d.Font(FontSlot::ColumnHeader)));
    BodyFontSummary->setText(FontSummary(d.Font(FontSlot::Body)));
    FootnoteFontSummary->setText(FontSummary(d.Font(FontSlot::Footnote)));
}

void ReportDefinitionDialog::ShowWidth() {
    const int width = CurrentReport().width;
    (width == 150 ? Width150 : width == 120 ? Width120 : Width90)->setChecked(true);
}

void ReportDefinitionDialog::showEvent(QShowEvent* event) {
    PrepareReportDialog(*this);
    QDialog::showEvent(event);
    ReportName->setFocus();
}

bool ReportDefinitionDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == ReportName) StoreName();
        else if (watched == NumberOfLines || watched == TopMargin || watched == BottomMargin ||
                 watched == LeftMargin || watched == RightMargin)
            StoreLineCount();
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- handlers

void ReportDefinitionDialog::StoreName() {
    const QString name = ReportName->text().trimmed().left(kNameCapacity);
    CurrentReport().name = name.toStdString();
    if (m_mode == ReportMode::Modify) DeleteButton->setEnabled(name == m_openingName);
}

void ReportDefinitionDialog::StoreLineCount() {
    bool ok = false;
    const int lines = NumberOfLines->text().trimmed().toInt(&ok);
    if (ok && lines >= 0 && lines <= kMaxBodyLines) {
        CurrentReport().lines = lines;
        NumberOfLines->setText(QString::number(lines));
    }
    const bool few = CurrentReport().lines < 2;
    ColumnHeaders->setEnabled(few);
    HorizontalLines->setEnabled(few);
    VerticalLines->setEnabled(few);
}

void ReportDefinitionDialog::EnableSecondLevel() { GroupLevel2->setEnabled(GroupLevel1->isChecked()); }

void ReportDefinitionDialog::ChangeWidth(int width) {
    ReportDefinition& d = CurrentReport();
    if (width == d.width) return;
    const QString* question = nullptr;
    if (width == 120 && d.width == 150) question = &kTo120;
    else if (width == 90) question = &kTo90;
    if (question) {
        Ui().Beep();
        if (Ui().Ask("Warning", *question, Buttons::YesNo, Answer::No, MessageIcon::Error) != Answer::Yes) {
            ShowWidth();
            return;
        }
    }
    ChangeReportWidth(d, width);
    ShowWidth();
    BodyFontSummary->setText(FontSummary(d.Font(FontSlot::Body)));
    if (width == 120 || width == 150) {
        Ui().Beep();
        Ui().Message("Notice",
                     QString("The Report Body font size has been set to a %1 Point default size as a result of "
                             "switching to %2 characters per line.")
                         .arg(DefaultBodyFontSize(width))
                         .arg(width),
                     MessageIcon::Warning);
    }
}

void ReportDefinitionDialog::EditFonts() {
    ReportFontsDialog fonts(CurrentReport(), this);
    Ui().ShowModal(fonts);
    ShowFonts();
}

bool ReportDefinitionDialog::CheckLines() {
    bool ok = false;
    const int lines = NumberOfLines->text().trimmed().toInt(&ok);
    if (!ok || lines < 0 || lines > kMaxBodyLines) {
        Refuse("Notice", "Number of lines must be in range of 0 to 12.  Please correct.", MessageIcon::Warning,
               NumberOfLines);
        return false;
    }
    StoreLineCount();
    return true;
}

bool ReportDefinitionDialog::CheckMargins(std::array<double, 4>& margins) {
    const std::array<QLineEdit*, 4> edits = {TopMargin, BottomMargin, LeftMargin, RightMargin};
    for (size_t i = 0; i < edits.size(); ++i) {
        const auto value = ReadMargin(*edits[i]);
        if (!value) {
            Refuse("Error", "Invalid margin entered.  Please correct.", MessageIcon::Warning, edits[i]);
            return false;
        }
        margins[i] = *value;
    }
    const QSizeF paper = PaperInches(Landscape->isChecked());
    if (margins[2] + margins[3] >= paper.width()) {
        Refuse("Error", "The left and right margins leave no room to print on the page.  Please correct.",
               MessageIcon::Warning, LeftMargin);
        return false;
    }
    if (margins[0] + margins[1] >= paper.height()) {
        Refuse("Error", "The top and bottom margins leave no room to print on the page.  Please correct.",
               MessageIcon::Warning, TopMargin);
        return false;
    }
    return true;
}

void ReportDefinitionDialog::EditLayout() {
    if (!CheckLines()) return;
    StoreName();
    ReportLayoutDialog layout(CurrentReport(), UseTotals->isChecked(), this);
    Ui().ShowModal(layout);
}

void ReportDefinitionDialog::SaveReport() {
    // 1. The entries, before anything changes.
    if (!CheckLines()) return;
    std::array<double, 4> margins{};
    if (!CheckMargins(margins)) return;
    const QString name = ReportName->text().trimmed().left(kNameCapacity);
    if (!CheckStorable(name, "The report name", ReportName)) return;
    std::array<QString, 3> titles;
    const std::array<QLineEdit*, 3> titleEdits = {Title1, Title2, Title3};
    for (size_t i = 0; i < titles.size(); ++i) {
        titles[i] = titleEdits[i]->text().trimmed().left(kTitleCapacity);
        if (!CheckStorable(titles[i], QString("Title line %1").arg(i + 1), titleEdits[i])) return;
    }

    // 2. Every control into the current definition.
    ReportDefinition& d = CurrentReport();
    d.name = name.toStdString();
    for (size_t i = 0; i < titles.size(); ++i) d.titles[i] = titles[i].toStdString();
    d.columnHeaders = ColumnHeaders->isChecked();
    d.pageNumbers = PageNumbers->isChecked();
    d.useTotals = UseTotals->isChecked();
    d.horizontalLines = HorizontalLines->isChecked();
    d.verticalLines = VerticalLines->isChecked();
    d.dateOnPages = DateOnPages->isChecked();
    d.landscape = Landscape->isChecked();
    d.groupLevel1 = GroupLevel1->isChecked();
    // A level 2 box left ticked while level 1 is off cannot take effect.
    d.groupLevel2 = GroupLevel1->isChecked() && GroupLevel2->isChecked();
    d.printPhotos = PrintPhotos->isChecked();
    d.topMargin = margins[0];
    d.bottomMargin = margins[1];
    d.leftMargin = margins[2];
    d.rightMargin = margins[3];

    // 3. A renamed report may become a new one.
    ReportMode mode = m_mode;
    if (mode == ReportMode::Modify && name != m_openingName) {
        Ui().Beep();
        const Answer answer = Ui().Ask("Warning", kNameChanged, Buttons::YesNoCancel, Answer::No, MessageIcon::Error);
        if (answer == Answer::Cancel || answer == Answer::None) return;
        if (answer == Answer::Yes) mode = ReportMode::New;
    }

    // 4. The file.
    ReportFile file(AppReportFilePath());
    int position = m_position;
    try {
        if (mode == ReportMode::New) position = file.Append(d);
        else file.Write(position, d);
    } catch (const ReportFileError& e) {
        Refuse("Error", QString::fromStdString(e.what()), MessageIcon::Error, nullptr);
        return;
    }
    m_mode = mode;
    m_position = position;

    // 5. The list shows the file, the saved definition selected.
    ReloadList(position);
    accept();
}

void ReportDefinitionDialog::DeleteReport() {
    if (m_mode != ReportMode::Modify) return;
    Ui().Beep();
    if (Ui().Ask("Warning", "Are you sure you want to delete this report?", Buttons::YesNo, Answer::No,
                 MessageIcon::Question) != Answer::Yes)
        return;
    try {
        ReportFile(AppReportFilePath()).Delete(m_position);
    } catch (const ReportFileError& e) {
        Refuse("Error", QString::fromStdString(e.what()), MessageIcon::Error, nullptr);
        return;
    }
    ReloadList(m_position);
    accept();
}

void ReportDefinitionDialog::Cancel() { reject(); }

void ReportDefinitionDialog::ShowHelp() { Ui().OpenHelp("User Defined Reports"); }

void ReportDefinitionDialog::ReloadList(int select) {
    if (!m_list) return;
    FillReportList(*m_list);
    if (m_list->count() > 0) m_list->setCurrentRow(std::clamp(select, 0, m_list->count() - 1));
}

}  // namespace reports
