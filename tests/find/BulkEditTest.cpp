// Many items changed at once and undone: the bytes every record holds
// before, after and after the undo; the sort tag following the change; a
// refused value, a record another copy changed and a missing record each
// leaving the file as it was; the undo of an import and of a delete.

#include <QTemporaryDir>
#include <QtTest>

#include "BulkEdit.h"
#include "ChangeLog.h"
#include "FileBytes.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "Table.h"

namespace {

constexpr int kRecords = 300;

// The records' part of the data file (header and end mark left out).
QByteArray Records(const QString& path, const store::Table& table) {
    const QByteArray all = testsupport::ReadAll(path);
    const qsizetype header = qsizetype(all.size() - qsizetype(table.PhysicalCount()) * table.Layout().RecordLength() - 1);
    return all.mid(header, qsizetype(table.PhysicalCount()) * table.Layout().RecordLength());
}

}  // namespace

class BulkEditTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    store::Table m_table;
    int m_item = 0, m_location = 0, m_cost = 0, m_warranty = 0, m_last = 0;

    void Fill(store::Table& t, int from, int to) {
        for (int i = from; i < to; ++i) {
            t.Append();
            t.SetText(m_item, "Item " + std::to_string(i));
            t.SetText(m_location, i % 3 == 0 ? "Attic" : "Kitchen");
            t.SetText(m_cost, std::to_string(i) + ".25");
            t.Post();
        }
    }

    // The records in the order the table delivers them, as "item/location".
    QStringList Delivered() {
        QStringList out;
        for (m_table.First(); !m_table.Eof(); m_table.Next())
            out << QString::fromStdString(m_table.GetText(m_location) + "/" + m_table.GetText(m_item));
        return out;
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath("MASTER.DBF");
        QFile::remove(m_path);
        QFile::remove(m_dir.filePath("MASTER.MDX"));
        store::PointAt(m_table, m_path.toStdString());
        m_table.SetActiveIndex("");
        m_table.Create(store::ItemTableFieldDefs());
        m_table.Open();
        m_item = m_table.NeedField("Item");
        m_location = m_table.NeedField("Location");
        m_cost = m_table.NeedField("Cost");
        m_warranty = m_table.NeedField("Warranty");
        m_last = m_table.FieldCount() - 1;
        Fill(m_table, 0, kRecords);
        m_table.AddIndex("LOC", "LOCATION+ITEM");
        m_table.SetActiveIndex("LOC");
    }
    void cleanup() { m_table.Close(); }

    void setsTheFieldsOfEveryChosenRecordAndUndoesToTheSameBytes() {
        const QByteArray before = Records(m_path, m_table);
        // Records 1, 4, 7, ... and the last; one given twice, one deleted.
        std::vector<uint32_t> chosen{uint32_t(kRecords - 1), 4, 4};
        for (uint32_t r = 1; r < 200; r += 3) chosen.push_back(r);
        m_table.GoTo(10);
        m_table.Delete();
        chosen.push_back(10);
        const QByteArray withDeleted = Records(m_path, m_table);

        store::ChangeLog log;
        m_table.SetChangeLog(&log);
        const std::string last = m_table.Field(m_last).name;
        const std::string fills(size_t(m_table.Layout().Field(m_location).length), 'Z');
        const size_t changed = find::SetFields(m_table, find::Select(m_table, chosen), {{m_location, fills}, {m_warranty, "Yes"}, {m_last, "the last field"}});
        m_table.SetChangeLog(nullptr);
        QCOMPARE(changed, size_t(67));  // 1..199 step 3 (4 once, 10 deleted) and the last record
        log.Seal(m_table);
        QCOMPARE(log.Records().size(), size_t(67));

        for (uint32_t r = 0; r < uint32_t(kRecords); ++r) {
            const store::RecordView v = m_table.ViewOf(r);
            const bool set = r != 10 && (r == uint32_t(kRecords - 1) || (r >= 1 && r < 200 && (r - 1) % 3 == 0));
            QCOMPARE(v.Text(m_location), set ? fills : std::string(r % 3 == 0 ? "Attic" : "Kitchen"));
            QCOMPARE(v.Text(m_last), set ? std::string("the last field") : std::string());
            QCOMPARE(v.Text(m_cost), std::to_string(r) + ".25");
            QCOMPARE(v.IsDeleted(), r == 10);
        }
        // The tag put the changed records last (Z...), in item order.
        const QStringList order = Delivered();
        QCOMPARE(order.size(), kRecords - 1);
        QCOMPARE(order.first(), QString("Attic/Item 0"));
        QCOMPARE(order.last(), QString::fromStdString(fills) + "/Item 97");
        QStringList sorted = order;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(order, sorted);

        find::Undo(m_table, log);
        QCOMPARE(Records(m_path, m_table), withDeleted);
        QVERIFY(withDeleted != before);
        QCOMPARE(Delivered().first(), QString("Attic/Item 0"));
        QCOMPARE(Delivered().last(), QString("Kitchen/Item 98"));
        // Closed and opened again, the saved tag agrees.
        m_table.Close();
        m_table.Open();
        QCOMPARE(Delivered().size(), kRecords - 1);
        QCOMPARE(Delivered().last(), QString("Kitchen/Item 98"));
    }

    void refusedValueWritesNothing_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("number too wide") << "Cost" << "123456789012345678901234567890"
                                         << "The number 1.23457e+29 is too large for field Cost.";
        QTest::newRow("not a date") << "WarDate" << "31/31/2024" << "\"31/31/2024\" is not a valid date for field WarDate.";
    }
    void refusedValueWritesNothing() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        const QByteArray before = testsupport::ReadAll(m_path);
        store::ChangeLog log;
        m_table.SetChangeLog(&log);
        QString refusal;
        try {
            find::SetFields(m_table, find::Select(m_table, {1, 2, 3}), {{m_location, "Garage"}, {m_table.NeedField(field.toStdString()), value.toStdString()}});
        } catch (const store::EngineError& e) {
            refusal = QString::fromUtf8(e.what());
        }
        m_table.SetChangeLog(nullptr);
        QCOMPARE(refusal, message);
        QVERIFY(log.Empty());
        QCOMPARE(testsupport::ReadAll(m_path), before);
    }

    void recordAnotherCopyChangedStopsTheChangeAndTheUndo() {
        auto otherCopySetsCost = [&](uint32_t recno, const char* cost) {
            store::Table other;
            store::PointAt(other, m_path.toStdString());
            other.Open();
            other.GoTo(recno);
            other.Edit();
            other.SetText(m_cost, cost);
            other.Post();
            other.Close();
        };
        auto refusal = [](const std::function<void()>& f) {
            try {
                f();
            } catch (const store::EngineError& e) {
                return QString::fromUtf8(e.what());
            }
            return QString();
        };
        // Chosen, then changed by the other copy before the change is made.
        const find::Selection chosen = find::Select(m_table, {40, 41});
        otherCopySetsCost(41, "1");
        const QByteArray unchanged = Records(m_path, m_table);
        QCOMPARE(refusal([&] { find::SetFields(m_table, chosen, {{m_location, "Garage"}}); }),
                 QString("Record 42 was changed by another program in the meantime; nothing was written."));
        QCOMPARE(refusal([&] { find::DeleteRecords(m_table, chosen); }),
                 QString("Record 42 was changed by another program in the meantime; nothing was written."));
        QCOMPARE(Records(m_path, m_table), unchanged);

        store::ChangeLog log;
        m_table.SetChangeLog(&log);
        QCOMPARE(find::SetFields(m_table, find::Select(m_table, {5, 6, 7}), {{m_location, "Garage"}}), size_t(3));
        m_table.SetChangeLog(nullptr);
        log.Seal(m_table);
        // Items holding the value already are left alone: only 4 and 8 change.
        store::ChangeLog again;
        m_table.SetChangeLog(&again);
        QCOMPARE(find::SetFields(m_table, find::Select(m_table, {4, 5, 6, 7, 8}), {{m_location, "Garage"}}), size_t(2));
        m_table.SetChangeLog(nullptr);
        again.Seal(m_table);
        QCOMPARE(again.Records(), (std::vector<uint32_t>{4, 8}));
        QCOMPARE(m_table.ViewOf(4).Text(m_location), std::string("Garage"));
        QCOMPARE(m_table.ViewOf(8).Text(m_location), std::string("Garage"));
        find::Undo(m_table, again);
        QCOMPARE(m_table.ViewOf(4).Text(m_location), std::string("Kitchen"));
        QCOMPARE(m_table.ViewOf(8).Text(m_location), std::string("Kitchen"));
        QCOMPARE(m_table.ViewOf(7).Text(m_location), std::string("Garage"));
        // Another copy changes an item the change did not touch: the undo is
        // refused all the same, the table being no longer as it left it.
        otherCopySetsCost(100, "99");
        const QByteArray before = Records(m_path, m_table);
        QCOMPARE(refusal([&] { find::Undo(m_table, log); }), QString(find::kChangedSinceMessage));
        QCOMPARE(Records(m_path, m_table), before);
        QCOMPARE(m_table.ViewOf(5).Text(m_location), std::string("Garage"));
    }

    void undoOfAnImportAndOfADelete() {
        const QByteArray before = Records(m_path, m_table);
        store::ChangeLog imported;
        m_table.SetChangeLog(&imported);
        m_table.BeginBulkAppend(true);
        Fill(m_table, kRecords, kRecords + 40);
        QCOMPARE(m_table.EndBulkAppend(), 40u);
        m_table.SetChangeLog(nullptr);
        imported.Seal(m_table);
        QCOMPARE(imported.Count(), size_t(40));
        QVERIFY(imported.Records().empty());
        QCOMPARE(imported.AppendedFirst(), uint32_t(kRecords));
        QCOMPARE(imported.AppendedCount(), 40u);
        find::Undo(m_table, imported);
        QCOMPARE(m_table.RecordCount(), uint32_t(kRecords));
        const QByteArray after = Records(m_path, m_table);
        QCOMPARE(after.left(before.size()), before);
        const int length = m_table.Layout().RecordLength();
        for (int i = 0; i < 40; ++i) QCOMPARE(after.at(before.size() + i * length), '*');

        store::ChangeLog deleted;
        m_table.SetChangeLog(&deleted);
        const find::Selection chosen = find::Select(m_table, {0, uint32_t(kRecords - 1), 0, uint32_t(kRecords + 3)});
        QCOMPARE(chosen.recnos, (std::vector<uint32_t>{0, uint32_t(kRecords - 1)}));
        find::DeleteRecords(m_table, chosen);
        m_table.SetChangeLog(nullptr);
        deleted.Seal(m_table);
        QCOMPARE(m_table.RecordCount(), uint32_t(kRecords - 2));
        find::Undo(m_table, deleted);
        QCOMPARE(m_table.RecordCount(), uint32_t(kRecords));
        QCOMPARE(Records(m_path, m_table), after);
    }

    void singleEditsAreLoggedOnceWithTheirFirstBytes() {
        const QByteArray before = Records(m_path, m_table);
        store::ChangeLog log;
        m_table.SetChangeLog(&log);
        for (const char* text : {"First", "Second"}) {
            m_table.GoTo(3);
            m_table.Edit();
            m_table.SetText(m_item, text);
            m_table.Post();
        }
        m_table.Append();
        m_table.SetText(m_item, "New");
        m_table.Post();
        m_table.SetChangeLog(nullptr);
        QCOMPARE(log.Count(), size_t(2));
        log.Seal(m_table);
        find::Undo(m_table, log);
        const QByteArray after = Records(m_path, m_table);
        QCOMPARE(after.left(before.size()), before);
        QCOMPARE(after.at(before.size()), '*');
    }
};

QTEST_GUILESS_MAIN(BulkEditTest)
#include "BulkEditTest.moc"
