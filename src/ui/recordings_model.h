#pragma once

#include <QAbstractTableModel>

#include <functional>
#include <string>
#include <vector>

#include "recordings/recording_item.h"

namespace sonaro {

// The rows of the recordings list: one RecordingItem each, its six column texts as shown. Sorts
// with the list's own text comparison; the name column is editable, and an edit is a rename that
// the owner carries out (the row keeps its old name when the owner refuses).
class RecordingsModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    // Renames the file of `item` to `newName`; false keeps the old name.
    using Rename = std::function<bool(const RecordingItem& item, const std::string& newName)>;

    explicit RecordingsModel(Rename rename, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    void sort(int column, Qt::SortOrder order) override;

    void Clear();
    // Appends the items in their order (the list is sorted again when a scan finishes).
    void Append(std::vector<RecordingItem> items);
    // Puts `item` in place of the row of the same name and format, or adds it in sort order.
    void Put(RecordingItem item, RecordingColumn sortColumn, bool ascending);
    // Drops the row of that name and format, if any.
    void Remove(const std::string& name, const std::string& format);

    // Adds a found time to the "Keyword Found at Time" text of that row, if any.
    void AddFoundTime(const std::string& name, const std::string& format, const std::string& time);

    const RecordingItem& item(int row) const { return m_items[static_cast<std::size_t>(row)]; }

  private:
    int rowOf(const std::string& name, const std::string& format) const;

    Rename m_rename;
    std::vector<RecordingItem> m_items;
};

}  // namespace sonaro
