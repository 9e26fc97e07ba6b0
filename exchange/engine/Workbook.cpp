#include "Workbook.h"

#include <QXmlStreamReader>
#include <cctype>
#include <charconv>
#include <cmath>
#include <sys/stat.h>

#include <QIODevice>
#include <unzip.h>

#include "DateFormat.h"

namespace exchange {

namespace {

constexpr uint64_t kFreeInflation = uint64_t(16) << 20;  // any part may unpack this far

std::string Str(const QString& s) { return s.toStdString(); }
std::string Str(QStringView s) { return s.toString().toStdString(); }

// The archive's current part as it inflates. The zip library inflates no
// more than the size the archive gives for the part.
class ZipPart : public QIODevice {
public:
    explicit ZipPart(unzFile zip) : m_zip(zip) { open(QIODevice::ReadOnly); }
    ~ZipPart() override {
        if (!m_closed) unzCloseCurrentFile(m_zip);
    }
    bool isSequential() const override { return true; }
    bool atEnd() const override { return m_end && QIODevice::atEnd(); }
    uint64_t Count() const { return m_count; }
    bool Broken() const { return m_broken; }
    // Ends the part; false when its check sum says it is damaged.
    bool Close() {
        m_closed = true;
        return unzCloseCurrentFile(m_zip) == UNZ_OK;
    }

protected:
    qint64 readData(char* data, qint64 max) override {
        if (m_broken) return -1;
        if (m_end || max <= 0) return 0;
        const int n = unzReadCurrentFile(m_zip, data, unsigned(std::min<qint64>(max, qint64(1) << 20)));
        if (n < 0) {
            m_broken = true;
            return -1;
        }
        if (n == 0) m_end = true;
        m_count += uint64_t(n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    unzFile m_zip;
    uint64_t m_count = 0;
    bool m_end = false;
    bool m_broken = false;
    bool m_closed = false;
};

// "B12" -> 2; 0 when there are no letters.
int ColumnOf(QStringView ref) {
    int column = 0;
    for (QChar c : ref) {
        const char16_t u = c.unicode();
        if (u >= 'A' && u <= 'Z') column = column * 26 + (u - 'A' + 1);
        else if (u >= 'a' && u <= 'z') column = column * 26 + (u - 'a' + 1);
        else break;
        if (column > 1 << 20) return 1 << 20;
    }
    return column;
}

std::string ColumnName(int column) {
    std::string name;
    for (; column > 0; column = (column - 1) / 26) name.insert(name.begin(), char('A' + (column - 1) % 26));
    return name;
}

std::string NumberText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Characters a workbook's XML cannot hold are written "_xHHHH_" (a line
// break's CR as "_x000D_"); "_x005F_" keeps an underscore that would start
// one.
QString Unescaped(const QString& text) {
    if (!text.contains(u"_x")) return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            bool ok = false;
            const ushort unit = text.mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                out += QChar(unit);
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The text of an element's <t> children, rich runs joined, phonetic
// readings left out; the reader ends on the element's end.
QString RunsText(QXmlStreamReader& xml) {
    QString text;
    const QString end = xml.name().toString();
    while (xml.readNext() != QXmlStreamReader::Invalid) {
        if (xml.isStartElement()) {
            if (xml.name() == u"t") text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
            else if (xml.name() == u"rPh") xml.skipCurrentElement();
        } else if (xml.isEndElement() && xml.name() == end) {
            break;
        }
    }
    return Unescaped(text);
}

QString AttributeNamed(const QXmlStreamAttributes& attributes, QStringView name) {
    for (const QXmlStreamAttribute& a : attributes)
        if (a.name() == name) return a.value().toString();
    return {};
}

}  // namespace

bool IsDateStyle(int id, const QString& code) {
    if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58)) return true;
    if (code.isEmpty()) return false;
    // Letters of a date or time outside quoted text and [...] sections
    // (colours, conditions, elapsed time); "General" has none of them.
    bool quoted = false, bracket = false;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == '\\') {
            ++i;
            continue;
        }
        if (c == '"') quoted = !quoted;
        else if (!quoted && c == '[') bracket = true;
        else if (!quoted && c == ']') bracket = false;
        else if (!quoted && !bracket && QString("dmyhsDMYHS").contains(c)) return true;
    }
    return false;
}

