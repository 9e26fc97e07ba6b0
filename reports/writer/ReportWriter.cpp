#include "ReportWriter.h"

#include <QSaveFile>
#include <QStringList>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "EngineError.h"
#include "Table.h"
#include "PageEngine.h"

namespace reports {

namespace {

// The last group values start as a text no first record is expected to
// hold, so that the first record always opens a group.
const QString kNoGroupYet = QStringLiteral("zzxkytrweq");
constexpr int kGroupTextLength = 120;
constexpr double kAfterPrevious = -32768;
constexpr int kInnerMargin = 2;
// Items between two progress calls.
constexpr size_t kProgressEvery = 256;
// Photos: the box is 4:3 at the definition's height, a gap before it, and
// pictures are kept at no more than this resolution (a photo with fewer
// pixels prints smaller, at the resolution of a screen).
constexpr double kPhotoGap = 0.15;
constexpr double kPhotoDpi = 200;
constexpr double kScreenDpi = 96;

QString Blanks(int count) { return QString(std::max(0, count), QLatin1Char(' ')); }

// A text cut to width characters and padded with blanks, on the right or
// (labels of the text file) on the left.
QString Padded(const QString& text, int width, bool padLeft) {
    const QString cut = text.left(std::max(0, width));
    return padLeft ? cut.rightJustified(width, QLatin1Char(' ')) : cut.leftJustified(width, QLatin1Char(' '));
}

}  // namespace

// The text file of a text report: written to a temporary file beside the
// chosen name, renamed over it by Commit, removed by Discard.
class ReportWriter::TextOut {
public:
    explicit TextOut(const QString& path) : m_file(path) {
        if (!m_file.open(QIODevice::WriteOnly))
            throw ReportRunError(
                QStringLiteral("The report could not be written to %1: %2").arg(path, m_file.errorString()).toStdString());
        m_buffer.reserve(kFlushAt + 4096);
    }
    ~TextOut() { Discard(); }

    void Line(const QString& line) {
        m_buffer += line.toUtf8();
        m_buffer += '\n';
        if (m_buffer.size() >= kFlushAt) Flush();
    }
    void Commit() {
        Flush();
        m_done = true;
        // A failed commit has already removed the temporary file.
        if (!m_file.commit()) Fail();
    }
    void Discard() {
        if (m_done) return;
        m_done = true;
        m_file.cancelWriting();
        m_file.commit();  // with writing cancelled this only removes the temporary file
    }

private:
    static constexpr qsizetype kFlushAt = 1 << 16;
    void Flush() {
        if (m_buffer.isEmpty()) return;
        if (m_file.write(m_buffer) != m_buffer.size()) Fail();
        m_buffer.clear();
    }
    [[noreturn]] void Fail() {
        // Qt may not know the system's reason when a buffered write fails.
        const int reason = errno;
        QString why = m_file.errorString();
        if ((why.isEmpty() || why == QLatin1String("Unknown error")) && reason != 0)
            why = QString::fromLocal8Bit(std::strerror(reason));
        const QString message = QStringLiteral("The report could not be written to %1: %2").arg(m_file.fileName(), why);
        Discard();  // the temporary file goes, unless a failed commit took it already
        throw ReportRunError(message.toStdString());
    }

