#include "OverviewWindow.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <set>

#include "EngineError.h"
#include "ItemTable.h"
#include "MainContext.h"
#include "Settings.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace overview {
namespace {

using common::Ui;

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Amounts as the reports' numeric format shows them, with two decimals.
QString Money(double amount) {
    const QLocale locale =
        common::AppSettings().numericFormat == 2 ? QLocale::system() : QLocale(QLocale::English, QLocale::UnitedStates);
    return locale.toString(amount, 'f', 2);
}

QString Items(uint64_t n) { return QString::number(n) + (n == 1 ? " item" : " items"); }

const char* const kAmountNames[] = {"Cost", "Replacement Cost", "Value"};

const char* FieldOfChart(Chart chart) {
    switch (chart) {
    case Chart::Category: return "Category";
    case Chart::Location: return "Location";
    case Chart::Owner: return "Owner";
    case Chart::Years: break;
    }
    return "PurchDate";
}

const std::vector<Group>& GroupsOf(const Figures& f, Chart chart) {
    return chart == Chart::Location ? f.byLocation : chart == Chart::Owner ? f.byOwner : f.byCategory;
}

QString GroupName(const Group& g) { return g.other ? QString("Other") : g.name.empty() ? QString("(none)") : Text(g.name); }

// A bar's caption: its name and figure, made unique so that the axis keeps
// every bar (it merges equal captions).
QStringList UniqueCaptions(const QStringList& captions) {
    QStringList out;
    std::set<QString> seen;
    for (QString c : captions) {
        while (!seen.insert(c).second) c += QChar(0x200B);
        out << c;
    }
    return out;
}

}  // namespace

