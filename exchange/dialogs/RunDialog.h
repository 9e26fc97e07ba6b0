#pragma once
// What the export and import dialogs share: a run of the engine inside the
// dialog (busy pointer, controls held, progress drawn, Cancel and the close
// box stopping it), and the field lists they line up, whose rows move up
// and down and whose cells are read and toggled, never typed into.

#include <QDialog>
#include <functional>
#include <memory>

#include "ExchangeFeedback.h"

class QLabel;
class QTableWidget;
class QTableWidgetItem;

namespace exchange {

class RunDialog : public QDialog {
    Q_OBJECT

public:
    explicit RunDialog(QWidget* parent);
    ~RunDialog() override;

    bool Running() const { return m_feedback != nullptr; }
    // Stops the run in progress (the run decides what stays).
    void Cancel();
    // While a run goes on, closing stops the run and the dialog stays;
    // otherwise StoreOnClose runs once and the dialog closes.
    void done(int result) override;

protected:
    // Runs work with cancel enabled, every other control held and progress
    // drawn by draw. Exceptions come back as a failed run.
    RunResult RunEngine(QWidget* cancel, RunFeedback::Draw draw,
                        const std::function<RunResult(const ProgressFn&)>& work);
    virtual void StoreOnClose() {}

    static QTableWidget* NewFieldList(int rows, const QStringList& headers, QWidget* parent);
    static QTableWidgetItem* FixedCell(const QString& text);
    static QLabel* Heading(const QString& text, QWidget* parent);
    // Moves the current row's cells in columns first to last one row up
    // (by -1) or down (by 1), and the current cell with them; nothing at
    // the first or last row.
    static void MoveCurrentRow(QTableWidget& list, int by, int first, int last);

private:
    std::unique_ptr<RunFeedback> m_feedback;
    bool m_closed = false;
};

}  // namespace exchange
