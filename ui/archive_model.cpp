#include "ui/archive_model.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QIcon>
#include <QStyle>

#include "job/formatting.h"

using namespace zok;

namespace {

const char* const kHeaders[ArchiveModel::kColumnCount] = {"이름", "종류", "원래 크기", "압축 크기",
                                                          "비율"};

QString MarkText(const EntryRow& row) {
    const char* what = row.mark == EntryMark::HoldsNoData ? "빈 항목" : "손상된 항목";
    return QString::fromUtf8(what) + QStringLiteral(": ") + QString::fromStdString(row.problem);
}

}  // namespace

ArchiveModel::ArchiveModel(QObject* parent) : QAbstractTableModel(parent) {}

void ArchiveModel::SetRows(std::vector<EntryRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    m_names.clear();
    m_kinds.clear();
    m_names.reserve(m_rows.size());
    m_kinds.reserve(m_rows.size());
    for (const EntryRow& row : m_rows) {
        m_names.push_back(QString::fromStdString(row.name));
        m_kinds.push_back(QString::fromStdString(row.kindWord));
    }
    endResetModel();
}

void ArchiveModel::Mark(size_t index, const zok::Error& problem) {
    if (index >= m_rows.size()) {
        return;
    }
    // Rows are kept in directory order.
    MarkEntry(m_rows[index], problem);
    emit dataChanged(this->index(int(index), 0), this->index(int(index), kColumnCount - 1));
}

int ArchiveModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ArchiveModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

Qt::ItemFlags ArchiveModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | Qt::ItemIsDragEnabled;
}

QVariant ArchiveModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= m_rows.size()) {
        return QVariant();
    }
    const size_t r = size_t(index.row());
    const EntryRow& row = m_rows[r];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            switch (column) {
                case kName:
                    return m_names[r];
                case kKind:
                    return m_kinds[r];
                case kSourceSize:
                    return QString::fromStdString(FormatNumber(row.sourceSize));
                case kStoredSize:
                    return QString::fromStdString(FormatNumber(row.storedSize));
                case kPercent:
                    return QString::fromStdString(
                        PercentText(StoredPercent(row.sourceSize, row.storedSize)));
            }
            break;
        case kSortRole:
            // Names and kinds sort by their text; the numbers by their values.
            switch (column) {
                case kName:
                case kKind:
                    return data(index, Qt::DisplayRole);
                case kSourceSize:
                    return qulonglong(row.sourceSize);
                case kStoredSize:
                    return qulonglong(row.storedSize);
                case kPercent:
                    return StoredPercent(row.sourceSize, row.storedSize).value_or(-1.0);
            }
            break;
        case kIndexRole:
            return qulonglong(row.index);
        case Qt::TextAlignmentRole:
            return column >= kSourceSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                         : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::DecorationRole:
            if (column == kName && row.mark != EntryMark::Sound) {
                return QApplication::style()->standardIcon(row.mark == EntryMark::Damaged
                                                               ? QStyle::SP_MessageBoxCritical
                                                               : QStyle::SP_MessageBoxWarning);
            }
            break;
        case Qt::ForegroundRole:
            if (row.mark == EntryMark::Damaged) {
                return QBrush(QColor(0xB0, 0x00, 0x00));
            }
            if (row.mark == EntryMark::HoldsNoData) {
                return QBrush(QColor(0x80, 0x80, 0x80));
            }
            break;
        case Qt::ToolTipRole:
            if (row.mark != EntryMark::Sound) {
                return MarkText(row);
            }
            return m_names[r];
    }
    return QVariant();
}

QVariant ArchiveModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumnCount) {
        return QString::fromUtf8(kHeaders[section]);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