OverviewWindow::OverviewWindow(common::MainContext& context, std::function<void(uint32_t)> openItem, QWidget* parent)
    : QDialog(parent), m_context(context), m_openItem(std::move(openItem)) {
    setObjectName("OverviewWindow");
    setWindowTitle("Overview");
    setModal(false);
    auto* root = new QVBoxLayout(this);

    TotalsLabel = new QLabel("Counting the items...\n", this);  // two lines from the start, as the totals
    TotalsLabel->setObjectName("TotalsLabel");
    TotalsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    root->addWidget(TotalsLabel);

    auto* amountRow = new QHBoxLayout;
    auto* amountLabel = new QLabel("Charts &show:", this);
    AmountBox = new QComboBox(this);
    for (const char* name : kAmountNames) AmountBox->addItem(name);
    AmountBox->setCurrentIndex(int(Amount::Value));
    amountLabel->setBuddy(AmountBox);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StatusLabel");
    amountRow->addWidget(amountLabel);
    amountRow->addWidget(AmountBox);
    amountRow->addSpacing(16);
    amountRow->addWidget(StatusLabel, 1);
    root->addLayout(amountRow);

    Tabs = new QTabWidget(this);
    const char* tabNames[kChartCount] = {"By &Category", "By &Location", "By Ow&ner", "Purchases by &Year"};
    for (int i = 0; i < kChartCount; ++i) {
        ChartViews[size_t(i)] = new QChartView(this);
        ChartViews[size_t(i)]->setRenderHint(QPainter::Antialiasing);
        ChartViews[size_t(i)]->setMinimumSize(120, 100);
        ChartViews[size_t(i)]->setChart(MakeChart(Chart(i)).release());
        Tabs->addTab(ChartViews[size_t(i)], tabNames[i]);
    }
    auto* warranties = new QWidget(this);
    auto* wLayout = new QVBoxLayout(warranties);
    auto* daysRow = new QHBoxLayout;
    auto* daysLabel = new QLabel("Warranties ending wi&thin", warranties);
    DaysBox = new QSpinBox(warranties);
    DaysBox->setRange(0, 99999);
    DaysBox->setValue(m_request.days);
    DaysBox->setAccessibleName("Days ahead");
    daysRow->addWidget(daysLabel);
    daysRow->addWidget(DaysBox);
    daysLabel->setBuddy(DaysBox);
    daysRow->addWidget(new QLabel("days (and ended lately)", warranties));
    daysRow->addStretch(1);
    wLayout->addLayout(daysRow);
    WarrantyList = new QTreeWidget(warranties);
    WarrantyList->setRootIsDecorated(false);
    WarrantyList->setAllColumnsShowFocus(true);
    WarrantyList->setHeaderLabels({"Warranty", "Item", "Brand", "Location", "Ends"});
    WarrantyList->header()->setStretchLastSection(false);
    WarrantyList->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    WarrantyList->setMinimumHeight(60);
    wLayout->addWidget(WarrantyList);
    NoticeCheck = new QCheckBox("Tell at start-up how many end within 30 &days", warranties);
    NoticeCheck->setChecked(common::AppSettings().warrantyNotice);
    wLayout->addWidget(NoticeCheck);
    Tabs->addTab(warranties, "&Warranties");
    root->addWidget(Tabs, 1);

    auto* buttons = new QHBoxLayout;
    SaveChartButton = new QPushButton("Save Ch&art...", this);
    SaveFiguresButton = new QPushButton("Save &Figures...", this);
    HelpButton = new QPushButton("&Help", this);
    CloseButton = new QPushButton("Cl&ose", this);
    buttons->addWidget(SaveChartButton);
    buttons->addWidget(SaveFiguresButton);
    buttons->addStretch(1);
    buttons->addWidget(HelpButton);
    buttons->addWidget(CloseButton);
    root->addLayout(buttons);
    SaveChartButton->setEnabled(false);
    SaveFiguresButton->setEnabled(false);

    connect(AmountBox, &QComboBox::currentIndexChanged, this, [this](int i) { ChooseAmount(i); });
    connect(DaysBox, &QSpinBox::valueChanged, this, [this](int d) { ChooseDays(d); });
    connect(WarrantyList, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* row) { OpenWarranty(row); });
    connect(Tabs, &QTabWidget::currentChanged, this,
            [this](int tab) { SaveChartButton->setEnabled(m_shown && tab < kChartCount); });
    connect(NoticeCheck, &QCheckBox::toggled, this, [this](bool on) { ChooseNotice(on); });
    connect(SaveChartButton, &QPushButton::clicked, this, [this] { SaveChart(); });
    connect(SaveFiguresButton, &QPushButton::clicked, this, [this] { SaveFigures(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { ShowHelp(); });
    connect(CloseButton, &QPushButton::clicked, this, [this] { close(); });
}

OverviewWindow::~OverviewWindow() { Stop(); }

void OverviewWindow::showEvent(QShowEvent* event) {
    // The window's layout places its parts: the shared fonts, then the
    // size of the screen size chosen (never below what the parts need).
    common::WindowLayout::ApplyFonts(*this, common::AppSettings().scheme);
    const double factor = common::WindowSizeFactor();
    resize(QSize(qRound(600 * factor), qRound(440 * factor)).expandedTo(minimumSizeHint()));
    common::WindowLayout::FinishShowing(*this, false);
    QDialog::showEvent(event);
}

void OverviewWindow::closeEvent(QCloseEvent* event) {
    m_pending = false;
    Stop();
    QDialog::closeEvent(event);
}

void OverviewWindow::Refresh() {
    if (m_pending) return;
    m_pending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_pending) Start();
    });
}

bool OverviewWindow::Busy() const { return m_pending || m_worker.joinable(); }

void OverviewWindow::WaitForFigures() {
    if (m_pending) Start();
    if (m_worker.joinable()) Deliver(m_generation);
}

void OverviewWindow::Stop() {
    m_stop = true;
    if (m_worker.joinable()) m_worker.join();
    m_stop = false;
}

void OverviewWindow::Start() {
    m_pending = false;
    Stop();
    ++m_generation;
    store::Table& items = m_context.ItemTable();
    if (!items.IsOpen()) {
        StatusLabel->setText("No database is open.");
        return;
    }
    // The worker reads the records through a handle of its own; the
    // numbers of the records to count are taken here, as the grid has them.
    try {
        m_request.records = items.DeliveredRecords();
    } catch (const store::EngineError& e) {
        StatusLabel->setText("The figures cannot be counted: " + Text(e.what()));
        return;
    }
    m_request.amount = Amount(AmountBox->currentIndex());
    m_request.days = DaysBox->value();
    m_request.today = store::Date::Today();
    StatusLabel->setText("Counting " + Items(m_request.records.size()) + "...");
    {
        std::lock_guard lock(m_mutex);
        m_result.reset();
        m_error.clear();
    }
    const uint64_t generation = m_generation;
    m_worker = std::thread([this, generation, request = m_request, path = items.DataFilePath()] {
        std::optional<Figures> figures;
        std::string error;
        try {
            store::Table reader;
            store::PointAt(reader, path);
            reader.SetReadOnly(true);
            reader.Open();
            figures = ComputeFigures(reader, request, [this](uint64_t, uint64_t) { return !m_stop.load(); });
        } catch (const store::EngineError& e) {
            error = e.what();
        } catch (const std::bad_alloc&) {
            error = "There is not enough memory to count the items.";
        }
        {
            std::lock_guard lock(m_mutex);
            m_result = std::move(figures);
            m_error = std::move(error);
        }
        QMetaObject::invokeMethod(this, [this, generation] { Deliver(generation); }, Qt::QueuedConnection);
    });
}