    QSaveFile m_file;
    QByteArray m_buffer;
    bool m_done = false;
};

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

// ---------------------------------------------------------------- columns and lines

void ReportWriter::MakeColumns(engine::PageEngine& e, const ReportLine& line, bool labelsRight, Align others,
                               int borders) {
    const int count = LineItemCount(line);
    // Beside a photo the line gives up the photo's room. Labels keep their
    // width, so that they still read whole; the values share what is left,
    // unless the labels alone would leave them next to nothing.
    double labelWidth = 0, valueWidth = 0;
    for (int i = 0; i < count; ++i) {
        const double width = double(line[size_t(i)].width) / m_width * m_printable;
        (line[size_t(i)].IsLabel() ? labelWidth : valueWidth) += width;
    }
    const double room = m_printable - m_photoRoom;
    double labelScale = 1, valueScale = 1;
    if (m_photoRoom > 0 && labelWidth + valueWidth > room) {
        if (valueWidth > 0 && room - labelWidth >= valueWidth / 4) {
            valueScale = (room - labelWidth) / valueWidth;
        } else {
            labelScale = valueScale = room / (labelWidth + valueWidth);
        }
    }
    for (int i = 0; i < count; ++i) {
        const ReportItem& item = line[size_t(i)];
        const Align align = labelsRight && item.IsLabel() ? Align::Right : others;
        const double scale = item.IsLabel() ? labelScale : valueScale;
        e.AddColumn(int(align), borders, 0, kInnerMargin, double(item.width) / m_width * m_printable * scale,
                    kAfterPrevious);
    }
}

void ReportWriter::RestoreLineOneColumns(engine::PageEngine& e) {
    if (m_lines != 1 || Text()) return;
    e.ClearColumns();
    MakeColumns(e, m_def.Body(1), false, Align::Left, m_borders);
}

void ReportWriter::WriteColumnHeaders(engine::PageEngine& e) {
    const ReportLine& line = m_def.Body(1);
    const int count = LineItemCount(line);
    QString out;
    for (int i = 0; i < count; ++i) {
        const ReportItem& item = line[size_t(i)];
        const bool field = item.IsField() && item.number >= 1 && item.number <= store::kItemFieldCount;
        const QString name = field ? m_settings.fieldTitles[size_t(item.number - 1)] : QString();
        if (Text()) out += Padded(name, item.width, false);
        else out += QLatin1Char('\t') + FitColumn(e, name, i + 1);
    }
    if (Text()) m_text->Line(out);
    else e.WriteText(out);
}

bool ReportWriter::IsFigure(int m, const ReportItem& item) const {
    if (!item.IsField()) return false;
    if (m == 0) return true;
    if (item.number < 1 || item.number > store::kItemFieldCount) return false;
    const int type = store::SchemaAt(item.number).typeCode;
    return type == 2 || type == 3;
}

template <class Value>
void ReportWriter::WriteItems(engine::PageEngine& e, int m, const Value& value) {
    const ReportLine& line = m == 0 ? m_def.totals : m_def.Body(m);
    const int count = LineItemCount(line);
    QString out;
    out.reserve(Text() ? m_width + 64 : count * 32);
    for (int i = 0; i < count; ++i) {
        const ReportItem& item = line[size_t(i)];
        QString text;
        if (item.IsLabel()) text = m_labels[size_t(m)][size_t(i)];
        else if (item.IsField()) text = value(item);
        const bool figure = IsFigure(m, item);
        if (Text()) {
            if (item.IsFiller()) out += Blanks(item.width);
            else if (figure && text.size() >= item.width) {
                // Whole, taking the room it needs, and a blank before the
                // next column, so that two figures never run into one.
                out += text;
                if (i + 1 < count) out += QLatin1Char(' ');
            }
            else out += Padded(text, item.width, item.IsLabel());
        } else if (figure) {
            WriteFigure(e, out, text, m, i);
        } else {
            out += QLatin1Char('\t');
            out += FitColumn(e, text, i + 1);
        }
    }
    if (Text()) FileLine(e, out);
    else e.WriteLine(out);
}

void ReportWriter::WriteFigure(engine::PageEngine& e, QString& out, const QString& text, int m, int i) {
    const int column = i + 1;
    if (FitColumn(e, text, column).size() == text.size()) {
        out += QLatin1Char('\t');
        out += text;
        return;
    }
    // The largest quarter point size at which the figure fits, found from
    // its width at the font's own size and checked.
    const double width = e.ColumnTextWidth(column);
    const double size = e.FontPoints();
    const double smallest = std::min(size, kSmallestFigure);
    const double measured = e.MeasureText(text);
    double points = measured > 0 ? std::floor(size * width / measured * 4) / 4 : 0;
    points = std::min(points, size - 0.25);
    while (points >= smallest && e.MeasureTextAt(text, points) > width) points -= 0.25;
    if (points >= smallest) {
        e.WriteText(out);
        out.clear();
        e.WriteCellAt(text, points);
        return;
    }
    // Marks across the cell: nothing that could be read as a number.
    m_unfit.emplace(m, i);
    out += QLatin1Char('\t');
    out += FitColumn(e, QString(text.size() + 4, QLatin1Char('#')), column);
}

QString ReportWriter::Notice() const {
    if (m_unfit.empty()) return {};
    QStringList items;
    for (const auto& [m, i] : m_unfit) {
        const ReportItem& item = (m == 0 ? m_def.totals : m_def.Body(m))[size_t(i)];
        const QString where = m == 0 ? QStringLiteral("Totals Line, Item %1").arg(i + 1)
                                     : QStringLiteral("Line %1, Item %2").arg(m).arg(i + 1);
        const QString name = m == 0 ? QString::fromUtf8(TotalsName(item.number).data(), qsizetype(TotalsName(item.number).size()))
                                    : m_settings.fieldTitles[size_t(item.number - 1)];
        items << QStringLiteral("%1 (%2, width %3)").arg(where, name).arg(item.width);
    }
    return QStringLiteral("Some figures were too wide for their columns and were printed as \"####\"; widen them in "
                          "the report definition: ") +
           items.join(QStringLiteral("; ")) + QLatin1Char('.');
}

void ReportWriter::WriteBodyLine(engine::PageEngine& e, int m, const store::RecordView& record) {
    WriteItems(e, m, [&](const ReportItem& item) {
        return item.number >= 1 && item.number <= store::kItemFieldCount ? FieldValue(record, item.number) : QString();
    });
}

void ReportWriter::WriteRecord(engine::PageEngine& e, const store::RecordView& record) {
    if (m_lines == 1) {
        WriteBodyLine(e, 1, record);
        return;
    }
    for (int m = 1; m <= m_lines; ++m) {
        if (!Text()) {
            e.ClearColumns();
            MakeColumns(e, m_def.Body(m), true, Align::Left, 0);
        }
        WriteBodyLine(e, m, record);
    }
}

std::optional<ItemPhoto> ReportWriter::PhotoOf(uint32_t recno) const {
    if (!PrintsPhotos()) return std::nullopt;
    const QSize bound(int(std::ceil(m_photoBox.width() * kPhotoDpi)), int(std::ceil(m_photoBox.height() * kPhotoDpi)));
    std::optional<ItemPhoto> photo = m_settings.photos(recno, bound);
    if (photo && photo->image.isNull()) return std::nullopt;
    return photo;
}

int ReportWriter::PhotoLines(engine::PageEngine& e, const ItemPhoto& photo) const {
    const double line = e.LineHeight();
    const int lines = line > 0 ? int(std::ceil(m_photoBox.height() / line - 1e-6)) : 1;
    return std::max(m_lines, lines + (photo.caption.isEmpty() ? 0 : 1));
}

void ReportWriter::WritePhoto(engine::PageEngine& e, const ItemPhoto& photo, double top, int written) {
    // Fitted into the box, never drawn larger than the picture is.
    QSizeF size = QSizeF(photo.image.size()) / kScreenDpi;
    if (size.width() > m_photoBox.width() || size.height() > m_photoBox.height())
        size.scale(m_photoBox, Qt::KeepAspectRatio);
    const double right = m_def.leftMargin + m_printable;
    const double left = right - m_photoBox.width() + (m_photoBox.width() - size.width()) / 2;
    if (!Text()) e.PrintBitmapRect(left, top, left + size.width(), top + size.height(), photo.image);
    const int lines = PhotoLines(e, photo) - (photo.caption.isEmpty() ? 0 : 1);
    for (int i = written; i < lines; ++i) e.NewLine();
    if (photo.caption.isEmpty()) return;
    if (!Text()) e.WriteCentredAt(FitWidth(e, photo.caption, m_photoBox.width()), right - m_photoBox.width() / 2);
    e.NewLine();
}

void ReportWriter::WriteTotalsLine(engine::PageEngine& e, const std::array<double, kTotalsCount>& totals) {
    if (!Text()) {
        e.ClearColumns();
        MakeColumns(e, m_def.totals, true, Align::Left, 0);
    }
    WriteItems(e, 0, [&](const ReportItem& item) { return TotalsValue(item.number, totals); });
}

void ReportWriter::WriteCentredTitle(engine::PageEngine& e, const QString& title) {
    if (Text()) {
        FileLine(e, Blanks((m_width - int(title.size())) / 2) + title);
        return;
    }
    const double room = std::max(0.0, m_printable - 0.2);
    const QString text = FitWidth(e, title, room);
    const double width = std::min(e.MeasureText(text), room);
    e.ClearColumns();
    e.AddColumn(0, engine::BorderBottom, 0, kInnerMargin, width + 0.2, m_def.leftMargin + (m_printable - width - 0.2) / 2);
    e.WriteLine(QLatin1Char('\t') + text);
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
