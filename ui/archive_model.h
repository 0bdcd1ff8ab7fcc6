#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "job/entry_listing.h"

// The entries of an archive as a table: name, kind, original size, stored size and the
// stored size as a percentage of the original. kSortRole gives each cell's value for sorting
// (sizes and percentages as numbers); marked entries (empty or damaged) carry a warning icon,
// a colour and their reason as tooltip.
class ArchiveModel : public QAbstractTableModel {
public:
    enum Column { kName, kKind, kSourceSize, kStoredSize, kPercent, kColumnCount };
    static constexpr int kSortRole = Qt::UserRole;
    // The entry's position in the archive's directory.
    static constexpr int kIndexRole = Qt::UserRole + 1;

    explicit ArchiveModel(QObject* parent = nullptr);

    void SetRows(std::vector<zok::EntryRow> rows);
    const std::vector<zok::EntryRow>& Rows() const { return m_rows; }
    // Marks the entry at directory position index as what reading it found (None: sound).
    void Mark(size_t index, const zok::Error& problem);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Rows can be dragged out (the window's table makes the files the drag carries).
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<zok::EntryRow> m_rows;
    // The rows' names and kinds as Qt strings, made once: sorting compares them often.
    std::vector<QString> m_names;
    std::vector<QString> m_kinds;
};
