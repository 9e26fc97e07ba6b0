// The Overview's figures against sums the test works out itself from the
// items it wrote: empty amounts, zero and empty quantities, leap days,
// items with no category, location or owner, more groups than bars; and
// the warranty windows at their edges (today, N days ahead, N + 1, the last
// of the 30 days before, an empty date); dates no calendar has, as another
// program may leave them, count as none.

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

#include "ItemSchema.h"
#include "OverviewFigures.h"
#include "Table.h"

using overview::Amount;
using overview::ComputeFigures;
using overview::Figures;
using overview::Request;

namespace {

struct TestItem {
    std::string item, category, location, owner, quantity, cost, rep, value;
    std::optional<store::Date> bought, warrantyEnds;
};

double Num(const std::string& s) { return s.empty() ? 0 : std::stod(s); }

const store::Date kToday{2024, 2, 29};

store::Date Plus(int days) { return store::Date::FromDayNumber(kToday.DayNumber() + days); }

std::vector<TestItem> Items() {
    std::vector<TestItem> items = {
        {"Lamp", "Lighting", "Attic", "Mara", "2", "12.50", "20", "15", store::Date{2024, 2, 29}, Plus(90)},
        {"Sofa", "Furniture", "Living Room", "", "1", "899", "1000", "700", store::Date{2000, 2, 29}, Plus(0)},
        {"Gift", "Furniture", "", "Pat", "1", "", "", "", std::nullopt, Plus(91)},
        {"Spares", "", "Garage", "Pat", "0", "5", "5", "5", store::Date{1999, 12, 31}, Plus(-1)},
        {"Box", "Storage", "Garage", "Mara", "", "3", "3", "", store::Date{2100, 1, 1}, Plus(-30)},
        {"Old", "Storage", "Garage", "Mara", "3", "0", "7", "0", std::nullopt, Plus(-31)},
        {"Cup", "Kitchen", "Kitchen", "Mara", "6", "1.25", "2", "1.5", store::Date{2024, 1, 1}, std::nullopt},
        // Its dates are made impossible below, as another program may leave them.
        {"Broken", "Kitchen", "Kitchen", "Mara", "1", "2", "2", "2", std::nullopt, std::nullopt},
    };
    // Thirteen more categories of falling worth: past the twelfth bar the
    // rest is gathered.
    for (int i = 0; i < 13; ++i)
        items.push_back({"Thing " + std::to_string(i), "Group " + std::to_string(i), "Shed", "Mara", "1",
                         std::to_string(100 - i), std::to_string(100 - i), std::to_string(100 - i),
                         store::Date{2023, 1 + i % 12, 1}, std::nullopt});
    // A name that CSV has to quote.
    items.push_back({"Odd", "Misc", "Room, \"back\"", "", "2", "1.005", "", "", std::nullopt, Plus(5)});
    return items;
}

}  // namespace

class OverviewFiguresTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_table.SetDirectory(m_dir.path().toStdString());
        m_table.SetTableName("MASTER");
        m_table.Create(store::ItemTableFieldDefs());
        m_table.Open();
        for (const TestItem& t : Items()) {
            m_table.Append();
            m_table.SetText("Item", t.item);
            m_table.SetText("Category", t.category);
            m_table.SetText("Location", t.location);
            m_table.SetText("Owner", t.owner);
            if (!t.quantity.empty()) m_table.SetText("Quantity", t.quantity);
            if (!t.cost.empty()) m_table.SetText("Cost", t.cost);
            if (!t.rep.empty()) m_table.SetText("RepCost", t.rep);
            if (!t.value.empty()) m_table.SetText("Value", t.value);
            m_table.SetDate(m_table.FieldIndex("PurchDate"), t.bought);
            m_table.SetDate(m_table.FieldIndex("WarDate"), t.warrantyEnds);
            m_table.Post();
        }
        for (uint32_t r = 0; r < m_table.PhysicalCount(); ++r) m_all.push_back(r);
        // "20230229" and "2024 13 " straight into the file: no such days.
        const store::RecordLayout layout = m_table.Layout();
        const uint32_t count = m_table.PhysicalCount();
        const std::string path = m_table.DataFilePath();
        m_table.Close();
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 header = file.size() - 1 - qint64(count) * layout.RecordLength();
        const qint64 broken = header + 7 * qint64(layout.RecordLength());
        QVERIFY(file.seek(broken + layout.Offset(store::SchemaPosition("PurchDate") - 1)));
        file.write("20230229");
        QVERIFY(file.seek(broken + layout.Offset(store::SchemaPosition("WarDate") - 1)));
        file.write("2024 13 ");
        file.close();
        m_table.Open();
        QCOMPARE(QString::fromStdString(m_table.ViewOf(7).Text(m_table.FieldIndex("Item"))), QString("Broken"));
        QCOMPARE(std::string(m_table.ViewOf(7).Raw(m_table.FieldIndex("PurchDate"))), std::string("20230229"));
    }

    void totalsAndGroupsAreTheSumsOfTheItems() {
        Request request{m_all, Amount::Value, kToday, 90};
        const std::optional<Figures> f = ComputeFigures(m_table, request);
        QVERIFY(f);
        // Worked out here from the items as written.
        double cost = 0, rep = 0, value = 0;
        uint64_t without = 0, undated = 0;
        std::map<std::string, std::pair<double, uint64_t>> categories;
        std::map<int, std::pair<uint64_t, double>> years;
        for (const TestItem& t : Items()) {
            const double q = Num(t.quantity);
            cost += q * Num(t.cost);
            rep += q * Num(t.rep);
            value += q * Num(t.value);
            if (Num(t.cost) == 0 && Num(t.rep) == 0 && Num(t.value) == 0) ++without;
            categories[t.category].first += q * Num(t.value);
            ++categories[t.category].second;
            if (t.bought) {
                ++years[t.bought->year].first;
                years[t.bought->year].second += q * Num(t.cost);
            } else {
                ++undated;
            }
        }
        QCOMPARE(f->items, uint64_t(Items().size()));
        QCOMPARE(f->withoutAmount, without);
        QCOMPARE(f->withoutAmount, 1u);  // Gift; Old has a replacement cost
        QCOMPARE(f->cost, cost);
        QCOMPARE(f->replacementCost, rep);
        QCOMPARE(f->value, value);
        QCOMPARE(f->withoutPurchaseDate, undated);
        QCOMPARE(f->byYear.size(), years.size());
        size_t i = 0;
        for (const auto& [year, y] : years) {
            QCOMPARE(f->byYear[i].year, year);
            QCOMPARE(f->byYear[i].items, y.first);
            QCOMPARE(f->byYear[i].cost, y.second);
            ++i;
        }
        // Largest first; eleven of the nineteen categories, then the rest.
        QCOMPARE(f->byCategory.size(), overview::kMostGroups);
        QCOMPARE(f->byCategory.front().name, std::string("Furniture"));
        QCOMPARE(f->byCategory.front().amount, 700.0);
        QCOMPARE(f->byCategory.front().items, 2u);
        for (size_t g = 1; g < f->byCategory.size(); ++g)
            QVERIFY(f->byCategory[g - 1].amount >= f->byCategory[g].amount || f->byCategory[g].other);
        const overview::Group& rest = f->byCategory.back();
        QVERIFY(rest.other);
        double shown = 0;
        uint64_t shownItems = 0;
        for (size_t g = 0; g + 1 < f->byCategory.size(); ++g) {
            QVERIFY(!f->byCategory[g].other);
            QCOMPARE(f->byCategory[g].amount, categories.at(f->byCategory[g].name).first);
            shown += f->byCategory[g].amount;
            shownItems += f->byCategory[g].items;
        }
        QCOMPARE(rest.amount, value - shown);
        QCOMPARE(rest.items, uint64_t(Items().size()) - shownItems);
        // Items with no owner are a group of their own, named by nothing.
        const auto noOwner = std::find_if(f->byOwner.begin(), f->byOwner.end(), [](const auto& g) { return g.name.empty(); });
        QVERIFY(noOwner != f->byOwner.end());
        QCOMPARE(noOwner->amount, 700.0);
    }

    void theChosenAmountMakesTheGroups() {
        const auto f = ComputeFigures(m_table, {m_all, Amount::Cost, kToday, 90});
        QVERIFY(f);
        const auto garage = std::find_if(f->byLocation.begin(), f->byLocation.end(), [](const auto& g) { return g.name == "Garage"; });
        QVERIFY(garage != f->byLocation.end());
        QCOMPARE(garage->amount, 0.0);  // quantities 0, none and 3 of nothing
        QCOMPARE(garage->items, 3u);
        const auto r = ComputeFigures(m_table, {m_all, Amount::ReplacementCost, kToday, 90});
        QCOMPARE(r->byLocation.front().name, std::string("Shed"));  // 100 + 99 + ... + 88
        QCOMPARE(r->byLocation.front().amount, 1222.0);
        QCOMPARE(r->byLocation[1].name, std::string("Living Room"));
        QCOMPARE(r->byLocation[1].amount, 1000.0);
    }

    // Today and N days ahead are in, N + 1 is out; the 30 days before today
    // are ended lately, the 31st is not; an empty date never shows.
    void warrantiesAtTheEdgesOfTheirWindows() {
        const auto f = ComputeFigures(m_table, {m_all, Amount::Value, kToday, 90});
        QVERIFY(f);
        QStringList soon, ended;
        for (const auto& w : f->endingSoon) soon << QString::fromStdString(w.item + " " + w.date.ToStorage());
        for (const auto& w : f->endedLately) ended << QString::fromStdString(w.item + " " + w.date.ToStorage());
        QCOMPARE(soon, (QStringList{"Sofa 20240229", "Odd 20240305", "Lamp 20240529"}));
        QCOMPARE(ended, (QStringList{"Box 20240130", "Spares 20240228"}));
        QCOMPARE(f->endingSoon.back().brand, std::string());
        QCOMPARE(f->endingSoon.back().location, std::string("Attic"));
        QCOMPARE(f->endingSoon.back().record, 0u);
        const auto narrow = ComputeFigures(m_table, {m_all, Amount::Value, kToday, 0});
        QCOMPARE(narrow->endingSoon.size(), size_t(1));
    }

    // Twelve groups are twelve bars; the thirteenth makes the last one
    // "Other".
    void twelveGroupsNeedNoOther() {
        std::vector<uint32_t> things;
        for (uint32_t r = 8; r < 20; ++r) things.push_back(r);  // "Thing 0" to "Thing 11"
        const auto f = ComputeFigures(m_table, {things, Amount::Value, kToday, 90});
        QCOMPARE(f->byCategory.size(), size_t(12));
        QCOMPARE(f->byCategory.back().name, std::string("Group 11"));
        QVERIFY(!f->byCategory.back().other);
        things.push_back(20);
        const auto g = ComputeFigures(m_table, {things, Amount::Value, kToday, 90});
        QCOMPARE(g->byCategory.size(), size_t(12));
        QVERIFY(g->byCategory.back().other);
        QCOMPARE(g->byCategory.back().items, 2u);
        QCOMPARE(g->byCategory.back().amount, 89.0 + 88.0);
    }

    // The figures as CSV, read back by python's csv module.
    void figuresAsCsvReadByAnotherReader() {
        const auto f = ComputeFigures(m_table, {{0, 21}, Amount::Cost, kToday, 10});
        QVERIFY(f);
        const QString path = m_dir.filePath("figures.csv");
        std::string error;
        QVERIFY2(overview::WriteFiguresCsv(*f, path.toStdString(), &error), error.c_str());
        QProcess python;
        python.start("/usr/bin/python3", {"-c", "import csv, json, sys\n"
                                                "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                                "    print(json.dumps(list(csv.reader(f))))",
                                          path});
        QVERIFY(python.waitForFinished(60000) && python.exitCode() == 0);
        QStringList rows;
        for (const auto& r : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
            QStringList cells;
            for (const auto& c : r.toArray()) cells << c.toString();
            rows << cells.join('|');
        }
        QCOMPARE(rows, (QStringList{
                           "Section|Name|Items|Amount|Brand|Location|Date",
                           "Totals|Items|2|",
                           "Totals|Without any amount|0|",
                           "Totals|Cost||27.01",
                           "Totals|Replacement Cost||40.00",
                           "Totals|Value||30.00",
                           "Category|Lighting|1|25.00",
                           "Category|Misc|1|2.01",
                           "Location|Attic|1|25.00",
                           "Location|Room, \"back\"|1|2.01",
                           "Owner|Mara|1|25.00",
                           "Owner|(none)|1|2.01",
                           "Purchase year|2024|1|25.00",
                           "Purchase year|(no date)|1|",
                           "Warranty ending|Odd||||Room, \"back\"|2024-03-05",
                       }));
    }

    // Only the records given count (a search's), and a stop ends the pass.
    void onlyTheRecordsGivenAndAStop() {
        const auto f = ComputeFigures(m_table, {{1, 6}, Amount::Value, kToday, 90});
        QCOMPARE(f->items, 2u);
        QCOMPARE(f->value, 700.0 + 6 * 1.5);
        std::vector<uint32_t> many;
        for (int i = 0; i < 70000; ++i) many.push_back(uint32_t(i % m_table.PhysicalCount()));
        uint64_t seen = 0;
        const auto stopped = ComputeFigures(m_table, {many, Amount::Value, kToday, 90}, [&](uint64_t done, uint64_t total) {
            seen = done * 1000000 + total;
            return false;
        });
        QVERIFY(!stopped);
        QCOMPARE(seen, uint64_t(65536) * 1000000 + 70000);
    }

private:
    QTemporaryDir m_dir;
    store::Table m_table;
    std::vector<uint32_t> m_all;
};

QTEST_GUILESS_MAIN(OverviewFiguresTest)
#include "OverviewFiguresTest.moc"
