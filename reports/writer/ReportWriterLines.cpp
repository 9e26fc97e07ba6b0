// The report writer's columns and lines: the columns a line's items take,
// column headers, the items of a body line and their figures, photos beside
// them, the totals line and centred titles.

#include "ReportWriter.h"

#include <QStringList>
#include <cmath>

#include "PageEngine.h"
#include "ReportTextOut.h"
#include "Table.h"

namespace reports {

namespace {

constexpr double kAfterPrevious = -32768;
constexpr int kInnerMargin = 2;
// Pictures are kept at no more than this resolution; a photo with fewer
// pixels prints smaller, at the resolution of a screen.
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

}  // namespace reports