struct WorkbookReader::State {
    std::string path;
    unzFile zip = nullptr;
    std::unique_ptr<ZipPart> file;
    QString partName;
    uint64_t partSize = 0;
    QXmlStreamReader xml;
    std::string error;

    ~State() {
        ClosePart();
        if (zip) unzClose(zip);
    }

    struct SheetEntry {
        std::string name;
        QString target;
    };
    std::vector<SheetEntry> sheets;
    bool date1904 = false;
    std::vector<bool> dateStyles;
    std::vector<uint32_t> textEnds;  // shared texts, one after the other in texts
    std::string texts;
    uint64_t row = 0;
    bool inSheetData = false;
    QString m_value;  // the cell being read

    bool OpenWorkbook(const std::string& file);

    bool Fail(const std::string& why) {
        error = why;
        return false;
    }

    std::string Where() const { return "the part \"" + Str(partName) + "\" of \"" + path + "\""; }

    // Opens a part for streaming into xml. optional: a missing part is no error.
    bool OpenPart(const QString& name, bool optional = false) {
        ClosePart();
        partName = name;
        if (unzLocateFile(zip, name.toUtf8().constData(), 2) != UNZ_OK) {  // 2: letter case ignored
            if (optional) return false;
            return Fail("\"" + path + "\" is not a workbook: it has no part \"" + Str(name) + "\".");
        }
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            return Fail("Cannot read " + Where() + ".");
        const uint64_t limit =
            std::min<uint64_t>(kMaxWorkbookPartBytes, std::max<uint64_t>(kFreeInflation, kMaxInflation * info.compressed_size));
        if (info.uncompressed_size > limit) return Fail(Unpacks(info.uncompressed_size));
        if (unzOpenCurrentFile(zip) != UNZ_OK) return Fail("Cannot unpack " + Where() + ".");
        file = std::make_unique<ZipPart>(zip);
        partSize = info.uncompressed_size;
        xml.setDevice(file.get());
        return true;
    }

    std::string Unpacks(uint64_t size) const {
        return "The file \"" + path + "\" is refused: its part \"" + Str(partName) + "\" unpacks to " +
               std::to_string(size) + " bytes or more, beyond what a workbook needs (at most " +
               std::to_string(kMaxWorkbookPartBytes >> 20) + " MB, and " + std::to_string(kMaxInflation) +
               " times its packed size).";
    }

    void ClosePart() {
        xml.setDevice(nullptr);
        file.reset();
    }

    // After a part was read: whether it was read whole and well.
    bool PartRead() {
        if (file && (file->Broken() || (!xml.hasError() && file->atEnd() && !file->Close())))
            return Fail("The file \"" + path + "\" is damaged: its part \"" + Str(partName) +
                        "\" does not unpack to what the archive says it holds.");
        if (xml.hasError())
            return Fail("The file \"" + path + "\" is damaged: its part \"" + Str(partName) +
                        "\" is not well-formed XML (line " + std::to_string(xml.lineNumber()) + ": " +
                        Str(xml.errorString()) + ").");
        return true;
    }

