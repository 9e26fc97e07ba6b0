#pragma once
// Realistic item values for the benchmarks that write item tables: text
// with quotes, commas and accents, so that the writers' escaping and the
// readers' rules do real work.

#include <array>
#include <string>

#include "BenchRng.h"
#include "DateFormat.h"
#include "ItemSchema.h"
#include "Table.h"

namespace bench {

const std::array<const char*, 12> kThings = {"Television", "Sofa", "Road Bicycle", "Wedding Ring", "Laptop",
                                             "Oil Painting", "Dining Table", "Cordless Drill", "Upright Piano",
                                             "Persian Rug", "Camera", "Stand Mixer"};
const std::array<const char*, 8> kMakers = {"Kestrilon", "Valmora", "Osmaren", "Pellison",
                                            "Harbelson", "Brisolm", "Feltmark", "Nalbury"};
const std::array<const char*, 8> kRooms = {"Living Room", "Kitchen", "Study", "Attic",
                                           "Garage", "Hallway", "Master Bedroom", "Basement"};
const std::array<const char*, 6> kNotes = {"24\" screen, wall mount",  "café style, oak, 2 m",
                                           "receipt in the blue folder", "scratch on the left side, minor",
                                           "gift, \"as new\"",          ""};

// Fills the 22 fields of one item; text with quotes, commas and accents so
// that the writer's escaping and the reader's rules do real work.
inline void MakeItem(Rng& rng, std::array<std::string, store::kItemFieldCount>& t) {
    const long firstDay = store::Date{1970, 1, 1}.DayNumber();
    auto money = [&](int cents) { return std::to_string(cents / 100) + "." + std::to_string(10 + cents % 90); };
    t[0] = rng.Pick(kThings);
    t[1] = rng.Pick(kMakers);
    t[2] = "M-" + std::to_string(1000 + rng.Below(9000));
    t[3] = "SN" + std::to_string(rng.Next() % 10000000000ULL);
    t[4] = rng.Pick(kRooms);
    t[5] = rng.Pick(kNotes);
    t[6] = rng.Chance(50) ? "Main Street Furniture" : "Online order";
    t[7] = rng.Chance(30) ? "Engraved initials" : "";
    t[8] = std::to_string(1 + rng.Below(4));
    t[9] = store::CurrentDateFormat().Format(store::Date::FromDayNumber(firstDay + rng.Below(55 * 365)));
    const int cents = 500 + rng.Below(500000);
    t[10] = money(cents);
    t[11] = rng.Chance(50) ? "Furniture" : "Electronics";
    t[12] = money(cents + rng.Below(10000));
    const bool warranty = rng.Chance(30);
    t[13] = warranty ? "Yes" : "No";
    t[14] = warranty ? store::CurrentDateFormat().Format(store::Date::FromDayNumber(firstDay + 20000 + rng.Below(3000)))
                     : "";
    t[15] = warranty ? "Extended plan" : "";
    t[16] = rng.Chance(50) ? "Mara" : "Family";
    t[17] = money(cents / 2);
    t[18] = rng.Chance(40) ? "Policy HX-" + std::to_string(rng.Below(90000)) : "";
    t[19] = "";
    t[20] = rng.Chance(10) ? "Appraised" : "";
    t[21] = "";
}

// Appends n made-up items to an open item table in one bulk append.
inline void AppendItems(store::Table& items, uint32_t n, uint64_t seed) {
    Rng rng(seed);
    std::array<std::string, store::kItemFieldCount> values;
    items.BeginBulkAppend();
    for (uint32_t i = 0; i < n; ++i) {
        MakeItem(rng, values);
        items.Append();
        for (int f = 0; f < store::kItemFieldCount; ++f) items.SetText(f, values[size_t(f)]);
        items.Post();
    }
    items.EndBulkAppend();
}

}  // namespace bench
