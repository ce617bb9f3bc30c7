#include "ui/recordings_model.h"

#include "recordings/speech_keywords.h"

#include <algorithm>

namespace sonaro {
namespace {

QString ColumnTitle(int column) {
    switch (static_cast<RecordingColumn>(column)) {
        case RecordingColumn::Name:
            return QStringLiteral("Name");
        case RecordingColumn::Duration:
            return QStringLiteral("Duration");
        case RecordingColumn::Format:
            return QStringLiteral("Format");
        case RecordingColumn::DateCreated:
            return QStringLiteral("Date Created");
        case RecordingColumn::Size:
            return QStringLiteral("Size");
        case RecordingColumn::KeywordFoundAt:
            break;
    }
    return QStringLiteral("Keyword Found at Time");
}

bool IsLeftAligned(int column) {
    return column == static_cast<int>(RecordingColumn::Name) ||
           column == static_cast<int>(RecordingColumn::KeywordFoundAt);
}

}  // namespace

RecordingsModel::RecordingsModel(Rename rename, QObject* parent)
    : QAbstractTableModel(parent), m_rename(std::move(rename)) {}

int RecordingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

int RecordingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRecordingColumnCount;
}

QVariant RecordingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return QString::fromStdString(
                item(index.row()).texts[static_cast<std::size_t>(index.column())]);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(IsLeftAligned(index.column())
                                                         ? Qt::AlignLeft | Qt::AlignVCenter
                                                         : Qt::AlignCenter));
        default:
            return {};
    }
}

QVariant RecordingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kRecordingColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return ColumnTitle(section);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(
            IsLeftAligned(section) ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter));
    }
    return {};
}

Qt::ItemFlags RecordingsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == static_cast<int>(RecordingColumn::Name)) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

bool RecordingsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() ||
        index.column() != static_cast<int>(RecordingColumn::Name)) {
        return false;
    }
    RecordingItem& row = m_items[static_cast<std::size_t>(index.row())];
    const std::string newName = value.toString().toStdString();
    if (newName == row.name() || !m_rename(row, newName)) {
        return false;
    }
    row.texts[static_cast<std::size_t>(RecordingColumn::Name)] = newName;
    emit dataChanged(index, index);
    return true;
}

void RecordingsModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kRecordingColumnCount) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::string> keys;
    keys.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) {
        keys.push_back(item(index.row()).name() + '\n' + item(index.row()).format());
    }
    SortRecordings(m_items, static_cast<RecordingColumn>(column), order == Qt::AscendingOrder);
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const std::size_t cut = keys[static_cast<std::size_t>(i)].find('\n');
        const int row = rowOf(keys[static_cast<std::size_t>(i)].substr(0, cut),
                              keys[static_cast<std::size_t>(i)].substr(cut + 1));
        after.push_back(index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void RecordingsModel::Clear() {
    beginResetModel();
    m_items.clear();
    endResetModel();
}

void RecordingsModel::Append(std::vector<RecordingItem> items) {
    if (items.empty()) {
        return;
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(items.size()) - 1);
    for (RecordingItem& item : items) {
        m_items.push_back(std::move(item));
    }
    endInsertRows();
}

void RecordingsModel::Put(RecordingItem item, RecordingColumn sortColumn, bool ascending) {
    if (const int row = rowOf(item.name(), item.format()); row >= 0) {
        m_items[static_cast<std::size_t>(row)] = std::move(item);
        emit dataChanged(index(row, 0), index(row, kRecordingColumnCount - 1));
        return;
    }
    const auto place = std::upper_bound(
        m_items.begin(), m_items.end(), item, [&](const RecordingItem& a, const RecordingItem& b) {
            return CompareRecordingTexts(a.text(sortColumn), b.text(sortColumn), ascending) < 0;
        });
    const int row = static_cast<int>(place - m_items.begin());
    beginInsertRows({}, row, row);
    m_items.insert(place, std::move(item));
    endInsertRows();
}

void RecordingsModel::Remove(const std::string& name, const std::string& format) {
    if (const int row = rowOf(name, format); row >= 0) {
        beginRemoveRows({}, row, row);
        m_items.erase(m_items.begin() + row);
        endRemoveRows();
    }
}

int RecordingsModel::rowOf(const std::string& name, const std::string& format) const {
    for (std::size_t row = 0; row < m_items.size(); ++row) {
        if (m_items[row].name() == name && m_items[row].format() == format) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void RecordingsModel::AddFoundTime(const std::string& name, const std::string& format,
                                   const std::string& time) {
    const int row = rowOf(name, format);
    if (row < 0) {
        return;
    }
    constexpr int kColumn = static_cast<int>(RecordingColumn::KeywordFoundAt);
    std::string& text = m_items[static_cast<std::size_t>(row)].texts[kColumn];
    text = AppendFoundTime(text, time);
    emit dataChanged(index(row, kColumn), index(row, kColumn));
}

}  // namespace sonaro