void OverviewWindow::Deliver(uint64_t generation) {
    if (generation != m_generation || !m_worker.joinable()) return;
    m_worker.join();
    std::optional<Figures> figures;
    std::string error;
    {
        std::lock_guard lock(m_mutex);
        figures = std::move(m_result);
        error = std::move(m_error);
        m_result.reset();
    }
    if (!figures) {
        // Stopped, or the table could not be read: what was shown stays.
        StatusLabel->setText(error.empty() ? QString() : "The figures cannot be counted: " + Text(error));
        return;
    }
    m_shown = std::move(figures);
    StatusLabel->clear();
    ShowFigures();
}

void OverviewWindow::ShowFigures() {
    const Figures& f = *m_shown;
    TotalsLabel->setText(
        QString("%1%2 (%3 without any amount)\nCost %4     Replacement Cost %5     Value %6")
            .arg(Items(f.items), m_context.SearchOn() ? QString(" found by the search") : QString())
            .arg(f.withoutAmount)
            .arg(Money(f.cost), Money(f.replacementCost), Money(f.value)));
    for (int i = 0; i < kChartCount; ++i) {
        QChart* old = ChartViews[size_t(i)]->chart();
        ChartViews[size_t(i)]->setChart(MakeChart(Chart(i)).release());
        delete old;
        QChart* shown = ChartViews[size_t(i)]->chart();
        for (QAbstractSeries* s : shown->series())
            for (QBarSet* set : static_cast<QAbstractBarSeries*>(s)->barSets())
                connect(set, &QBarSet::clicked, this, [this, i, set](int index) {
                    // The bars stand bottom to top: the first of the figures is the top one.
                    ClickBar(Chart(i), int(set->count()) - 1 - index);
                });
    }
    ShowWarranties();
    SaveChartButton->setEnabled(Tabs->currentIndex() < kChartCount);
    SaveFiguresButton->setEnabled(true);
}

void OverviewWindow::ShowWarranties() {
    WarrantyList->clear();
    const Figures& f = *m_shown;
    const long today = m_request.today.DayNumber();
    // Those ended lie before today, those ending from today on: together by date.
    for (const auto* list : {&f.endedLately, &f.endingSoon}) {
        for (const Warranty& w : *list) {
            const long days = w.date.DayNumber() - today;
            const QString ends = days == 0    ? QString("today")
                                 : days == 1  ? QString("tomorrow")
                                 : days == -1 ? QString("ended yesterday")
                                 : days < 0   ? QString("ended %1 days ago").arg(-days)
                                              : QString("in %1 days").arg(days);
            auto* row = new QTreeWidgetItem(WarrantyList, {Text(store::CurrentDateFormat().Format(w.date)),
                                                           Text(w.item), Text(w.brand), Text(w.location), ends});
            row->setData(0, Qt::UserRole, qulonglong(w.record));
        }
    }
    for (int c = 0; c < WarrantyList->columnCount(); ++c)
        if (c != 1) WarrantyList->resizeColumnToContents(c);
}

