#include "ReportWriter.h"

#include <QStringList>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "EngineError.h"
#include "Table.h"
#include "PageEngine.h"
#include "ReportTextOut.h"

namespace reports {

namespace {

// The last group values start as a text no first record is expected to
// hold, so that the first record always opens a group.
const QString kNoGroupYet = QStringLiteral("zzxkytrweq");
constexpr int kGroupTextLength = 120;
constexpr int kInnerMargin = 2;
// Items between two progress calls.
constexpr size_t kProgressEvery = 256;
// Photos: the box is 4:3 at the definition's height, with a gap before it.
constexpr double kPhotoGap = 0.15;

QString Blanks(int count) { return QString(std::max(0, count), QLatin1Char(' ')); }

}  // namespace


ReportSettings::ReportSettings() : today(store::Date::Today()) {
    for (const store::SchemaField& f : store::ItemSchema())
        fieldTitles[size_t(f.position - 1)] = QString::fromUtf8(f.defaultTitle.data(), qsizetype(f.defaultTitle.size()));
}

ReportWriter::ReportWriter(const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                           OutputMode mode, QString textFile)
    : m_def(def), m_table(table), m_settings(settings), m_mode(mode), m_textFileName(std::move(textFile)) {}

ReportWriter::~ReportWriter() = default;

void ReportWriter::Attach(engine::PageEngine& engine) {
    engine.OnBeforePrint = [this](engine::PageEngine& e) { BeforePrint(e); };
    engine.OnPrintHeader = [this](engine::PageEngine& e) { PrintHeader(e); };
    engine.OnPrintPage = [this](engine::PageEngine& e, int) { return PrintPage(e); };
    engine.OnPrintFooter = [this](engine::PageEngine& e) { PrintFooter(e); };
    engine.OnAfterPrint = [this](engine::PageEngine& e) { AfterPrint(e); };
}

// ---------------------------------------------------------------- small steps

bool ReportWriter::Fits(engine::PageEngine& e, int lines) const { return m_fresh || e.RemainingLines() >= lines; }

void ReportWriter::SelectFont(engine::PageEngine& e, FontSlot slot) {
    const ReportFont& f = m_def.Font(slot);
    e.SelectFont(QString::fromStdString(f.name), f.size);
    e.SetFontStyle(f.bold, f.italic, f.underline, f.strikeout);
    e.SetFontColour(QColor(int(f.color & 0xFF), int((f.color >> 8) & 0xFF), int((f.color >> 16) & 0xFF)));
}

void ReportWriter::FileLine(engine::PageEngine& e, const QString& line) {
    m_text->Line(line);
    e.NewLine();
}

struct ReportWriter::CharWidths {
    engine::FontState font;
    std::array<double, 0x100 - 0x20> width{};
};

bool ReportWriter::SurelyFits(engine::PageEngine& e, const QString& text, double width) {
    if (!m_lastWidths || !(m_lastWidths->font == e.Font())) {
        m_lastWidths = nullptr;
        for (const auto& w : m_charWidths)
            if (w->font == e.Font()) m_lastWidths = w.get();
        if (!m_lastWidths) {
            auto widths = std::make_unique<CharWidths>();
            widths->font = e.Font();
            for (char16_t c = 0x20; c < 0x100; ++c) widths->width[c - 0x20] = e.MeasureText(QString(QChar(c)));
            m_lastWidths = widths.get();
            m_charWidths.push_back(std::move(widths));
        }
    }
    double sum = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u >= 0x100) return false;
        sum += m_lastWidths->width[u - 0x20];
    }
    // Kerning in the fonts reports use only ever narrows a text; the margin
    // covers a font that widens a pair now and then.
    return sum <= width * 0.99;
}

QString ReportWriter::FitWidth(engine::PageEngine& e, const QString& text, double width) {
    if (text.isEmpty() || SurelyFits(e, text, width)) return text;
    if (!(m_measuredFont == e.Font()) || m_measured.size() > 4096) {
        m_measured.clear();
        m_measuredFont = e.Font();
    }
    const QPair<double, QString> key(width, text);
    if (const auto it = m_measured.constFind(key); it != m_measured.constEnd()) return *it;
    QString fitted = text;
    if (e.MeasureText(text) > width) {
        // Characters are dropped from the end until the text fits; the
        // longest fitting start is found by halving.
        qsizetype fits = 0, fails = text.size();
        while (fails - fits > 1) {
            const qsizetype mid = (fits + fails) / 2;
            if (e.MeasureText(text.left(mid)) <= width) fits = mid;
            else fails = mid;
        }
        fitted = text.left(fits);
    }
    m_measured.insert(key, fitted);
    return fitted;
}

