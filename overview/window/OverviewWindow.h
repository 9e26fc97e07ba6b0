#pragma once
// The Overview window: what the items the grid shows are worth (Cost,
// Replacement Cost and Value, each times Quantity), charts of the chosen
// amount by Category, Location and Owner and of the purchases by year, and
// the warranties that end soon or ended lately.
//
// The figures are computed on a thread of their own over a read-only
// handle on the item table, so the window stays responsive on a large
// table; a change of the table (edit, import, restore) or of the search
// computes them again. Clicking a bar narrows the grid to that group;
// double-clicking a warranty opens its item in the editor.

#include <QDialog>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <QColor>

#include "OverviewFigures.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

class QChart;
class QChartView;

namespace common {
class MainContext;
}

namespace overview {

// The colour of every bar (a saved chart shows it).
inline const QColor kBarColor{0x2F, 0x6E, 0xB5};
// The size of a saved chart, in pixels (PNG, SVG) or as its page's proportion (PDF).
inline constexpr int kSavedWidth = 1200, kSavedHeight = 800;

// The charts, as their tabs stand.
enum class Chart { Category = 0, Location = 1, Owner = 2, Years = 3 };
inline constexpr int kChartCount = 4;

class OverviewWindow : public QDialog {
    Q_OBJECT

public:
    // openItem shows one record of the item table in the item editor.
    OverviewWindow(common::MainContext& context, std::function<void(uint32_t)> openItem, QWidget* parent = nullptr);
    ~OverviewWindow() override;

    // Computes the figures again over the records the grid shows, once the
    // events at hand are handled (several changes in a row count once).
    void Refresh();
    // True while figures are being computed or waiting to be.
    bool Busy() const;
    // Waits for the figures being computed and shows them (tests, bench).
    void WaitForFigures();
    // The figures shown; empty before the first ones arrive.
    const std::optional<Figures>& Shown() const { return m_shown; }

    // Commands.
    void ChooseAmount(int index);  // 0 Cost, 1 Replacement Cost, 2 Value
    void ChooseDays(int days);
    // Narrows the grid to the items of a chart's bar (index as the figures
    // order them: largest first, or the years in order).
    void ClickBar(Chart chart, int index);
    // Opens the item of a warranty row in the editor.
    void OpenWarranty(QTreeWidgetItem* row);
    void SaveChart();    // the chart of the current tab: PNG, SVG or PDF by the name's ending
    void SaveFigures();  // the figures as CSV
    void ChooseNotice(bool on);
    void ShowHelp();

    // Writes a chart to path, as PNG, SVG or PDF by its ending; false with
    // *error set. Nothing is left behind on failure.
    bool WriteChart(Chart chart, const QString& path, QString* error) const;
    // The chart as shown (for tests: its bars and titles).
    QChart* ChartOf(Chart chart) const;

    QLabel* TotalsLabel = nullptr;
    QLabel* StatusLabel = nullptr;
    QComboBox* AmountBox = nullptr;
    QTabWidget* Tabs = nullptr;
    std::array<QChartView*, kChartCount> ChartViews{};
    QSpinBox* DaysBox = nullptr;
    QTreeWidget* WarrantyList = nullptr;
    QCheckBox* NoticeCheck = nullptr;
    QPushButton* SaveChartButton = nullptr;
    QPushButton* SaveFiguresButton = nullptr;
    QPushButton* HelpButton = nullptr;
    QPushButton* CloseButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Start();
    void Stop();
    void Deliver(uint64_t generation);
    void ShowFigures();
    void ShowWarranties();
    std::unique_ptr<QChart> MakeChart(Chart chart) const;

    common::MainContext& m_context;
    std::function<void(uint32_t)> m_openItem;
    Request m_request;  // of the figures shown or being computed
    std::optional<Figures> m_shown;
    bool m_pending = false;  // a refresh waits for the events at hand

    // The computation in flight.
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    uint64_t m_generation = 0;
    std::optional<Figures> m_result;  // guarded by m_mutex
    std::string m_error;              // guarded by m_mutex
};

// How many warranties of the whole item table end within the next days
// (today counting), for the notice at start-up.
size_t WarrantiesEndingWithin(store::Table& items, int days);

// "3 warranties end within 30 days." and the like.
QString WarrantyNotice(size_t count, int days);

}  // namespace overview
