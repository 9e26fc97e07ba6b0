#pragma once
// The filter box above the grid: the grid shows only the items in which
// every word typed occurs in some text field (letter case and accents
// aside), within the search in force. The words are looked for on a thread
// of the box's own over a read-only handle on the item table, so typing
// never waits for them; a newer keystroke stops the older run. The answer
// goes to the item table as a set of record numbers.

#include <QLineEdit>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace common {
class MainContext;
}

namespace find {

class FilterBox : public QLineEdit {
    Q_OBJECT

public:
    explicit FilterBox(common::MainContext& context, QWidget* parent = nullptr);
    ~FilterBox() override;

    // Looks for the words again once the events at hand are handled (the
    // records, the search or the table changed). Nothing while no words are typed.
    void Refilter();
    // Words are typed and their answer is in force or on its way.
    bool Active() const { return m_active; }
    bool Busy() const;
    // Waits for the run in flight and applies its answer (tests, benchmarks).
    void WaitForFilter();
    // The items the search in force delivers without the words (the N of
    // "n of N"; every item when no search is on).
    uint64_t Among() const { return m_among; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Start();
    void Stop();
    void Deliver(uint64_t generation);

    common::MainContext& m_context;
    bool m_active = false;
    bool m_pending = false;
    bool m_delivering = false;
    uint64_t m_among = 0;

    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    uint64_t m_generation = 0;
    std::mutex m_mutex;
    // Guarded by m_mutex: what the last run found.
    bool m_done = false;
    std::vector<uint8_t> m_found;
    uint64_t m_foundAmong = 0;
};

}  // namespace find