QString ReportWriter::FitColumn(engine::PageEngine& e, const QString& text, int column) {
    return FitWidth(e, text, e.ColumnTextWidth(column));
}

QString ReportWriter::Today() const {
    return QString::fromStdString(store::CurrentDateFormat().Format(m_settings.today));
}

QString ReportWriter::InsuranceLine() const {
    const InsuranceDetails& ins = m_settings.insurance;
    QString line;
    if (ins.printCompany) line += ins.company + Blanks(4);
    if (ins.printPolicy) line += QLatin1Char('#') + ins.policy;
    return line;
}

void ReportWriter::Progress(engine::PageEngine& e) {
    m_sinceProgress = 0;
    if (!m_progress) return;
    ReportProgress progress;
    progress.page = e.CurrentPage();
    progress.itemsDone = m_next;
    progress.itemCount = m_records.size();
    if (!m_progress(progress)) e.CancelJob();
}

// ---------------------------------------------------------------- values

QString ReportWriter::FieldValue(const store::RecordView& record, int position) const {
    const int index = m_fieldIndex[size_t(position)];
    if (index < 0) return {};
    const store::SchemaField& field = store::SchemaAt(position);
    if (field.typeCode == 2 || field.typeCode == 3) {
        if (record.IsBlank(index)) return {};
        try {
            const double value = record.Number(index);
            return field.typeCode == 3 ? m_settings.numbers.Currency(value) : m_settings.numbers.Number(value, 0);
        } catch (const store::EngineError&) {
            return QString::fromStdString(record.DisplayText(index));
        }
    }
    try {
        return QString::fromStdString(record.Text(index));
    } catch (const store::EngineError&) {
        return QString::fromStdString(record.DisplayText(index));
    }
}

QString ReportWriter::GroupText(const store::RecordView& record, int position) const {
    const int index = m_fieldIndex[size_t(position)];
    if (index < 0) return {};
    std::string text;
    try {
        text = record.Text(index);
    } catch (const store::EngineError&) {
        text = record.DisplayText(index);
    }
    return QString::fromStdString(text).left(kGroupTextLength);
}

QString ReportWriter::TotalsValue(int number, const std::array<double, kTotalsCount>& totals) const {
    if (number < 1 || number > kTotalsCount) return {};
    const double value = totals[size_t(number - 1)];
    return number == 4 ? m_settings.numbers.Number(value, 0) : m_settings.numbers.Currency(value);
}

void ReportWriter::AddToTotals(const store::RecordView& record) {
    auto number = [&](int position) {
        const int index = m_fieldIndex[size_t(position)];
        if (index < 0 || record.IsBlank(index)) return 0.0;
        try {
            return record.Number(index);
        } catch (const store::EngineError&) {
            return 0.0;  // content that is no number counts as nothing
        }
    };
    const double quantity = std::trunc(number(9));
    const double add[kTotalsCount] = {quantity * number(11), quantity * number(18), quantity * number(13), quantity};
    for (int i = 0; i < kTotalsCount; ++i) {
        m_group[size_t(i)] += add[i];
        m_grand[size_t(i)] += add[i];
    }
}

// ---------------------------------------------------------------- before the first page

void ReportWriter::BeforePrint(engine::PageEngine& e) {
    e.SetStatusFormat(QStringLiteral("Printing Page %p\r%0\r%1"));
    e.StatusText().clear();
    e.SetMarginTop(m_def.topMargin);
    e.SetMarginBottom(m_def.bottomMargin);
    e.SetMarginLeft(m_def.leftMargin);
    e.SetMarginRight(m_def.rightMargin);
    m_width = m_def.width > 0 ? m_def.width : 90;
    m_lines = std::clamp(m_def.lines, 0, kMaxBodyLines);
    m_printable = e.PaperWidth() - m_def.leftMargin - m_def.rightMargin;
    m_photoRoom = 0;
    // The text file has no pictures, but its items take the room their
    // photos take on the page, so that its pages break as the page's do.
    if (m_def.printPhotos && m_settings.photos) {
        const double height = std::clamp(m_def.photoHeight, kMinPhotoHeight, kMaxPhotoHeight);
        m_photoBox = QSizeF(height * 4 / 3, height);
        // The columns keep at least half the width.
        if (m_photoBox.width() + kPhotoGap > m_printable / 2) m_photoBox.scale(m_printable / 2 - kPhotoGap, height, Qt::KeepAspectRatio);
        if (m_photoBox.width() > 0.1) m_photoRoom = m_photoBox.width() + kPhotoGap;
    }

    m_group1 = m_group2 = 0;
    for (int field : m_settings.sortFields) {
        if (field < 1 || field > store::kItemFieldCount) continue;
        if (m_group1 == 0) m_group1 = field;
        else if (m_group2 == 0) m_group2 = field;
    }
    if (!m_def.groupLevel2) m_group2 = 0;
    if (!m_def.groupLevel1) m_group1 = m_group2 = 0;
    m_last1 = m_last2 = kNoGroupYet;
    m_headingPending = m_totalsPending = m_endPrinted = false;
    m_firstGroup = true;
    m_group.fill(0);
    m_grand.fill(0);
    m_unfit.clear();

    m_fieldIndex.fill(-1);
    for (int p = 1; p <= store::kItemFieldCount; ++p) m_fieldIndex[size_t(p)] = m_table.FieldIndex(store::SchemaAt(p).name);

    for (int line = 0; line <= kMaxBodyLines; ++line) {
        const ReportLine& items = line == 0 ? m_def.totals : m_def.Body(line);
        for (int i = 0; i < kItemsPerLine; ++i) m_labels[size_t(line)][size_t(i)] = QString::fromStdString(items[size_t(i)].label);
    }

    if (Text()) m_text = std::make_unique<TextOut>(m_textFileName);
    // The records are read where they lie; the table's current record stays.
    m_records = m_table.DeliveredRecords();
    m_next = 0;
    m_sinceProgress = 0;
}

