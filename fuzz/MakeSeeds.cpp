// Writes the seed inputs of the fuzz targets that only the program itself
// can make: an index file describing the index target's table, recorded
// reports, report definitions of the current and the older file, settings
// and pick-list files, import sources and key expressions. Run it with the
// repository's fuzz/corpus folder as its argument after a change of any of
// these formats; the seeds are kept in the repository.

#include <QBuffer>
#include <QImage>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "DefaultReports.h"
#include "FuzzSupport.h"
#include "IndexHarnessTable.h"
#include "IniFile.h"
#include "ItemSchema.h"
#include "PickListFile.h"
#include "QtForFuzzing.h"
#include "ReportDefinition.h"
#include "ReportFileSetup.h"
#include "Settings.h"
#include "ReportRecorder.h"
#include "Table.h"
#include "TableInvariants.h"
#include "TextFile.h"

namespace fs = std::filesystem;

namespace {

std::string g_corpus;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
    const fs::path dir = fs::path(g_corpus) / target;
    fs::create_directories(dir);
    fuzzsupport::WriteFile((dir / name).string(), bytes);
}


std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

void IndexSeeds() {
    fuzzsupport::Clear();
    const std::string data = fuzzsupport::WriteIndexHarnessTable();
    store::IndexFileContent content;
    content.state = fuzzsupport::IndexHarnessState();
    const std::string image = fuzzsupport::IndexHarnessImage();
    const uint32_t count = content.state.recordCount;
    store::RecordLayout layout(store::ItemTableFieldDefs(), 1252);
    const uint32_t headerLength = uint8_t(image[8]) | (uint8_t(image[9]) << 8);
    std::vector<uint32_t> physical;
    for (uint32_t r = 0; r < count; ++r) {
        physical.push_back(r);
        if (image[headerLength + size_t(r) * size_t(layout.RecordLength())] == '*') content.deleted.push_back(r);
    }
    // Orders as the engine builds them, so that the seed is taken as valid.
    auto ordered = [&](const std::string& expression) {
        store::Expression e(expression, layout);
        std::vector<std::pair<std::string, uint32_t>> keys;
        for (uint32_t r : physical) {
            std::string key;
            e.Key(store::RecordView(image.data() + headerLength + size_t(r) * size_t(layout.RecordLength()), layout), key);
            keys.emplace_back(key, r);
        }
        std::sort(keys.begin(), keys.end());
        std::vector<uint32_t> order;
        for (const auto& k : keys) order.push_back(k.second);
        return order;
    };
    content.tags.push_back({"ITEM", "UPPER(ITEM)", ordered("UPPER(ITEM)")});
    content.tags.push_back({"CATEGORY", "UPPER(CATEGORY)+UPPER(ITEM)", ordered("UPPER(CATEGORY)+UPPER(ITEM)")});
    content.tags.push_back({"BOUGHT", "DTOS(PURCHDATE)", ordered("DTOS(PURCHDATE)")});
    content.ordersValid = true;
    const std::string index = fuzzsupport::ScratchPath("I.MDX");
    store::WriteIndexFile(index, content);
    Seed("fuzz_index_file", "three-tags", testsupport::ReadWholeFile(index));
    content.tags.resize(1);
    store::WriteIndexFile(index, content);
    Seed("fuzz_index_file", "one-tag", testsupport::ReadWholeFile(index));
    content.state.changeCounter ^= 1;
    store::WriteIndexFile(index, content);
    Seed("fuzz_index_file", "stale", testsupport::ReadWholeFile(index));
    std::string foreign(2048, '\0');
    foreign[0] = 2;
    std::memcpy(&foreign[4], "I", 1);
    foreign[25] = 48;
    foreign[26] = 32;
    Seed("fuzz_index_file", "foreign", foreign);
    Seed("fuzz_index_file", "empty", "");
    fuzzsupport::Clear();
}