    // Where the workbook part is, from the package's relationships.
    QString WorkbookPart() {
        QString target = "xl/workbook.xml";
        if (!OpenPart("_rels/.rels", true)) return error.empty() ? target : QString();
        while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid)
            if (xml.isStartElement() && xml.name() == u"Relationship" &&
                AttributeNamed(xml.attributes(), u"Type").endsWith("/officeDocument"))
                target = AttributeNamed(xml.attributes(), u"Target");
        if (!PartRead()) return {};
        if (target.startsWith('/')) target.remove(0, 1);
        return target;
    }

    bool ReadWorkbook() {
        const QString workbook = WorkbookPart();
        if (workbook.isEmpty()) return false;
        const QString folder = workbook.contains('/') ? workbook.left(workbook.lastIndexOf('/') + 1) : QString();
        std::vector<std::pair<std::string, QString>> ids;  // sheet name, relationship id
        if (!OpenPart(workbook)) return false;
        while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid) {
            if (!xml.isStartElement()) continue;
            if (xml.name() == u"workbookPr") {
                const QString v = AttributeNamed(xml.attributes(), u"date1904");
                date1904 = v == "1" || v == "true";
            } else if (xml.name() == u"sheet") {
                ids.push_back({Str(AttributeNamed(xml.attributes(), u"name")), AttributeNamed(xml.attributes(), u"id")});
            }
        }
        if (!PartRead()) return false;
        const QString rels = folder + "_rels/" + workbook.mid(folder.size()) + ".rels";
        std::vector<std::pair<QString, QString>> targets;
        if (!OpenPart(rels)) return false;
        while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid)
            if (xml.isStartElement() && xml.name() == u"Relationship")
                targets.push_back({AttributeNamed(xml.attributes(), u"Id"), AttributeNamed(xml.attributes(), u"Target")});
        if (!PartRead()) return false;
        for (const auto& [name, id] : ids) {
            for (const auto& [rid, target] : targets) {
                if (rid != id) continue;
                sheets.push_back({name, target.startsWith('/') ? target.mid(1) : folder + target});
                break;
            }
        }
        if (sheets.empty()) return Fail("The workbook \"" + path + "\" has no sheet.");
        ReadStyles(folder);
        return error.empty();
    }

    void ReadStyles(const QString& folder) {
        if (!OpenPart(folder + "styles.xml", true)) return;
        std::vector<std::pair<int, QString>> formats;
        bool inCellXfs = false;
        while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid) {
            if (xml.isStartElement() && xml.name() == u"numFmt") {
                formats.push_back({AttributeNamed(xml.attributes(), u"numFmtId").toInt(),
                                   AttributeNamed(xml.attributes(), u"formatCode")});
            } else if (xml.isStartElement() && xml.name() == u"cellXfs") {
                inCellXfs = true;
            } else if (xml.isEndElement() && xml.name() == u"cellXfs") {
                inCellXfs = false;
            } else if (inCellXfs && xml.isStartElement() && xml.name() == u"xf") {
                const int id = AttributeNamed(xml.attributes(), u"numFmtId").toInt();
                QString code;
                for (const auto& [fid, fcode] : formats)
                    if (fid == id) code = fcode;
                if (dateStyles.size() < kMaxSharedTexts) dateStyles.push_back(IsDateStyle(id, code));
            }
        }
        PartRead();
    }

    bool ReadSharedTexts(const QString& folder) {
        if (!OpenPart(folder + "sharedStrings.xml", true)) return error.empty();
        const std::string tooMany = "The file \"" + path + "\" is refused: its table of shared texts holds more than " +
                                    std::to_string(kMaxSharedTexts) + " texts or " +
                                    std::to_string(kMaxSharedTextBytes >> 20) + " MB.";
        while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid) {
            if (xml.isStartElement() && xml.name() == u"sst" &&
                AttributeNamed(xml.attributes(), u"uniqueCount").toULongLong() > kMaxSharedTexts)
                return Fail(tooMany);  // said at once instead of found out
            if (!xml.isStartElement() || xml.name() != u"si") continue;
            const std::string text = Str(RunsText(xml));
            if (textEnds.size() >= kMaxSharedTexts || texts.size() + text.size() > kMaxSharedTextBytes)
                return Fail(tooMany);
            texts += text;
            textEnds.push_back(uint32_t(texts.size()));
        }
        return PartRead();
    }

    // A cell whose reader stands on its start element, into its place in
    // cells (whose strings keep their buffers from row to row); width
    // learns the row's last column with a value.
    bool ReadCell(int& column, std::vector<SheetCell>& cells, size_t& width) {
        const QXmlStreamAttributes attributes = xml.attributes();
        const QStringView ref = attributes.value(QLatin1StringView("r"));
        const QString type = attributes.value(QLatin1StringView("t")).toString();
        const int style = attributes.value(QLatin1StringView("s")).toInt();
        const int named = ColumnOf(ref);
        column = named > 0 ? named : column + 1;
        QString& value = m_value;
        value.clear();
        bool hasValue = false;
        while (xml.readNext() != QXmlStreamReader::Invalid) {
            if (xml.isStartElement() && xml.name() == u"v") {
                while (xml.readNext() == QXmlStreamReader::Characters || xml.isEntityReference()) value += xml.text();
                if (!xml.isEndElement()) xml.skipCurrentElement();
                hasValue = true;
            } else if (xml.isStartElement() && xml.name() == u"is") {
                value = RunsText(xml);
                hasValue = true;
            } else if (xml.isStartElement()) {
                xml.skipCurrentElement();  // a formula, an extension
            } else if (xml.isEndElement() && xml.name() == u"c") {
                break;
            }
        }
        if (xml.hasError() || !hasValue) return !xml.hasError();
        auto where = [&] { return "cell " + ColumnName(column) + std::to_string(row); };
        if (column > int(kMaxCsvValues))
            return Fail("Row " + std::to_string(row) + " of the sheet has a value in column " + ColumnName(column) +
                        ", past the " + std::to_string(kMaxCsvValues) + " columns a row may hold.");
        if (cells.size() < size_t(column)) cells.resize(size_t(column));
        width = std::max(width, size_t(column));
        SheetCell& cell = cells[size_t(column - 1)];
        const QStringView trimmed = QStringView(value).trimmed();
        if (type == u"s") {
            bool ok = false;
            const qulonglong index = trimmed.toULongLong(&ok);
            if (!ok || index >= textEnds.size())
                return Fail("The " + where() + " names shared text " + Str(trimmed) + ", which the workbook does not have.");
            const uint32_t from = index == 0 ? 0 : textEnds[size_t(index - 1)];
            cell.text.assign(texts, from, textEnds[size_t(index)] - from);
        } else if (type == u"b") {
            cell.kind = CellKind::Boolean;
            cell.text = trimmed == u"1" || trimmed == u"true" ? "TRUE" : "FALSE";
        } else if (type == u"d") {
            cell.kind = CellKind::Date;
            cell.text = Str(trimmed.left(10));
        } else if (type.isEmpty() || type == u"n") {
            bool ok = false;
            const double number = trimmed.toDouble(&ok);
            if (!ok || !std::isfinite(number))
                return Fail("The " + where() + " holds \"" + Str(value) + "\", which is not a number.");
            cell.kind = CellKind::Number;
            cell.number = number;
            cell.text = NumberText(number);
            if (size_t(style) < dateStyles.size() && dateStyles[size_t(style)]) DateCell(cell);
        } else {
            cell.text = Str(type == u"str" ? Unescaped(value) : value);  // a formula's text, an error such as #N/A
        }
        if (cell.text.size() > kMaxCsvValueBytes)
            return Fail("The " + where() + " holds more than " + std::to_string(kMaxCsvValueBytes >> 20) + " MB of text.");
        return true;
    }

    // A number with a date style: its whole days as a date, when it is one.
    void DateCell(SheetCell& cell) const {
        const long days = long(std::floor(cell.number));
        if (days < (date1904 ? 0 : 1) || days > 2958465) return;  // no day, or past 9999-12-31
        store::Date d;
        if (date1904) d = store::Date::FromDayNumber(store::Date{1904, 1, 1}.DayNumber() + days);
        else if (days == 60) return;  // 29 February 1900, which never was
        else d = store::Date::FromDayNumber(store::Date{1899, 12, 30}.DayNumber() + (days < 60 ? days + 1 : days));
        cell.kind = CellKind::Date;
        cell.text = d.IsoText();
    }
};