// ---------------------------------------------------------------- header and footer

void ReportWriter::PrintHeader(engine::PageEngine& e) {
    e.BodyTop(0.5);
    e.BodyBottom(1.25);
    e.GoToBodyStart();
    SelectFont(e, FontSlot::Title);
    for (const std::string& title : m_def.titles) {
        if (title.empty()) continue;
        // The text file takes the titles as typed.
        if (Text()) m_text->Line(QString::fromStdString(title));
        else e.WriteCentredAt(QString::fromStdString(title), e.PaperWidth() / 2);
        e.NewLine();
    }
}

void ReportWriter::PrintFooter(engine::PageEngine& e) {
    const QString page = QString::number(e.CurrentPage());
    const QString insurance = InsuranceLine();
    e.BodyTop(e.PaperHeight() - m_def.bottomMargin - 0.5);
    e.BodyBottom(e.PaperHeight() - m_def.bottomMargin);
    SelectFont(e, FontSlot::Footnote);
    e.GoToLastLine();
    if (Text()) {
        QString line;
        if (m_def.pageNumbers) line = QStringLiteral("Page ") + page + Blanks(5);
        line += insurance;
        if (m_def.dateOnPages) line += Blanks(5) + Today();
        m_text->Line(QString());
        m_text->Line(line + QLatin1Char('\f'));
        return;
    }
    if (m_def.pageNumbers) e.WriteAcross(QStringLiteral("Page ") + page, 1);
    e.WriteAcross(insurance, 0);
    if (m_def.dateOnPages) e.WriteAcross(Today(), 2);
}

void ReportWriter::AfterPrint(engine::PageEngine& e) {
    if (!m_text) return;
    std::unique_ptr<TextOut> text = std::move(m_text);
    // The file takes the chosen name only when the whole report is in it.
    if (!e.Aborted() && Completed()) text->Commit();
    else text->Discard();
}

// ---------------------------------------------------------------- groups and totals

bool ReportWriter::GroupBreak(engine::PageEngine& e, const QString& value) {
    m_last1 = value;
    if (!GroupTotals(e)) {
        m_headingPending = true;
        return false;
    }
    return GroupHeading(e);
}

bool ReportWriter::GroupTotals(engine::PageEngine& e) {
    if (m_firstGroup || !m_def.useTotals) {
        m_firstGroup = false;
        m_totalsPending = false;
        return true;
    }
    if (!Fits(e, m_lines + 3)) {
        m_totalsPending = true;
        return false;
    }
    WriteCentredTitle(e, QStringLiteral("TOTALS"));
    WriteTotalsLine(e, m_group);
    m_group.fill(0);
    RestoreLineOneColumns(e);
    m_totalsPending = false;
    m_fresh = false;
    return true;
}

bool ReportWriter::GroupHeading(engine::PageEngine& e) {
    if (!Fits(e, m_lines + 2)) {
        m_headingPending = true;
        return false;
    }
    QString text = m_group1 > 0 ? m_last1 : QString();
    if (m_group2 > 0) text += QStringLiteral(", ") + m_last2;
    if (Text()) {
        // Four lines of the file stand where the page has two (a blank line
        // and the boxed heading), so that its pages break as the page's do.
        const int c = int(text.size());
        const int d = c >= m_width ? 0 : (m_width - c) / 2;
        const QString rule = Blanks(d) + QString(c, QLatin1Char('-'));
        m_text->Line(QString());
        e.NewLine();
        m_text->Line(rule);
        m_text->Line(Blanks(d) + text);
        FileLine(e, rule);
    } else {
        const double room = std::max(0.0, m_printable - 0.2);
        text = FitWidth(e, text, room);
        const double width = std::min(e.MeasureText(text), room);
        e.NewLine();
        e.ClearColumns();
        e.AddColumn(0, engine::BorderLeft | engine::BorderRight | engine::BorderTop | engine::BorderBottom, 0,
                    kInnerMargin, width + 0.2, m_def.leftMargin + (m_printable - width - 0.2) / 2);
        e.WriteLine(QLatin1Char('\t') + text);
        RestoreLineOneColumns(e);
    }
    m_headingPending = false;
    m_fresh = false;
    return true;
}