void TableSeeds() {
    fuzzsupport::Clear();
    store::Table t;
    t.SetDirectory(fuzzsupport::Scratch());
    t.SetTableName("S.DBF");
    t.Create(store::ItemTableFieldDefs());
    t.Open();
    for (int i = 0; i < 3; ++i) {
        t.Append();
        t.SetText("Item", "Lamp " + std::to_string(i));
        t.SetText("Quantity", std::to_string(i + 1));
        t.SetText("PurchDate", "02/29/2000");
        t.SetText("Cost", "12.5");
        t.Post();
    }
    t.Close();
    const std::string items = testsupport::ReadWholeFile(fuzzsupport::ScratchPath("S.DBF"));
    Seed("fuzz_dbf_read", "items", items);
    Seed("fuzz_import", "items-dbf", std::string(1, '\x03') + items);
    Seed("fuzz_restore", "table", std::string(1, '\0') + items);
    for (const char* fixture : {"people.dbf", "dbase_03.dbf", "3dpoints.dbf", "cp1251.dbf", "foxprodb_types.dbf",
                                "invalid_value.dbf", "mazovia.dbf", "dbase_8b.dbf", "gdal_items.dbf", "lo_items.dbf"}) {
        const std::string bytes = testsupport::ReadWholeFile(std::string(HALVENOR_FIXTURES "/dbf/") + fixture);
        if (bytes.empty()) continue;
        Seed("fuzz_dbf_read", fixture, bytes);
        if (bytes.size() < 8192) Seed("fuzz_table_write", fixture, std::string(1, '\0') + bytes + std::string(64, '\x05'));
    }
    Seed("fuzz_import", "lo-items-dbf", std::string(1, '\x03') + testsupport::ReadWholeFile(HALVENOR_FIXTURES "/dbf/lo_items.dbf"));
    // The write target: a fresh item table and a run of operation bytes.
    for (int s = 0; s < 4; ++s) {
        std::string ops(1, '\x01');
        for (int i = 0; i < 300; ++i) ops += char((i * (37 + s * 11) + s) & 0xFF);
        Seed("fuzz_table_write", "own-" + std::to_string(s), ops);
    }
    fuzzsupport::Clear();
}

// Data files of the two earlier generations: a key field, then their fields
// as the item table types them (the older purchase date as three texts).
void OlderDataSeeds() {
    const std::vector<std::vector<std::string>> layouts = {
        {"Item", "Brand", "Model", "Serial", "Location", "Descriptio", "BoughtFrom", "IDMarks", "Quantity", "PurchDate",
         "Cost", "Category", "RepCost", "Warranty", "WarDate", "WarNotes", "Owner", "Value"},
        {"Item", "Brand", "Model", "Serial", "Room", "Descriptio", "BoughtFrom", "IDMarks", "Quantity", "PurchDay",
         "PurchMonth", "PurchYear", "Cost", "Category"}};
    for (size_t v = 0; v < layouts.size(); ++v) {
        fuzzsupport::Clear();
        std::vector<store::FieldDef> fields{store::FieldDef::String("Key", 6)};
        for (const std::string& name : layouts[v]) {
            const int position = store::SchemaPosition(name);
            if (position == 0) fields.push_back(store::FieldDef::String(name, 10));
            else fields.push_back(store::ItemTableFieldDefs()[size_t(position - 1)]);
        }
        store::Table t;
        t.SetDirectory(fuzzsupport::Scratch());
        t.SetTableName("OLD.DBF");
        t.Create(fields);
        t.Open();
        for (int i = 0; i < 3; ++i) {
            t.Append();
            t.SetText("Item", "Clock " + std::to_string(i));
            t.SetText("Quantity", std::to_string(i));
            t.SetText("Cost", "19.99");
            if (v == 0) t.SetText("PurchDate", "12/31/1999");
            else {
                t.SetText("PurchDay", "31");
                t.SetText("PurchMonth", i ? "Dec" : "12");
                t.SetText("PurchYear", "99");
            }
            t.Post();
        }
        t.Close();
        Seed("fuzz_older_data_file", v == 0 ? "version-2" : "version-1",
             std::string(1, char(v)) + testsupport::ReadWholeFile(fuzzsupport::ScratchPath("OLD.DBF")));
    }
    fuzzsupport::Clear();
}