std::unique_ptr<QChart> OverviewWindow::MakeChart(Chart chart) const {
    auto c = std::make_unique<QChart>();
    c->setAnimationOptions(QChart::NoAnimation);
    c->legend()->hide();
    c->setBackgroundBrush(Qt::white);
    c->setMargins(QMargins(4, 4, 12, 4));
    const QString amount = kAmountNames[int(m_request.amount)];
    const QString titles[kChartCount] = {amount + " by Category", amount + " by Location", amount + " by Owner",
                                         "Cost of purchases by year"};
    c->setTitle(titles[int(chart)]);
    if (!m_shown) return c;
    const Figures& f = *m_shown;
    QStringList captions;
    std::vector<double> values;
    if (chart == Chart::Years) {
        for (const PurchaseYear& y : f.byYear) {
            captions << QString("%1: %2 (%3)").arg(y.year).arg(Money(y.cost), Items(y.items));
            values.push_back(y.cost);
        }
    } else {
        for (const Group& g : GroupsOf(f, chart)) {
            captions << QString("%1: %2 (%3)").arg(GroupName(g), Money(g.amount), Items(g.items));
            values.push_back(g.amount);
        }
    }
    // Horizontal bars read from the top: the first figure goes last.
    std::reverse(captions.begin(), captions.end());
    std::reverse(values.begin(), values.end());
    auto* set = new QBarSet(chart == Chart::Years ? QString("Cost") : amount);
    set->setColor(kBarColor);
    set->setBorderColor(kBarColor);
    for (double v : values) *set << v;
    auto* series = new QHorizontalBarSeries;
    series->append(set);
    series->setBarWidth(0.7);
    c->addSeries(series);
    auto* names = new QBarCategoryAxis;
    names->append(UniqueCaptions(captions));
    names->setTruncateLabels(false);  // a caption holds the bar's figure: shown whole, the bars give way
    c->addAxis(names, Qt::AlignLeft);
    series->attachAxis(names);
    auto* scale = new QValueAxis;
    scale->setLabelFormat("%.0f");
    scale->setMin(0);
    c->addAxis(scale, Qt::AlignBottom);
    series->attachAxis(scale);
    // A chart of nothing but zeros (or of no bars) keeps a scale of 0 to 1.
    const double most = values.empty() ? 0 : *std::max_element(values.begin(), values.end());
    scale->setRange(0, most > 0 ? most : 1);
    scale->applyNiceNumbers();
    return c;
}

QChart* OverviewWindow::ChartOf(Chart chart) const { return ChartViews[size_t(chart)]->chart(); }

void OverviewWindow::ChooseAmount(int index) {
    if (index < 0 || index > 2) return;
    if (AmountBox->currentIndex() != index) AmountBox->setCurrentIndex(index);  // comes back here
    else Refresh();
}

void OverviewWindow::ChooseDays(int days) {
    if (DaysBox->value() != days) DaysBox->setValue(days);  // comes back here
    else Refresh();
}

void OverviewWindow::ClickBar(Chart chart, int index) {
    if (!m_shown) return;
    store::Table& items = m_context.ItemTable();
    if (!items.IsOpen()) return;
    const int field = items.FieldIndex(FieldOfChart(chart));
    if (field < 0) return;
    common::MainContext::RecordTest group;
    if (chart == Chart::Years) {
        if (index < 0 || size_t(index) >= m_shown->byYear.size()) return;
        const int year = m_shown->byYear[size_t(index)].year;
        group = [field, year](const store::RecordView& view) {
            try {
                const auto date = view.DateValue(field);
                return date && date->year == year;
            } catch (const store::EngineError&) {
                return false;
            }
        };
    } else {
        const std::vector<Group>& groups = GroupsOf(*m_shown, chart);
        if (index < 0 || size_t(index) >= groups.size()) return;
        if (groups[size_t(index)].other) {
            // "Other" holds every group not shown with a bar of its own.
            std::set<std::string> shown;
            for (const Group& g : groups)
                if (!g.other) shown.insert(g.name);
            group = [field, shown](const store::RecordView& view) { return shown.count(view.Text(field)) == 0; };
        } else {
            group = [field, name = groups[size_t(index)].name](const store::RecordView& view) {
                return view.Text(field) == name;
            };
        }
    }
    // Within the search in force, if there is one.
    common::MainContext::RecordTest before = m_context.SearchOn() ? m_context.SearchTest() : nullptr;
    m_context.SetSearchTest([before, group](const store::RecordView& view) {
        return (!before || before(view)) && group(view);
    });
    m_context.EnableEndSearch();
    try {
        m_context.RefreshGrid();
    } catch (const store::EngineError& e) {
        Ui().Message("Error", Text(e.what()), common::MessageIcon::Error);
    }
    m_context.DisplayCount();
}

