#include "ItemGridModel.h"

#include <cmath>

#include "DateFormat.h"
#include "ItemSchema.h"
#include "RecordLayout.h"

namespace shell {
namespace {

constexpr int kWarrantyPosition = 14;

bool IsWholeNumber(const QString& text) {
    const auto value = store::ParseNumber(text.toStdString());
    return value && *value == std::floor(*value) && std::fabs(*value) <= 2147483647.0 && !text.contains('.') &&
           !text.contains('e', Qt::CaseInsensitive);
}

}  // namespace

QString ItemGridModel::CheckValue(int position, const QString& title, const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return {};
    const QString quoted = "\"" + text + "\"";
    switch (store::SchemaAt(position).typeCode) {
    case 2:
        if (!IsWholeNumber(trimmed)) return quoted + " is not a valid whole number for " + title + ".";
        break;
    case 3:
        if (!store::ParseNumber(trimmed.toStdString())) return quoted + " is not a valid number for " + title + ".";
        break;
    case 4:
        if (!store::CurrentDateFormat().Parse(trimmed.toStdString()))
            return quoted + " is not a valid date for " + title + ".";
        break;
    default:
        break;
    }
    return {};
}

ItemGridModel::ItemGridModel(store::Table& table, QObject* parent) : QAbstractTableModel(parent), m_table(table) {}

void ItemGridModel::SetColumns(std::vector<int> positions, QStringList titles) {
    beginResetModel();
    m_columns = std::move(positions);
    m_titles = std::move(titles);
    endResetModel();
}

void ItemGridModel::SetCellLook(const QFont& font, const QColor& text, const QColor& background) {
    m_font = font;
    m_text = text;
    m_background = background;
    if (!m_rows.empty() && !m_columns.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void ItemGridModel::SetTitleAlignment(Qt::Alignment alignment) {
    m_titleAlignment = alignment;
    if (!m_columns.empty()) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ItemGridModel::SetEditable(bool editable) { m_editable = editable; }

void ItemGridModel::SetIndicatorRow(int row) {
    const int old = m_indicatorRow;
    m_indicatorRow = row;
    if (old >= 0 && old < rowCount()) emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < rowCount()) emit headerDataChanged(Qt::Vertical, row, row);
}

void ItemGridModel::Reload() {
    beginResetModel();
    m_fieldIndex.assign(store::kItemFieldCount + 1, -1);
    if (m_table.IsOpen()) {
        m_rows = m_table.DeliveredRecords();
        for (int p = 1; p <= store::kItemFieldCount; ++p)
            m_fieldIndex[size_t(p)] = m_table.FieldIndex(store::SchemaAt(p).name);
    } else {
        m_rows.clear();
    }
    m_indicatorRow = -1;
    endResetModel();
}

int ItemGridModel::RowOfRecord(uint32_t recno) const {
    // The delivered list is in index order, not record order: a linear look
    // is the price of not keeping a second map for every refresh.
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i] == recno) return int(i);
    return -1;
}

int ItemGridModel::FieldIndex(int position) const {
    if (position < 1 || size_t(position) >= m_fieldIndex.size()) return -1;
    return m_fieldIndex[size_t(position)];
}

int ItemGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

int ItemGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant ItemGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= m_rows.size() || !m_table.IsOpen()) return {};
    const int position = m_columns[size_t(index.column())];
    const int field = FieldIndex(position);
    if (field < 0) return {};
    const uint32_t recno = m_rows[size_t(index.row())];
    if (recno >= m_table.PhysicalCount()) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        if (position == kWarrantyPosition && role == Qt::DisplayRole) return {};
        return QString::fromStdString(m_table.ViewOf(recno).DisplayText(field));
    }
    case Qt::CheckStateRole:
        if (position != kWarrantyPosition) return {};
        return m_table.ViewOf(recno).DisplayText(field) == "Yes" ? Qt::Checked : Qt::Unchecked;
    case Qt::FontRole:
        return m_font;
    case Qt::ForegroundRole:
        return m_text;
    case Qt::BackgroundRole:
        return m_background;
    case Qt::TextAlignmentRole: {
        const char kind = store::SchemaAt(position).kind;
        return kind == 'N' ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    default:
        return {};
    }
}

QVariant ItemGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole) return section == m_indicatorRow ? QString::fromUtf8("\u25B6") : QString();
        return {};
    }
    if (section < 0 || section >= m_titles.size()) return {};
    if (role == Qt::DisplayRole) return m_titles[section];
    if (role == Qt::TextAlignmentRole) return QVariant(m_titleAlignment | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ItemGridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!index.isValid()) return f;
    const int position = m_columns[size_t(index.column())];
    if (m_editable) f |= position == kWarrantyPosition ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable;
    return f;
}

bool ItemGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!m_editable || !index.isValid() || !m_table.IsOpen()) return false;
    const int position = m_columns[size_t(index.column())];
    const int field = FieldIndex(position);
    if (field < 0) return false;
    QString text;
    if (position == kWarrantyPosition && role == Qt::CheckStateRole)
        text = value.toInt() == Qt::Checked ? "Yes" : "No";
    else if (role == Qt::EditRole)
        text = value.toString();
    else
        return false;
    if (const QString refusal = CheckValue(position, m_titles.value(index.column()), text); !refusal.isEmpty()) {
        emit EditRefused(refusal);
        return false;
    }
    const uint32_t recno = m_rows[size_t(index.row())];
    auto post = [&] {
        m_table.GoTo(recno);
        m_table.Edit();
        m_table.SetText(field, text.toStdString());
        m_table.Post();
    };
    try {
        if (m_postRunner) m_postRunner(post);
        else post();
    } catch (const store::EngineError& e) {
        m_table.Cancel();
        emit EditRefused(QString::fromUtf8(e.what()));
        return false;
    }
    emit dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(columnCount() - 1));
    emit RecordPosted(recno);
    return true;
}

}  // namespace shell