void ReportSeeds() {
    const auto defaults = reports::DefaultReportDefinitions();
    for (size_t i = 0; i < defaults.size(); i += 3)
        Seed("fuzz_report_definition", "default-" + std::to_string(i), Bytes(reports::EncodeDefinition(defaults[i])));
    // An older record: name, width, flags, lines, a field item and a label.
    std::string old(size_t(reports::kOldRecordSize), '\0');
    auto text = [&](size_t at, const std::string& s) {
        old[at] = char(s.size());
        std::memcpy(&old[at + 1], s.data(), s.size());
    };
    text(0, "My Rooms");
    old[31] = 90;
    old[95] = 1;
    old[97] = 1;
    old[98] = 2;
    text(1885, "<LABEL>");
    old[1885 + 32] = 6;
    text(1885 + 36, "Room:");
    text(1885 + 77, "Location");
    old[1885 + 77 + 32] = 30;
    text(102, "Replacement Cost");
    old[102 + 32] = 40;
    Seed("fuzz_report_definition", "older", old);
    // The files target: flags, part sizes, then the bytes.
    const std::string current = Bytes(reports::EncodeDefinition(defaults[1]));
    Seed("fuzz_restore", "definitions", std::string(1, '\x01') + current);
    Seed("fuzz_report_files", "both", std::string("\x01\x01", 2) + current + old);
    Seed("fuzz_report_files", "cut", std::string("\x01\x00", 2) + current.substr(0, current.size() - 7));

    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    reports::engine::ReportRecorder filer;
    filer.SetStream(&buffer);
    filer.OnPrintPage = [](reports::engine::PageEngine& r, int page) {
        r.SelectFont("Arial", 10);
        r.WriteLine(QStringLiteral("Page %1: Lamp, Brass, 12.50").arg(page));
        r.SetFontStyle(true, false, true, false);
        r.SetFontColour(Qt::red);
        r.WriteLine(QStringLiteral("Ünïcode and Кириллица"));
        r.AddColumn(0, 15, 10, 0.05, 1.5, -32768);
        r.AddColumn(2, 15, 0, 0.05, 1.0, -32768);
        r.WriteLine(QStringLiteral("Cell\tRight"));
        r.Line(1, 1, 3, 2);
        r.Rectangle(1, 3, 2, 4);
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        r.PrintBitmapRect(2, 2, 2.5, 2.5, picture);
        return page < 2;
    };
    filer.RunJob();
    Seed("fuzz_report_stream", "two-pages", buffer.buffer().toStdString());
}

void TextFileSeeds() {
    common::Settings settings;
    common::IniFile ini;
    settings.WriteTo(ini);
    Seed("fuzz_settings", "defaults", common::TextFile::Encode(ini.ToText()).toStdString());
    settings.lastDatabase = QStringLiteral("/home/ana/Möbel/MASTER.DBF");
    settings.Field(3).title = QStringLiteral("Modèle");
    settings.sortFields = {12, 1, 0, 0};
    common::IniFile changed = common::IniFile::FromText(QStringLiteral("; kept\r\n[Misc]\r\nUnknown=1\r\n"));
    settings.WriteTo(changed);
    Seed("fuzz_settings", "changed", common::TextFile::Encode(changed.ToText()).toStdString());

    Seed("fuzz_pick_list", "brands",
         common::TextFile::Encode(items::PickListFile::Format({"Acme", "  Bosch ", "Müller", "Zenith"})).toStdString());
    Seed("fuzz_pick_list", "gaps", "Kitchen\n\n   \r\nGarage\rAttic\r\n");

    Seed("fuzz_import", "text-titles", std::string("\x02", 1) +
         "\"Item\",\"Category\",\"Cost\",\"PurchDate\",\"Quantity\"\r\n"
         "\"Lamp\",\"Lights\",\"12.50\",\"02/29/2000\",\"2\"\r\n"
         "\"Chair \"\"Oak\"\"\",\"Furniture\",\"99\",\"\",\"1\"\r\n");
    Seed("fuzz_import", "text-plain", std::string("\x04", 1) + "\"a\",\"b\"\n\"c\",\"d\"\r\"e\",\"f\"");

    const char* expressions[] = {"UPPER(ITEM)",
                                 "UPPER(CATEGORY)+UPPER(ITEM)",
                                 "DTOS(PURCHDATE)+STR(COST,12,2)",
                                 "LEFT(NAME,3)+RIGHT(NAME,2)+SUBSTR(NAME,2,4)",
                                 "STR(PRICE*2-COUNT,10,3)+DTOC(BOUGHT+30)",
                                 "TRIM(NAME)+LTRIM(RTRIM(LOWER(NAME)))+STR(VAL(NAME))",
                                 "DTOS(STAMP)+STR(NUM)+STR(MONEY,12,4)+STR(REAL)",
                                 "IIF(OK,NAME,\"x\")"};
    int n = 0;
    for (const char* e : expressions)
        Seed("fuzz_key_expression", "expr-" + std::to_string(n++), std::string(e) + "\nLamp        000042 00012.50   1.500 20000229T");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds <corpus folder>\n");
        return 2;
    }
    g_corpus = argv[1];
    fuzzsupport::StartGuiApplication(&argc, &argv);
    IndexSeeds();
    TableSeeds();
    OlderDataSeeds();
    ReportSeeds();
    TextFileSeeds();
    return 0;
}