void OverviewWindow::OpenWarranty(QTreeWidgetItem* row) {
    if (!row || !m_openItem) return;
    m_openItem(uint32_t(row->data(0, Qt::UserRole).toULongLong()));
}

bool OverviewWindow::WriteChart(Chart chart, const QString& path, QString* error) const {
    const QString kind = QFileInfo(path).suffix().toLower();
    if (kind != "png" && kind != "svg" && kind != "pdf") {
        *error = "Choose a name ending in .png, .svg or .pdf for the chart.";
        return false;
    }
    QGraphicsScene scene;
    QChart* c = MakeChart(chart).release();
    scene.addItem(c);  // the scene owns it from here
    const QRectF area(0, 0, kSavedWidth, kSavedHeight);
    c->setGeometry(area);
    scene.setSceneRect(area);
    QSaveFile file(path);
    auto failed = [&](const QString& why) {
        file.cancelWriting();
        *error = "The chart cannot be saved as \"" + path + "\": " + why;
        return false;
    };
    if (!file.open(QIODevice::WriteOnly)) return failed(file.errorString() + ".");
    if (kind == "png") {
        QImage image(kSavedWidth, kSavedHeight, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, area, area);
        painter.end();
        if (!image.save(&file, "PNG")) return failed(file.errorString() + ".");
    } else if (kind == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(QSize(kSavedWidth, kSavedHeight));
        svg.setViewBox(area);
        svg.setTitle(c->title());
        QPainter painter(&svg);
        scene.render(&painter, area, area);
        painter.end();
    } else {
        QPdfWriter pdf(&file);
        pdf.setTitle(c->title());
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(QPageLayout::Landscape);
        QPainter painter(&pdf);
        scene.render(&painter, QRectF(painter.viewport()), area, Qt::KeepAspectRatio);
        painter.end();
    }
    if (!file.commit()) {
        *error = "The chart cannot be saved as \"" + path + "\": " + file.errorString() + ".";
        return false;
    }
    return true;
}

void OverviewWindow::SaveChart() {
    const int tab = Tabs->currentIndex();
    if (!m_shown || tab < 0 || tab >= kChartCount) return;
    const char* names[kChartCount] = {"value-by-category", "value-by-location", "value-by-owner", "purchases-by-year"};
    common::FileRequest request;
    request.title = "Save Chart";
    request.fileName = QString(names[tab]) + ".png";
    request.filter = "PNG Image (*.png)|*.png|SVG Drawing (*.svg)|*.svg|PDF Document (*.pdf)|*.pdf";
    request.defaultExtension = "png";
    request.askOverwrite = true;
    const auto path = Ui().SaveFile(request);
    if (!path) return;
    QString error;
    if (!WriteChart(Chart(tab), *path, &error)) Ui().Message("Error", error, common::MessageIcon::Error);
}

void OverviewWindow::SaveFigures() {
    if (!m_shown) return;
    common::FileRequest request;
    request.title = "Save Figures";
    request.fileName = "overview.csv";
    request.filter = "CSV File (*.csv)|*.csv";
    request.defaultExtension = "csv";
    request.askOverwrite = true;
    const auto path = Ui().SaveFile(request);
    if (!path) return;
    std::string error;
    if (!WriteFiguresCsv(*m_shown, path->toStdString(), &error))
        Ui().Message("Error", "The figures cannot be saved: " + Text(error), common::MessageIcon::Error);
}

void OverviewWindow::ChooseNotice(bool on) {
    if (NoticeCheck->isChecked() != on) NoticeCheck->setChecked(on);
    common::AppSettings().warrantyNotice = on;
}

void OverviewWindow::ShowHelp() { Ui().OpenHelp("Overview"); }

size_t WarrantiesEndingWithin(store::Table& items, int days) {
    Request request;
    request.records = items.DeliveredRecords();
    request.today = store::Date::Today();
    request.days = days;
    const auto figures = ComputeFigures(items, request);
    return figures ? figures->endingSoon.size() : 0;
}

QString WarrantyNotice(size_t count, int days) {
    return count == 1 ? QString("1 warranty ends within %1 days.  The Overview (Ctrl+Shift+O) lists it.").arg(days)
                      : QString("%1 warranties end within %2 days.  The Overview (Ctrl+Shift+O) lists them.")
                            .arg(count)
                            .arg(days);
}

}  // namespace overview
