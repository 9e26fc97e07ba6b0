#include "OverviewFigures.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <map>
#include <unordered_map>

#include "EngineError.h"
#include "ItemSchema.h"
#include "ReplacingFile.h"

namespace overview {
namespace {

constexpr uint64_t kProgressEvery = 65536;

int FieldOf(store::Table& items, const char* name) { return items.FieldIndex(name); }

// A number field as the reports count it: nothing when empty or malformed.
double NumberOf(const store::RecordView& view, int field) {
    if (field < 0 || view.IsBlank(field)) return 0;
    try {
        const double v = view.Number(field);
        return std::isfinite(v) ? v : 0;
    } catch (const store::EngineError&) {
        return 0;
    }
}

std::optional<store::Date> DateOf(const store::RecordView& view, int field) {
    if (field < 0) return std::nullopt;
    try {
        return view.DateValue(field);
    } catch (const store::EngineError&) {
        return std::nullopt;
    }
}

std::string TextOf(const store::RecordView& view, int field) { return field < 0 ? std::string() : view.Text(field); }

class Grouping {
public:
    void Add(std::string name, double amount) {
        Group& g = m_groups[name];
        g.name = std::move(name);
        g.amount += amount;
        ++g.items;
    }

    std::vector<Group> Largest() const {
        std::vector<Group> out;
        out.reserve(m_groups.size());
        for (const auto& [name, g] : m_groups) out.push_back(g);
        std::sort(out.begin(), out.end(), [](const Group& a, const Group& b) {
            return a.amount != b.amount ? a.amount > b.amount : a.name < b.name;
        });
        if (out.size() > kMostGroups) {
            Group rest;
            rest.other = true;
            for (size_t i = kMostGroups - 1; i < out.size(); ++i) {
                rest.amount += out[i].amount;
                rest.items += out[i].items;
            }
            out.resize(kMostGroups - 1);
            out.push_back(rest);
        }
        return out;
    }

private:
    std::unordered_map<std::string, Group> m_groups;
};

bool ByDate(const Warranty& a, const Warranty& b) {
    return a.date != b.date ? a.date < b.date : a.record < b.record;
}

}  // namespace

std::optional<Figures> ComputeFigures(store::Table& items, const Request& request, const ProgressFn& progress) {
    const int quantityField = FieldOf(items, "Quantity");
    const int costField = FieldOf(items, "Cost");
    const int repField = FieldOf(items, "RepCost");
    const int valueField = FieldOf(items, "Value");
    const int categoryField = FieldOf(items, "Category");
    const int locationField = FieldOf(items, "Location");
    const int ownerField = FieldOf(items, "Owner");
    const int purchasedField = FieldOf(items, "PurchDate");
    const int warrantyField = FieldOf(items, "WarDate");
    const int itemField = FieldOf(items, "Item");
    const int brandField = FieldOf(items, "Brand");
    const long today = request.today.DayNumber();

    Figures f;
    Grouping categories, locations, owners;
    std::map<int, PurchaseYear> years;
    uint64_t done = 0;
    for (uint32_t recno : request.records) {
        const store::RecordView view = items.ViewOf(recno);
        const double quantity = std::trunc(NumberOf(view, quantityField));
        const double cost = NumberOf(view, costField), rep = NumberOf(view, repField), value = NumberOf(view, valueField);
        ++f.items;
        if (cost == 0 && rep == 0 && value == 0) ++f.withoutAmount;
        f.cost += quantity * cost;
        f.replacementCost += quantity * rep;
        f.value += quantity * value;
        const double chosen = quantity * (request.amount == Amount::Cost              ? cost
                                          : request.amount == Amount::ReplacementCost ? rep
                                                                                      : value);
        categories.Add(TextOf(view, categoryField), chosen);
        locations.Add(TextOf(view, locationField), chosen);
        owners.Add(TextOf(view, ownerField), chosen);
        if (const auto bought = DateOf(view, purchasedField)) {
            PurchaseYear& y = years[bought->year];
            y.year = bought->year;
            ++y.items;
            y.cost += quantity * cost;
        } else {
            ++f.withoutPurchaseDate;
        }
        if (const auto ends = DateOf(view, warrantyField)) {
            const long day = ends->DayNumber();
            const bool soon = day >= today && day <= today + request.days;
            const bool ended = day < today && day >= today - kEndedDays;
            if (soon || ended) {
                Warranty w{recno, TextOf(view, itemField), TextOf(view, brandField), TextOf(view, locationField), *ends};
                (soon ? f.endingSoon : f.endedLately).push_back(std::move(w));
            }
        }
        if (++done % kProgressEvery == 0 && progress && !progress(done, request.records.size())) return std::nullopt;
    }
    f.byCategory = categories.Largest();
    f.byLocation = locations.Largest();
    f.byOwner = owners.Largest();
    for (const auto& [year, y] : years) f.byYear.push_back(y);
    std::sort(f.endingSoon.begin(), f.endingSoon.end(), ByDate);
    std::sort(f.endedLately.begin(), f.endedLately.end(), ByDate);
    return f;
}

namespace {

std::string CsvValue(const std::string& v) {
    if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
    std::string out = "\"";
    for (char c : v) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

void Row(std::string& out, std::initializer_list<std::string> values) {
    bool first = true;
    for (const std::string& v : values) {
        if (!first) out += ',';
        out += CsvValue(v);
        first = false;
    }
    out += "\r\n";
}

void Groups(std::string& out, const char* section, const std::vector<Group>& groups) {
    for (const Group& g : groups)
        Row(out, {section, g.other ? "Other" : g.name.empty() ? "(none)" : g.name, std::to_string(g.items), TwoDecimals(g.amount)});
}

void Warranties(std::string& out, const char* section, const std::vector<Warranty>& list) {
    for (const Warranty& w : list) Row(out, {section, w.item, "", "", w.brand, w.location, w.date.IsoText()});
}

}  // namespace

std::string TwoDecimals(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

std::string FiguresCsv(const Figures& f) {
    std::string out;
    Row(out, {"Section", "Name", "Items", "Amount", "Brand", "Location", "Date"});
    Row(out, {"Totals", "Items", std::to_string(f.items), ""});
    Row(out, {"Totals", "Without any amount", std::to_string(f.withoutAmount), ""});
    Row(out, {"Totals", "Cost", "", TwoDecimals(f.cost)});
    Row(out, {"Totals", "Replacement Cost", "", TwoDecimals(f.replacementCost)});
    Row(out, {"Totals", "Value", "", TwoDecimals(f.value)});
    Groups(out, "Category", f.byCategory);
    Groups(out, "Location", f.byLocation);
    Groups(out, "Owner", f.byOwner);
    for (const PurchaseYear& y : f.byYear) Row(out, {"Purchase year", std::to_string(y.year), std::to_string(y.items), TwoDecimals(y.cost)});
    if (f.withoutPurchaseDate > 0) Row(out, {"Purchase year", "(no date)", std::to_string(f.withoutPurchaseDate), ""});
    Warranties(out, "Warranty ending", f.endingSoon);
    Warranties(out, "Warranty ended", f.endedLately);
    return out;
}

bool WriteFiguresCsv(const Figures& figures, const std::string& path, std::string* error) {
    files::ReplacingFile file;
    return file.Reserve(path, "", error) && file.Write(FiguresCsv(figures), error) && file.Commit(error);
}

}  // namespace overview