WorkbookReader::WorkbookReader() : m(std::make_unique<State>()) {}
WorkbookReader::~WorkbookReader() = default;

bool WorkbookReader::State::OpenWorkbook(const std::string& file) {
    path = file;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return Fail("The file \"" + path + "\" does not exist.");
    if (!S_ISREG(st.st_mode)) return Fail("The file \"" + path + "\" is not a regular file.");
    zip = unzOpen64(path.c_str());
    if (!zip)
        return Fail("The file \"" + path + "\" is not a workbook (.xlsx): it is not a zip archive.");
    return ReadWorkbook();
}

bool WorkbookReader::Open(const std::string& path, const std::string& sheet, std::string* error) {
    m = std::make_unique<State>();
    auto fail = [&](const std::string& why) {
        *error = why;
        m->ClosePart();
        return false;
    };
    if (!m->OpenWorkbook(path)) return fail(m->error);
    const State::SheetEntry* chosen = &m->sheets.front();
    if (!sheet.empty()) {
        chosen = nullptr;
        for (const auto& s : m->sheets)
            if (QString::fromStdString(s.name).compare(QString::fromStdString(sheet), Qt::CaseInsensitive) == 0) chosen = &s;
        if (!chosen) {
            std::string names;
            for (const auto& s : m->sheets) names += (names.empty() ? "\"" : ", \"") + s.name + "\"";
            return fail("The workbook \"" + path + "\" has no sheet \"" + sheet + "\"; its sheets are " + names + ".");
        }
    }
    const QString folder = chosen->target.contains('/') ? chosen->target.left(chosen->target.indexOf('/') + 1) : QString();
    if (!m->ReadSharedTexts(folder)) return fail(m->error);
    if (!m->OpenPart(chosen->target)) return fail(m->error);
    return true;
}