bool ReportWriter::EndBlock(engine::PageEngine& e) {
    const InsuranceDetails& ins = m_settings.insurance;
    const int needed = (m_def.useTotals ? 5 : 0) + (ins.printStatement ? 5 : 0);
    // Without room the block waits for the next page (the page asks for one
    // while the end block is not printed).
    if (!Fits(e, needed)) return false;
    if (m_def.useTotals) {
        WriteCentredTitle(e, QStringLiteral("TOTALS"));
        WriteTotalsLine(e, m_group);
        if (Text()) FileLine(e, QString());
        else e.NewLine();
        WriteCentredTitle(e, QStringLiteral("GRAND TOTALS"));
        WriteTotalsLine(e, m_grand);
    }
    if (ins.printStatement) {
        const QStringList lines = {
            QString(),
            QStringLiteral("As of this date, ") + Today() + QStringLiteral(", this is a true and accurate inventory of my home."),
            QString(),
            QString(35, QLatin1Char('_')),
            ins.yourName,
        };
        if (!Text()) e.ClearColumns();
        for (const QString& line : lines) {
            if (Text()) FileLine(e, line);
            else e.WriteLine(line);
        }
    }
    m_endPrinted = true;
    m_fresh = false;
    return true;
}

// ---------------------------------------------------------------- the body of a page

bool ReportWriter::PrintPage(engine::PageEngine& e) {
    e.BodyTop(1.25);
    e.BodyBottom(e.PaperHeight() - m_def.bottomMargin - 0.75);
    e.GoToBodyStart();
    m_fresh = true;
    Progress(e);

    m_borders = 0;
    if (m_lines == 1) {
        if (m_def.verticalLines && m_def.horizontalLines) m_borders = 15;
        else if (m_def.verticalLines) m_borders = 3;
        else if (m_def.horizontalLines) m_borders = 12;
    }
    if (m_lines == 1 && m_def.columnHeaders) {
        SelectFont(e, FontSlot::ColumnHeader);
        if (!Text()) {
            e.ClearColumns();
            MakeColumns(e, m_def.Body(1), false, Align::Centre, m_borders);
        }
        WriteColumnHeaders(e);
        SelectFont(e, FontSlot::Body);
        e.NewLine();
    } else {
        SelectFont(e, FontSlot::Body);
    }
    if (m_lines == 1 && !Text()) {
        e.ClearColumns();
        MakeColumns(e, m_def.Body(1), false, Align::Left, m_borders);
    }

    bool full = false;
    while (!e.Aborted() && m_next < m_records.size() && Fits(e, m_lines)) {
        if (m_totalsPending && !GroupTotals(e)) full = true;
        if (!full && m_headingPending) full = !GroupHeading(e);
        const store::RecordView record = m_table.ViewOf(m_records[m_next]);
        if (!full && m_group1 > 0) {
            const QString text1 = GroupText(record, m_group1);
            if (m_group2 < 1) {
                if (text1 != m_last1) full = !GroupBreak(e, text1);
            } else {
                const QString text2 = GroupText(record, m_group2);
                if (text2 != m_last2) {
                    m_last2 = text2;
                    full = !GroupBreak(e, text1);
                } else if (text1 != m_last1) {
                    full = !GroupBreak(e, text1);
                }
            }
        }
        if (full) break;
        // An item with a photo takes the photo's height; it starts a new
        // page when it does not fit whole.
        const std::optional<ItemPhoto> photo = PhotoOf(m_records[m_next]);
        if (photo && !Fits(e, PhotoLines(e, *photo))) break;
        const double top = e.YPos();
        WriteRecord(e, record);
        if (photo) WritePhoto(e, *photo, top, m_lines);
        m_fresh = false;
        if (m_def.useTotals) AddToTotals(record);
        ++m_next;
        if (++m_sinceProgress >= kProgressEvery) Progress(e);
    }
    if (e.Aborted()) return false;
    if (m_next >= m_records.size() && !m_endPrinted) EndBlock(e);
    return !(m_next >= m_records.size() && m_endPrinted);
}

}  // namespace reports
