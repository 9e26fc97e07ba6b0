#pragma once
// What a dialog shows while an export or import runs inside it: the busy
// cursor, its controls held still except the one that cancels, and the
// engine's progress reports turned into drawing and a look at the event
// queue a few times a second, so the window repaints and a click on Cancel
// (or the close box, or Escape) reaches the run. Everything is put back
// when the run ends, however it ends.

#include <QElapsedTimer>
#include <QPointer>
#include <functional>
#include <vector>

#include "ExchangeRun.h"

class QWidget;

namespace exchange {

class RunFeedback {
public:
    using Draw = std::function<void(const Progress&)>;

    // cancel is enabled for the run; every other enabled control of window
    // is disabled until the run ends.
    RunFeedback(QWidget& window, QWidget* cancel, Draw draw);
    ~RunFeedback();
    RunFeedback(const RunFeedback&) = delete;
    RunFeedback& operator=(const RunFeedback&) = delete;

    // The callback to hand to the engine.
    ProgressFn Callback();
    void Cancel() { m_cancelled = true; }
    bool Cancelled() const { return m_cancelled; }

private:
    bool Report(const Progress& progress);

    QWidget& m_window;
    QPointer<QWidget> m_cancel;
    Draw m_draw;
    std::vector<QPointer<QWidget>> m_disabled;
    QElapsedTimer m_sinceDrawn;
    bool m_cancelled = false;
};

}  // namespace exchange