WorkbookReader::Status WorkbookReader::Next(std::vector<SheetCell>& cells) {
    for (SheetCell& c : cells) {
        c.text.clear();
        c.kind = CellKind::Text;
        c.number = 0;
    }
    size_t width = 0;
    if (!m->file) {
        cells.clear();
        return Status::End;
    }
    while (m->xml.readNext() != QXmlStreamReader::Invalid) {
        if (m->xml.isEndDocument()) break;
        if (!m->xml.isStartElement()) {
            if (m->xml.isEndElement() && m->xml.name() == u"sheetData") m->inSheetData = false;
            continue;
        }
        if (m->xml.name() == u"sheetData") {
            m->inSheetData = true;
            continue;
        }
        if (!m->inSheetData || m->xml.name() != u"row") continue;
        bool ok = false;
        const uint64_t number = m->xml.attributes().value(QLatin1StringView("r")).toULongLong(&ok);
        m->row = ok && number > m->row ? number : m->row + 1;
        int column = 0;
        while (m->xml.readNext() != QXmlStreamReader::Invalid) {
            if (m->xml.isStartElement() && m->xml.name() == u"c") {
                if (!m->ReadCell(column, cells, width)) break;
            } else if (m->xml.isStartElement()) {
                m->xml.skipCurrentElement();
            } else if (m->xml.isEndElement() && m->xml.name() == u"row") {
                cells.resize(width);
                return Status::Row;
            }
        }
        if (!m->error.empty()) return Status::Failed;
        break;
    }
    cells.clear();
    if (!m->PartRead()) return Status::Failed;
    m->ClosePart();
    return Status::End;
}

uint64_t WorkbookReader::RowNumber() const { return m->row; }
const std::string& WorkbookReader::Error() const { return m->error; }
uint64_t WorkbookReader::Done() const { return m->file ? m->file->Count() : m->partSize; }
uint64_t WorkbookReader::Total() const { return m->partSize; }

std::optional<uint64_t> CountSheetRows(const std::string& path, std::string* error) {
    WorkbookReader::State state;
    if (!state.OpenWorkbook(path) || !state.OpenPart(state.sheets.front().target)) {
        *error = state.error;
        return std::nullopt;
    }
    state.xml.setDevice(nullptr);
    std::vector<char> block(size_t(1) << 20);
    std::string carry;  // the last bytes of the block before, for a tag split between two
    uint64_t rows = 0;
    for (;;) {
        const qint64 n = state.file->read(block.data(), qint64(block.size()));
        if (n < 0 || state.file->Broken()) {
            *error = "The file \"" + path + "\" is damaged: its sheet does not unpack.";
            return std::nullopt;
        }
        if (n == 0) break;
        std::string text = carry + std::string(block.data(), size_t(n));
        for (size_t at = text.find("<row"); at != std::string::npos; at = text.find("<row", at + 4))
            if (at + 4 < text.size() && (text[at + 4] == ' ' || text[at + 4] == '>') && at + 4 >= carry.size()) ++rows;
        carry = text.substr(text.size() - std::min<size_t>(text.size(), 16));
    }
    while (!carry.empty() && std::isspace(static_cast<unsigned char>(carry.back()))) carry.pop_back();
    if (carry.size() < 12 || carry.compare(carry.size() - 12, 12, "</worksheet>") != 0) {
        *error = "The file \"" + path + "\" is damaged: its sheet ends before its last row.";
        return std::nullopt;
    }
    return rows;
}

std::vector<std::string> WorkbookSheets(const std::string& path, std::string* error) {
    WorkbookReader::State state;
    std::vector<std::string> names;
    if (state.OpenWorkbook(path))
        for (const auto& s : state.sheets) names.push_back(s.name);
    else
        *error = state.error;
    return names;
}

}  // namespace exchange
