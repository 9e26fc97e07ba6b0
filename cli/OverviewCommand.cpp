// overview: the figures of the Overview over every item, as text or JSON.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sys/stat.h>

#include "OverviewFigures.h"
#include "Session.h"
#include "Table.h"

namespace cli {
namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

QString IsoDate(const store::Date& d) { return Text(d.IsoText()); }

QJsonArray GroupsJson(const std::vector<overview::Group>& groups) {
    QJsonArray out;
    for (const overview::Group& g : groups)
        out.append(QJsonObject{{"name", g.other ? QString("Other") : Text(g.name)},
                               {"amount", g.amount},
                               {"items", qint64(g.items)},
                               {"other", g.other}});
    return out;
}

QJsonArray WarrantiesJson(const std::vector<overview::Warranty>& list) {
    QJsonArray out;
    for (const overview::Warranty& w : list)
        out.append(QJsonObject{{"record", qint64(w.record) + 1},
                               {"item", Text(w.item)},
                               {"brand", Text(w.brand)},
                               {"location", Text(w.location)},
                               {"date", IsoDate(w.date)}});
    return out;
}

void PrintGroups(std::ostream& out, const char* title, const std::vector<overview::Group>& groups) {
    out << title << "\n";
    for (const overview::Group& g : groups)
        out << "  " << (g.other ? std::string("Other") : g.name.empty() ? std::string("(none)") : g.name) << ": "
            << overview::TwoDecimals(g.amount) << " (" << g.items << (g.items == 1 ? " item)" : " items)") << "\n";
}

void PrintWarranties(std::ostream& out, const char* title, const std::vector<overview::Warranty>& list) {
    out << title << "\n";
    for (const overview::Warranty& w : list)
        out << "  " << w.date.IsoText() << "  " << w.item << (w.brand.empty() ? "" : ", " + w.brand)
            << (w.location.empty() ? "" : " (" + w.location + ")") << "\n";
}

}  // namespace

int RunOverview(Session& s) {
    int days = 90;
    if (const auto given = s.Args().Value("days")) {
        const std::string& d = *given;
        if (d.empty() || d.size() > 5 || d.find_first_not_of("0123456789") != std::string::npos)
            s.Usage("--days must be a number of days from 0 to 99999, not " + Quote(d));
        days = std::stoi(d);
    }
    store::Table items;
    s.OpenItemTable(items, s.TablePath());
    overview::Request request;
    request.records = items.DeliveredRecords();
    request.today = store::Date::Today();
    request.days = days;
    ProgressLine line(s.Io(), "overview");
    const auto figures = overview::ComputeFigures(items, request, [&](uint64_t done, uint64_t total) {
        return line.Show(done, total, "items");
    });
    line.Clear();
    if (!figures) throw CommandError("The overview was cancelled.", kExitCancelled);
    const overview::Figures& f = *figures;
    std::ostream& out = s.Io().out;
    if (s.Args().Flag("json")) {
        QJsonArray years;
        for (const overview::PurchaseYear& y : f.byYear)
            years.append(QJsonObject{{"year", y.year}, {"items", qint64(y.items)}, {"cost", y.cost}});
        const QJsonObject all{
            {"items", qint64(f.items)},
            {"withoutAmount", qint64(f.withoutAmount)},
            {"cost", f.cost},
            {"replacementCost", f.replacementCost},
            {"value", f.value},
            {"byCategory", GroupsJson(f.byCategory)},
            {"byLocation", GroupsJson(f.byLocation)},
            {"byOwner", GroupsJson(f.byOwner)},
            {"byYear", years},
            {"withoutPurchaseDate", qint64(f.withoutPurchaseDate)},
            {"today", IsoDate(request.today)},
            {"days", days},
            {"endingSoon", WarrantiesJson(f.endingSoon)},
            {"endedLately", WarrantiesJson(f.endedLately)}};
        out << QJsonDocument(all).toJson(QJsonDocument::Indented).toStdString();
        return kExitOk;
    }
    out << "Items: " << f.items << " (" << f.withoutAmount << " without any amount)\n";
    out << "Cost: " << overview::TwoDecimals(f.cost) << "\nReplacement Cost: " << overview::TwoDecimals(f.replacementCost)
        << "\nValue: " << overview::TwoDecimals(f.value) << "\n";
    PrintGroups(out, "Value by Category:", f.byCategory);
    PrintGroups(out, "Value by Location:", f.byLocation);
    PrintGroups(out, "Value by Owner:", f.byOwner);
    out << "Purchases by year:\n";
    for (const overview::PurchaseYear& y : f.byYear)
        out << "  " << y.year << ": " << y.items << (y.items == 1 ? " item, " : " items, ") << overview::TwoDecimals(y.cost) << "\n";
    if (f.withoutPurchaseDate > 0) out << "  no purchase date: " << f.withoutPurchaseDate << "\n";
    PrintWarranties(out, ("Warranties ending within " + std::to_string(days) + " days:").c_str(), f.endingSoon);
    PrintWarranties(out, "Warranties ended in the last 30 days:", f.endedLately);
    return kExitOk;
}

}  // namespace cli
