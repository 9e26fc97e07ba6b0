#pragma once
// What the report writer's tests share: a small household inventory of
// twelve items in three categories, settings as a user would have them,
// generated tables of any size, and independent readers of what a report
// produced (the text pages of a text file, the texts of each page of a
// recorded report, walked by the format's own rules).

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cstring>
#include <random>

#include "DefaultReports.h"
#include "ItemSchema.h"
#include "ReportJob.h"
#include "Table.h"

namespace reporttest {

struct Item {
    const char* category;
    const char* item;
    const char* location;
    const char* cost;
    const char* repCost;
    const char* quantity;  // "" for none
    const char* value;
};

// Appended in this order, so the index has to put the categories together.
inline const std::vector<Item>& Household() {
    static const std::vector<Item> items = {
        {"Kitchen", "Refrigerator", "Kitchen", "1099.99", "1299.99", "1", "700"},
        {"Electronics", "Television", "Living Room", "899.99", "1099", "1", "500"},
        {"Furniture", "Sofa", "Living Room", "1200", "1500", "1", "800"},
        {"Electronics", "Stereo Receiver", "Den", "349.5", "400", "1", "200"},
        {"Kitchen", "Blender", "Kitchen", "49.99", "59.99", "", "20"},
        {"Electronics", "Portable Laptop Computer 15 inch", "Upstairs Workroom", "1899", "2100.5", "1", "1200"},
        {"Furniture", "Dining Table", "Dining Room", "650.5", "800", "1", "400"},
        {"Electronics", "Camera", "Office", "450", "500", "2", "300"},
        {"Furniture", "Chair", "Dining Room", "85", "100", "4", "50"},
        {"Kitchen", "Toaster", "Kitchen", "2.675", "30", "1", "10"},
        {"Electronics", "Wireless Noise Cancelling Headphones", "Bedroom", "79.95", "99.99", "3", "40"},
        {"Furniture", "Bookcase", "Den", "120", "150", "2", "60"},
    };
    return items;
}

inline void CreateTable(store::Table& t, const QString& dir, const QString& name = QStringLiteral("MASTER")) {
    t.Close();
    t.SetActiveIndex("");
    t.SetDirectory(dir.toStdString());
    t.SetTableName(name.toStdString());
    t.Create(store::ItemTableFieldDefs());
    t.Open();
}

inline void AddItems(store::Table& t, const std::vector<Item>& items) {
    t.BeginBulkAppend();
    for (const Item& i : items) {
        t.Append();
        t.SetText("Category", i.category);
        t.SetText("Item", i.item);
        t.SetText("Location", i.location);
        t.SetText("Cost", i.cost);
        t.SetText("RepCost", i.repCost);
        if (*i.quantity) t.SetText("Quantity", i.quantity);
        t.SetText("Value", i.value);
        t.Post();
    }
    t.EndBulkAppend();
}

// Orders the table by Category, as the sort order "Category" does.
inline void SortByCategory(store::Table& t) {
    t.AddIndex("NewIndex", "UPPER(LEFT(Category,20))");
    t.SetActiveIndex("NewIndex");
}

// Settings of a user who renamed one column, grouped by Category and asked
// for the insurance details.
inline reports::ReportSettings HouseholdSettings() {
    reports::ReportSettings s;
    s.fieldTitles[4] = QStringLiteral("Room");
    s.sortFields = {12, 0, 0, 0};
    s.insurance.company = QStringLiteral("Mutual Household");
    s.insurance.policy = QStringLiteral("P-778");
    s.insurance.yourName = QStringLiteral("Pat Halvorsen");
    s.insurance.printCompany = s.insurance.printPolicy = s.insurance.printStatement = true;
    s.today = store::Date{2024, 3, 15};
    return s;
}

// A table of count generated items over a few dozen categories, locations
// and owners, with realistic money and an occasional empty quantity.
inline void GenerateItems(store::Table& t, int count, unsigned seed = 7) {
    static const char* categories[] = {"Appliances", "Art", "Books", "Clothing", "Electronics", "Furniture",
                                       "Jewelry", "Kitchen", "Music", "Sports", "Tools", "Toys"};
    static const char* locations[] = {"Attic", "Basement", "Bedroom", "Den", "Dining Room", "Garage",
                                      "Kitchen", "Living Room", "Office", "Upstairs Workroom"};
    static const char* brands[] = {"Acme", "Borealis", "Carden", "Dunmore", "Elkhart", "Fairweather"};
    static const char* things[] = {"Lamp", "Chair", "Television", "Camera", "Guitar", "Drill", "Painting",
                                   "Watch", "Bicycle", "Blender", "Desk", "Rug"};
    std::mt19937 rng(seed);
    auto pick = [&](auto& list) { return list[rng() % (sizeof(list) / sizeof(list[0]))]; };
    t.BeginBulkAppend();
    for (int i = 0; i < count; ++i) {
        t.Append();
        const std::string thing = std::string(pick(brands)) + " " + pick(things) + " " + std::to_string(i + 1);
        t.SetText("Item", thing);
        t.SetText("Brand", pick(brands));
        t.SetText("Model", "M-" + std::to_string(rng() % 9000 + 1000));
        t.SetText("Serial", "SN" + std::to_string(rng() % 900000000 + 100000000));
        t.SetText("Location", pick(locations));
        t.SetText("Category", pick(categories));
        t.SetText("Owner", rng() % 2 ? "Pat" : "Sam");
        t.SetText("Descriptio", "Bought for the " + std::string(pick(locations)) + ", kept with its manual and box");
        t.SetText("BoughtFrom", pick(brands) + std::string(" Store"));
        t.SetText("IDMarks", "Engraved initials on the underside");
        if (rng() % 50) t.SetText("Quantity", std::to_string(rng() % 4 + 1));
        t.SetDate(t.FieldIndex("PurchDate"), store::Date{int(2010 + rng() % 14), int(1 + rng() % 12), int(1 + rng() % 28)});
        const int cents = int(rng() % 250000) + 100;
        t.SetText("Cost", std::to_string(cents / 100) + "." + std::to_string(cents % 100));
        t.SetText("RepCost", std::to_string(cents / 80));
        t.SetText("Value", std::to_string(cents / 150));
        t.SetText("Warranty", rng() % 3 ? "Yes" : "No");
        t.SetDate(t.FieldIndex("WarDate"), store::Date{int(2015 + rng() % 14), 12, 31});
        t.SetText("WarNotes", "Keep the receipt");
        t.Post();
    }
    t.EndBulkAppend();
}

inline QString ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

// The pages of a text report: each ends with a line that ends in a form feed.
inline QStringList TextPages(const QString& text) {
    QStringList pages = text.split(QStringLiteral("\f\n"));
    if (!pages.isEmpty() && pages.last().isEmpty()) pages.removeLast();
    return pages;
}

// What each recorded page draws, read from the recorded report by the
// format's own rules: its texts in the order drawn, the size in points each
// is drawn at and where (x, y as recorded: the point its alignment names),
// and every bordered cell with its sides.
struct Recorded {
    QList<QStringList> texts;
    QList<QList<double>> points;
    QList<QList<QPointF>> places;
    QList<int> borders;
    QList<QRectF> cells;
    QList<int> fills;  // of each bordered cell: a colour, or -1 for none
};

inline Recorded ReadRecorded(const QByteArray& s) {
    Recorded r;
    auto u8 = [&](qsizetype at) { return uint8_t(s[at]); };
    auto i32 = [&](qsizetype at) { return qFromLittleEndian<qint32>(s.constData() + at); };
    auto f32 = [&](qsizetype at) {
        float value;
        std::memcpy(&value, s.constData() + at, 4);
        return double(qFromLittleEndian(value));
    };
    double height = 0;  // of the font, in inches
    auto text = [&](const QByteArray& bytes, double y, double x) {
        if (r.texts.isEmpty()) return;
        r.texts.last() << QString::fromUtf8(bytes);
        r.points.last() << height * 72;
        r.places.last() << QPointF(x, y);
    };
    qsizetype p = 0;
    while (p < s.size()) {
        const uint8_t code = u8(p);
        const qsizetype a = p + 1;
        switch (code) {
        case 23: case 24: case 25:
            text(s.mid(a + 5, u8(a + 4)), f32(a), f32(a + 5 + u8(a + 4)));
            p = a + 4 + 1 + u8(a + 4) + 4;
            break;
        case 54:
            height = f32(a);
            p = a + 4;
            break;
        case 94:
            text(s.mid(a + 9, i32(a + 5)), f32(a + 1), f32(a + 9 + i32(a + 5)));
            p = a + 9 + i32(a + 5) + 4;
            break;
        case 26: case 42: case 53: case 55: case 56: case 57: case 58: case 72: case 73: p = a + 1; break;
        case 27: case 28: case 29: case 41: case 52: case 71: case 74: p = a + 4; break;
        case 43: p = a + 5 + i32(a + 1); break;
        case 51: p = a + 1 + u8(a); break;
        case 80:
            r.texts << QStringList();
            r.points << QList<double>();
            r.places << QList<QPointF>();
            p = a + 13;
            break;
        case 81: p = a + 53 + 1 + u8(a + 53); break;
        case 82: p = a; break;
        case 90: case 91: p = a + 16; break;
        case 92:
            r.borders << u8(a + 20);  // the sides of a bordered cell
            r.cells << QRectF(QPointF(f32(a), f32(a + 4)), QPointF(f32(a + 8), f32(a + 12)));
            r.fills << i32(a + 16);
            p = a + 21;
            break;
        case 93: p = a + 21 + i32(a + 17); break;
        default: return r;
        }
    }
    return r;
}

// Every text each recorded page draws, in the order drawn; with points,
// also the size in points each text is drawn at; with borders, the sides of
// every bordered cell.
inline QList<QStringList> RecordedTexts(const QByteArray& s, QList<QList<double>>* points = nullptr,
                                        QList<int>* borders = nullptr) {
    Recorded r = ReadRecorded(s);
    if (points) *points = r.points;
    if (borders) *borders = r.borders;
    return r.texts;
}

inline QStringList AllTexts(const QList<QStringList>& pages) {
    QStringList all;
    for (const QStringList& page : pages) all << page;
    return all;
}

}  // namespace reporttest
