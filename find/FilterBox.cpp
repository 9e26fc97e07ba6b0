#include "FilterBox.h"

#include <QKeyEvent>
#include <QTimer>
#include <memory>

#include "EngineError.h"
#include "ItemTable.h"
#include "MainContext.h"
#include "WordFilter.h"

namespace find {

namespace {
constexpr uint32_t kStopCheck = 4096;  // records between looks at the stop flag
}

FilterBox::FilterBox(common::MainContext& context, QWidget* parent) : QLineEdit(parent), m_context(context) {
    setObjectName("FilterBox");
    setPlaceholderText("Filter: type words to find (Ctrl+K)");
    setClearButtonEnabled(true);
    setAccessibleName("Filter");
    connect(this, &QLineEdit::textChanged, this, [this] {
        m_active = !text().trimmed().isEmpty();
        Refilter();
    });
}

FilterBox::~FilterBox() { Stop(); }

void FilterBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && !text().isEmpty()) {
        clear();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

bool FilterBox::Busy() const { return m_pending || m_worker.joinable(); }

void FilterBox::Refilter() {
    if (m_delivering || m_pending) return;
    m_pending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_pending) Start();
    });
}

void FilterBox::WaitForFilter() {
    if (m_pending) Start();
    if (m_worker.joinable()) Deliver(m_generation);
}

void FilterBox::Stop() {
    m_stop = true;
    if (m_worker.joinable()) m_worker.join();
    m_stop = false;
}

void FilterBox::Start() {
    m_pending = false;
    Stop();
    ++m_generation;
    store::Table& items = m_context.ItemTable();
    const std::string words = text().toStdString();
    if (!m_active || !items.IsOpen()) {
        // No words: every record the search delivers, at once.
        const bool had = items.ChosenRecords() != nullptr;
        items.SetRecordSet(nullptr);
        if (had) {
            m_delivering = true;
            m_context.RefreshGrid();
            m_context.DisplayCount();
            m_delivering = false;
        }
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_done = false;
    }
    const uint64_t generation = m_generation;
    // The search's test stays on this thread: it keeps what it worked out
    // for the layout it last saw, so another thread must not ask it.
    m_worker = std::thread([this, generation, words, path = items.DataFilePath()] {
        std::vector<uint8_t> found;
        uint64_t among = 0;
        bool done = false;
        try {
            store::Table reader;
            store::PointAt(reader, path);
            reader.SetReadOnly(true);
            reader.Open();
            const WordFilter filter(reader.Layout(), words);
            const std::vector<uint32_t>& records = reader.DeliveredRecords();
            found.assign(records.empty() ? 0 : size_t(records.back()) + 1, 0);
            uint32_t sinceCheck = 0;
            among = records.size();
            done = true;
            for (uint32_t r : records) {
                if (++sinceCheck == kStopCheck) {
                    sinceCheck = 0;
                    if (m_stop) {
                        done = false;
                        break;
                    }
                }
                found[r] = filter.Matches(reader.ViewOf(r));
            }
        } catch (const store::EngineError&) {
            done = false;  // the words stay unapplied; the grid shows what it showed
        } catch (const std::bad_alloc&) {
            done = false;
        }
        {
            std::lock_guard lock(m_mutex);
            m_done = done;
            m_found = std::move(found);
            m_foundAmong = among;
        }
        QMetaObject::invokeMethod(this, [this, generation] { Deliver(generation); }, Qt::QueuedConnection);
    });
}

void FilterBox::Deliver(uint64_t generation) {
    if (generation != m_generation || !m_worker.joinable()) return;
    m_worker.join();
    std::vector<uint8_t> found;
    {
        std::lock_guard lock(m_mutex);
        if (!m_done) return;
        found = std::move(m_found);
        m_among = m_foundAmong;
    }
    store::Table& items = m_context.ItemTable();
    if (m_context.SearchOn()) {
        // The N of "n of N": what the search delivers without the words.
        items.SetRecordSet(nullptr);
        m_among = items.RecordCount();
    }
    items.SetRecordSet(std::make_shared<const std::vector<uint8_t>>(std::move(found)));
    m_delivering = true;
    m_context.RefreshGrid();
    m_context.DisplayCount();
    m_delivering = false;
}

}  // namespace find
