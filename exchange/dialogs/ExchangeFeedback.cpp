#include "ExchangeFeedback.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QWidget>

namespace exchange {
namespace {

constexpr int kDrawInterval = 50;  // milliseconds

}  // namespace

RunFeedback::RunFeedback(QWidget& window, QWidget* cancel, Draw draw)
    : m_window(window), m_cancel(cancel), m_draw(std::move(draw)) {
    // Buttons, lists and boxes only: labels and the progress bar keep their look.
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w);
        if (w == cancel || !control || !w->isEnabled()) continue;
        w->setEnabled(false);
        m_disabled.emplace_back(w);
    }
    if (cancel) cancel->setEnabled(true);
    // A busy pointer, not a plain hourglass: the Cancel button is there to be clicked.
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

RunFeedback::~RunFeedback() {
    QApplication::restoreOverrideCursor();
    for (const auto& w : m_disabled)
        if (w) w->setEnabled(true);
    if (m_cancel) m_cancel->setEnabled(false);
}

ProgressFn RunFeedback::Callback() {
    return [this](const Progress& progress) { return Report(progress); };
}

bool RunFeedback::Report(const Progress& progress) {
    // The first report is drawn at once, then a few times a second.
    if (!m_sinceDrawn.isValid() || m_sinceDrawn.elapsed() >= kDrawInterval || progress.done == progress.total) {
        if (m_draw) m_draw(progress);
        QApplication::processEvents();
        m_sinceDrawn.start();
    }
    return !m_cancelled;
}

}  // namespace exchange
