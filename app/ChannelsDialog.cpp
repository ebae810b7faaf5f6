#include "app/ChannelsDialog.h"

#include "app/Guard.h"
#include "convert/Choice.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace dorvane {

namespace {

// A slice of a search takes about this long, so that the window's events
// wait no more than that between two slices.
constexpr qint64 kSliceMilliseconds = 15;

// Below this many shown channels, a search opens every group it leaves.
constexpr int kExpandLimit = 5000;

std::function<void(ChannelsDialog&)>& driverSeam() {
    static std::function<void(ChannelsDialog&)> driver;
    return driver;
}

std::u32string folded(const QString& text) {
    std::u32string out;
    appendCaseFolded(QStringView(text), out);
    return out;
}

} // namespace

// A search on its way: the channels found so far, part by part.
struct ChannelTreeModel::Search {
    std::u32string needle;
    bool withinShown = false; // narrows what is shown already
    std::vector<std::vector<int>> found;
    int part = 0;
    size_t position = 0;
    std::u32string scratch;
};

ChannelTreeModel::ChannelTreeModel(ChannelIndex& index, std::vector<char> chosen,
                                   bool onePerAddress, ChannelEdits edits,
                                   std::vector<ChannelSource> sources, QObject* parent)
    : QAbstractItemModel(parent), m_index(index), m_onePerAddress(onePerAddress),
      m_edits(std::move(edits)), m_slice(new QTimer(this)) {
    // One source is no level of its own: the tree is as it always was.
    if (sources.size() > 1) {
        m_sources = std::move(sources);
        m_sources.front().firstBlock = 0;
    }
    // The orders are kept whole here, so that a move swaps two numbers.
    if (m_edits.groupOrder.size() != size_t(index.groupCount())) {
        m_edits.groupOrder.resize(size_t(index.groupCount()));
        for (int group = 0; group < index.groupCount(); ++group)
            m_edits.groupOrder[size_t(group)] = group;
    }
    if (m_edits.channelOrder.size() != size_t(index.groupCount())) {
        m_edits.channelOrder.resize(size_t(index.groupCount()));
        for (int group = 0; group < index.groupCount(); ++group)
            m_edits.channelOrder[size_t(group)] = index.groupBlocks(group);
    }
    buildParts();
    m_partChosen.assign(size_t(partCount()), 0);
    m_sourceChosen.assign(std::max<size_t>(m_sources.size(), 1), 0);
    m_chosen.assign(size_t(index.blockCount()), 0);
    for (int block = 0; block < index.blockCount(); ++block)
        setChosen(block,
                  chosen.empty() || (size_t(block) < chosen.size() && chosen[size_t(block)]));
    showAllGroups();
    m_slice->setSingleShot(true);
    connect(m_slice, &QTimer::timeout, this, [this] { guarded([this] { runSearch(); }); });
}

ChannelTreeModel::~ChannelTreeModel() = default;

void ChannelTreeModel::buildParts() {
    if (!bySource())
        return;
    m_partGroup.clear();
    m_partSource.clear();
    m_groupParts.assign(size_t(m_index.groupCount()), {});
    // A group's blocks stand in the index's order, and each source's
    // blocks follow the one before's: a group's parts come source by source.
    for (int group = 0; group < m_index.groupCount(); ++group) {
        int last = -1;
        for (int block : m_index.groupBlocks(group)) {
            const int source = sourceOf(block);
            if (source == last)
                continue;
            last = source;
            m_groupParts[size_t(group)].push_back(int(m_partGroup.size()));
            m_partGroup.push_back(group);
            m_partSource.push_back(source);
        }
    }
    m_partBlocks.assign(m_partGroup.size(), {});
    for (const std::vector<int>& blocks : m_edits.channelOrder)
        for (int block : blocks)
            m_partBlocks[size_t(partOf(block))].push_back(block);
}

int ChannelTreeModel::partCount() const {
    return bySource() ? int(m_partGroup.size()) : m_index.groupCount();
}

int ChannelTreeModel::sourceOf(int block) const {
    if (!bySource())
        return 0;
    const auto after = std::upper_bound(
        m_sources.begin(), m_sources.end(), block,
        [](int at, const ChannelSource& source) { return at < source.firstBlock; });
    return std::max(0, int(after - m_sources.begin()) - 1);
}

int ChannelTreeModel::partOf(int block) const {
    const int group = m_index.groupOf(block);
    if (!bySource())
        return group;
    const int source = sourceOf(block);
    for (int part : m_groupParts[size_t(group)])
        if (m_partSource[size_t(part)] == source)
            return part;
    return m_groupParts[size_t(group)].front(); // not reached: every block is in a part
}

int ChannelTreeModel::blocksOfSource(int source) const {
    const int end = size_t(source) + 1 < m_sources.size() ? m_sources[size_t(source) + 1].firstBlock
                                                          : m_index.blockCount();
    return std::max(0, end - m_sources[size_t(source)].firstBlock);
}

const std::vector<int>& ChannelTreeModel::partBlocks(int part) const {
    return bySource() ? m_partBlocks[size_t(part)] : m_edits.channelOrder[size_t(part)];
}

const std::vector<int>& ChannelTreeModel::shownBlocks(int part) const {
    return m_narrowed ? m_shown[size_t(part)] : partBlocks(part);
}

std::vector<int> ChannelTreeModel::partsInOrder(int source) const {
    if (!bySource())
        return m_edits.groupOrder;
    std::vector<int> parts;
    for (int group : m_edits.groupOrder)
        for (int part : m_groupParts[size_t(group)])
            if (m_partSource[size_t(part)] == source)
                parts.push_back(part);
    return parts;
}

void ChannelTreeModel::showAllGroups() {
    m_rows.assign(std::max<size_t>(m_sources.size(), 1), {});
    m_rowOf.assign(size_t(partCount()), -1);
    for (size_t source = 0; source < m_rows.size(); ++source) {
        m_rows[source] = partsInOrder(int(source));
        for (size_t row = 0; row < m_rows[source].size(); ++row)
            m_rowOf[size_t(m_rows[source][row])] = int(row);
    }
    m_shownCount = m_index.blockCount();
}

QString ChannelTreeModel::nameOf(int block) const {
    const auto at = m_edits.names.constFind(block);
    return at != m_edits.names.cend() ? *at : m_index.name(block).toString();
}

QString ChannelTreeModel::groupNameOf(int group) const {
    const auto at = m_edits.groupNames.constFind(group);
    return at != m_edits.groupNames.cend() ? *at : m_index.groupName(group).toString();
}

bool ChannelTreeModel::isSourceRow(const QModelIndex& index) const {
    return index.isValid() && bySource() && index.internalId() == 0;
}

bool ChannelTreeModel::isPartRow(const QModelIndex& index) const {
    return index.isValid() && (bySource() ? index.internalId() % 2 == 1 : index.internalId() == 0);
}

int ChannelTreeModel::partAt(const QModelIndex& index) const {
    const size_t source = bySource() ? size_t(index.internalId() - 1) / 2 : 0;
    return m_rows[source][size_t(index.row())];
}

QModelIndex ChannelTreeModel::sourceIndex(int source) const {
    return bySource() ? createIndex(source, 0, quintptr(0)) : QModelIndex();
}

QModelIndex ChannelTreeModel::partIndex(int part) const {
    const int row = m_rowOf[size_t(part)];
    if (row < 0)
        return {};
    return createIndex(row, 0, bySource() ? quintptr(sourceOfPart(part)) * 2 + 1 : quintptr(0));
}

QModelIndex ChannelTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid()) {
        const size_t top = bySource() ? m_sources.size() : m_rows.front().size();
        return size_t(row) < top ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    }
    if (isSourceRow(parent))
        return size_t(row) < m_rows[size_t(parent.row())].size()
                   ? createIndex(row, 0, quintptr(parent.row()) * 2 + 1)
                   : QModelIndex();
    if (!isPartRow(parent))
        return {};
    // A channel row keeps the number of its part: a group that moves takes
    // its rows along unchanged.
    const int part = partAt(parent);
    if (row >= int(shownBlocks(part).size()))
        return {};
    return createIndex(row, 0, quintptr(part) * 2 + 2);
}

QModelIndex ChannelTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0)
        return {};
    if (child.internalId() % 2 == 1)
        return sourceIndex(int(child.internalId() - 1) / 2);
    return partIndex(int(child.internalId() - 2) / 2);
}

int ChannelTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return bySource() ? int(m_sources.size()) : int(m_rows.front().size());
    if (isSourceRow(parent))
        return int(m_rows[size_t(parent.row())].size());
    if (isPartRow(parent))
        return int(shownBlocks(partAt(parent)).size());
    return 0;
}

int ChannelTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

Qt::CheckState ChannelTreeModel::partState(int part) const {
    const int chosen = m_partChosen[size_t(part)];
    if (chosen == 0)
        return Qt::Unchecked;
    return chosen == int(partBlocks(part).size()) ? Qt::Checked : Qt::PartiallyChecked;
}

Qt::CheckState ChannelTreeModel::sourceState(int source) const {
    const int chosen = m_sourceChosen[size_t(source)];
    if (chosen == 0)
        return Qt::Unchecked;
    return chosen == blocksOfSource(source) ? Qt::Checked : Qt::PartiallyChecked;
}

QVariant ChannelTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (isSourceRow(index)) {
        const int source = index.row();
        if (role == Qt::DisplayRole)
            return QStringLiteral("%1 (%2)")
                .arg(m_sources[size_t(source)].name)
                .arg(blocksOfSource(source));
        if (role == Qt::CheckStateRole)
            return sourceState(source);
        return {};
    }
    if (isPartRow(index)) {
        const int part = partAt(index);
        const int group = groupOfPart(part);
        if (role == Qt::DisplayRole) {
            const QString name = groupNameOf(group);
            return QStringLiteral("%1 (%2)")
                .arg(name.isEmpty() ? QStringLiteral("(без группы)") : name)
                .arg(partBlocks(part).size());
        }
        if (role == Qt::EditRole)
            return groupNameOf(group);
        if (role == Qt::CheckStateRole)
            return partState(part);
        return {};
    }
    const int part = int(index.internalId() - 2) / 2;
    const int block = shownBlocks(part)[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return nameOf(block);
    if (role == Qt::CheckStateRole)
        return m_chosen[size_t(block)] ? Qt::Checked : Qt::Unchecked;
    return {};
}

Qt::ItemFlags ChannelTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    // A source keeps its place: the recipe reads the sources in their order.
    if (isSourceRow(index))
        return m_narrowed ? flags : flags | Qt::ItemIsDropEnabled;
    // Rows are dragged to a new place, but not while a search narrows them.
    if (!m_narrowed)
        flags |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    // The blocks without a group have no group name to change.
    if (!isPartRow(index) || !m_index.groupName(groupOfPart(partAt(index))).isEmpty())
        flags |= Qt::ItemIsEditable;
    return flags;
}

void ChannelTreeModel::checksChanged(const QModelIndex& parent) {
    if (parent.isValid())
        emit dataChanged(parent, parent, {Qt::CheckStateRole});
    const int rows = rowCount(parent);
    if (rows == 0)
        return;
    emit dataChanged(index(0, 0, parent), index(rows - 1, 0, parent), {Qt::CheckStateRole});
    // Channel rows have none under them.
    if (!parent.isValid() || isSourceRow(parent))
        for (int row = 0; row < rows; ++row) {
            const QModelIndex child = index(row, 0, parent);
            if (rowCount(child) > 0)
                emit dataChanged(index(0, 0, child), index(rowCount(child) - 1, 0, child),
                                 {Qt::CheckStateRole});
            if (isSourceRow(child))
                for (int k = 0; k < rowCount(child); ++k) {
                    const QModelIndex group = index(k, 0, child);
                    if (const int channels = rowCount(group); channels > 0)
                        emit dataChanged(index(0, 0, group), index(channels - 1, 0, group),
                                         {Qt::CheckStateRole});
                }
        }
}

bool ChannelTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid())
        return false;
    if (role == Qt::EditRole) {
        if (isSourceRow(index))
            return false;
        // An empty name, or the playlist's own, is no rename.
        const QString name = value.toString().trimmed();
        if (isPartRow(index)) {
            const int group = groupOfPart(partAt(index));
            if (name.isEmpty() || name == m_index.groupName(group))
                m_edits.groupNames.remove(group);
            else
                m_edits.groupNames.insert(group, name);
            // One group, one name: under every source that has it.
            if (bySource())
                for (int part : m_groupParts[size_t(group)])
                    if (const QModelIndex row = partIndex(part); row.isValid())
                        emit dataChanged(row, row, {Qt::DisplayRole, Qt::EditRole});
        } else {
            const int block = shownBlocks(int(index.internalId() - 2) / 2)[size_t(index.row())];
            if (name.isEmpty() || name == m_index.name(block))
                m_edits.names.remove(block);
            else
                m_edits.names.insert(block, name);
        }
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
        return true;
    }
    if (role != Qt::CheckStateRole)
        return false;
    const bool chosen = value.toInt() == Qt::Checked;
    if (isSourceRow(index)) {
        // A source's box acts on the channels the tree shows of it.
        for (int part : m_rows[size_t(index.row())])
            for (int block : shownBlocks(part))
                setChosen(block, chosen);
        checksChanged(index);
    } else if (isPartRow(index)) {
        // A group's box acts on the channels the tree shows of it.
        for (int block : shownBlocks(partAt(index)))
            setChosen(block, chosen);
        checksChanged(index);
    } else {
        setChosen(shownBlocks(int(index.internalId() - 2) / 2)[size_t(index.row())], chosen);
        emit dataChanged(index, index, {Qt::CheckStateRole});
    }
    // The boxes above it follow.
    for (QModelIndex above = parent(index); above.isValid(); above = parent(above))
        emit dataChanged(above, above, {Qt::CheckStateRole});
    emit chosenCountChanged();
    return true;
}

void ChannelTreeModel::setChosen(int block, bool chosen) {
    char& flag = m_chosen[size_t(block)];
    if (bool(flag) == chosen)
        return;
    flag = chosen;
    m_partChosen[size_t(partOf(block))] += chosen ? 1 : -1;
    m_sourceChosen[size_t(sourceOf(block))] += chosen ? 1 : -1;
    m_chosenChannels = -1;
}

void ChannelTreeModel::setShownChecked(bool checked) {
    for (const std::vector<int>& parts : m_rows)
        for (int part : parts)
            for (int block : shownBlocks(part))
                setChosen(block, checked);
    checksChanged(QModelIndex());
    emit chosenCountChanged();
}

void ChannelTreeModel::setOnePerAddress(bool on) {
    if (on == m_onePerAddress)
        return;
    m_onePerAddress = on;
    m_chosenChannels = -1;
    emit chosenCountChanged();
}

QModelIndex ChannelTreeModel::move(const QModelIndex& row, int by) {
    if (!row.isValid() || (by != -1 && by != 1))
        return {};
    const int to = row.row() + by;
    if (to < 0 || to >= rowCount(parent(row)))
        return {};
    // Qt names the row a moved row goes before: one further on the way down.
    return moveTo(row, by > 0 ? to + 1 : to);
}

void ChannelTreeModel::placeAsShown(std::vector<int>& order, const std::vector<int>& shown,
                                    size_t at, const std::function<int(int)>& itemOf) {
    const int item = itemOf(shown[at]);
    order.erase(std::find(order.begin(), order.end(), item));
    if (at + 1 < shown.size())
        order.insert(std::find(order.begin(), order.end(), itemOf(shown[at + 1])), item);
    else
        order.insert(std::find(order.begin(), order.end(), itemOf(shown[at - 1])) + 1, item);
}

QModelIndex ChannelTreeModel::moveTo(const QModelIndex& row, int before) {
    if (!row.isValid() || isSourceRow(row) || m_narrowed || m_search)
        return {};
    const QModelIndex parent = this->parent(row);
    const int from = row.row();
    if (before < 0 || before > rowCount(parent) || before == from || before == from + 1 ||
        !beginMoveRows(parent, from, from, parent, before))
        return {};
    const int to = before > from ? before - 1 : before;
    // The rows between shift by one: a rotation, whatever the distance.
    const auto rotate = [&](std::vector<int>& items) {
        const auto at = items.begin();
        if (before > from)
            std::rotate(at + from, at + from + 1, at + before);
        else
            std::rotate(at + before, at + from, at + from + 1);
    };
    std::vector<int> sharedParts; // of the group moved, under other sources
    if (isPartRow(row)) {
        const size_t source = size_t(sourceOfPart(partAt(row)));
        std::vector<int>& rows = m_rows[source];
        rotate(rows);
        for (int k = std::min(from, before); k <= std::max(from, before - 1); ++k)
            m_rowOf[size_t(rows[size_t(k)])] = k;
        if (!bySource()) {
            rotate(m_edits.groupOrder);
        } else {
            // Among all groups, the group goes beside its new neighbour.
            const int moved = groupOfPart(rows[size_t(to)]);
            placeAsShown(m_edits.groupOrder, rows, size_t(to),
                         [this](int part) { return groupOfPart(part); });
            for (int part : m_groupParts[size_t(moved)])
                if (sourceOfPart(part) != int(source))
                    sharedParts.push_back(part);
        }
    } else {
        const int part = int(row.internalId() - 2) / 2;
        if (!bySource()) {
            rotate(m_edits.channelOrder[size_t(part)]);
        } else {
            std::vector<int>& blocks = m_partBlocks[size_t(part)];
            rotate(blocks);
            placeAsShown(m_edits.channelOrder[size_t(groupOfPart(part))], blocks, size_t(to),
                         [](int block) { return block; });
        }
    }
    endMoveRows();
    // A group two sources share has one place among the groups: under the
    // other sources it moves along.
    for (int part : sharedParts) {
        const int source = sourceOfPart(part);
        std::vector<int> rows = partsInOrder(source);
        const int was = m_rowOf[size_t(part)];
        const int now = int(std::find(rows.begin(), rows.end(), part) - rows.begin());
        if (was == now)
            continue;
        const QModelIndex under = sourceIndex(source);
        if (!beginMoveRows(under, was, was, under, now > was ? now + 1 : now))
            continue;
        m_rows[size_t(source)] = std::move(rows);
        for (int k = std::min(was, now); k <= std::max(was, now); ++k)
            m_rowOf[size_t(m_rows[size_t(source)][size_t(k)])] = k;
        endMoveRows();
    }
    return index(to, 0, parent);
}

namespace {
const QString kRowMime = QStringLiteral("application/x-dorvane-channel-row");
}

Qt::DropActions ChannelTreeModel::supportedDropActions() const {
    return Qt::MoveAction;
}

QStringList ChannelTreeModel::mimeTypes() const {
    return {kRowMime};
}

QMimeData* ChannelTreeModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.size() != 1 || !indexes.first().isValid())
        return nullptr;
    // The row dragged: its internal id, which names its parent, and its row.
    const QModelIndex& row = indexes.first();
    auto* mime = new QMimeData;
    mime->setData(kRowMime, QByteArray::number(quint64(row.internalId())) + ' ' +
                                QByteArray::number(row.row()));
    return mime;
}

QModelIndex ChannelTreeModel::draggedRow(const QMimeData* mime) const {
    if (!mime || !mime->hasFormat(kRowMime))
        return {};
    const QList<QByteArray> parts = mime->data(kRowMime).split(' ');
    if (parts.size() != 2)
        return {};
    bool ok = false;
    const quint64 id = parts[0].toULongLong(&ok);
    const int row = parts[1].toInt();
    if (!ok)
        return {};
    if (id == 0)
        return index(row, 0);
    if (id % 2 == 1) {
        const quint64 source = (id - 1) / 2;
        return bySource() && source < m_sources.size() ? index(row, 0, sourceIndex(int(source)))
                                                       : QModelIndex();
    }
    const quint64 part = (id - 2) / 2;
    if (part >= quint64(partCount()))
        return {};
    const QModelIndex group = partIndex(int(part));
    return group.isValid() ? index(row, 0, group) : QModelIndex();
}

// Where a dropped row goes, as the row it goes before in its own parent: a
// group among the groups of its source, a channel within its own group only.
int ChannelTreeModel::dropRow(const QModelIndex& dragged, int row,
                              const QModelIndex& parent) const {
    if (!dragged.isValid() || isSourceRow(dragged))
        return -1;
    if (isPartRow(dragged)) {
        const QModelIndex own = this->parent(dragged);
        if (parent == own)
            return row < 0 ? rowCount(own) : row;
        // On a group, or a channel of a group, of the same source: its place.
        const QModelIndex group = isPartRow(parent) ? parent : this->parent(parent);
        return parent.isValid() && isPartRow(group) && this->parent(group) == own ? group.row()
                                                                                  : -1;
    }
    const int part = int(dragged.internalId() - 2) / 2;
    if (!parent.isValid() || isSourceRow(parent))
        return -1;
    if (isPartRow(parent)) // between its group's channels, or on the group: its top
        return partAt(parent) == part ? std::max(row, 0) : -1;
    // On a channel of its group: in its place.
    return int(parent.internalId() - 2) / 2 == part ? parent.row() : -1;
}

bool ChannelTreeModel::canDropMimeData(const QMimeData* mime, Qt::DropAction action, int row, int,
                                       const QModelIndex& parent) const {
    return action == Qt::MoveAction && !m_narrowed && dropRow(draggedRow(mime), row, parent) >= 0;
}

bool ChannelTreeModel::dropMimeData(const QMimeData* mime, Qt::DropAction action, int row,
                                    int column, const QModelIndex& parent) {
    if (!canDropMimeData(mime, action, row, column, parent))
        return false;
    const QModelIndex dragged = draggedRow(mime);
    moveTo(dragged, dropRow(dragged, row, parent));
    // The move is done: the view has nothing to remove.
    return false;
}

void ChannelTreeModel::sortByName() {
    beginResetModel();
    sortItemsByName(m_edits.groupOrder, [this](int group) { return groupNameOf(group); });
    for (std::vector<int>& blocks : m_edits.channelOrder)
        sortItemsByName(blocks, [this](int block) { return nameOf(block); });
    m_edits.sortByName = true;
    buildParts();
    showAllGroups();
    endResetModel();
}

void ChannelTreeModel::sourceOrder() {
    beginResetModel();
    for (int group = 0; group < m_index.groupCount(); ++group) {
        m_edits.groupOrder[size_t(group)] = group;
        m_edits.channelOrder[size_t(group)] = m_index.groupBlocks(group);
    }
    m_edits.sortByName = false;
    buildParts();
    showAllGroups();
    endResetModel();
}

ChannelEdits ChannelTreeModel::edits() const {
    ChannelEdits edits = m_edits;
    // Orders that are the playlist's, unsorted, say nothing.
    if (!edits.sortByName) {
        bool same = true;
        for (int group = 0; same && group < m_index.groupCount(); ++group)
            same = edits.groupOrder[size_t(group)] == group &&
                   edits.channelOrder[size_t(group)] == m_index.groupBlocks(group);
        if (same) {
            edits.groupOrder.clear();
            edits.channelOrder.clear();
        }
    }
    return edits;
}

int ChannelTreeModel::chosenCount() const {
    // Taken over the whole choice, as the lines it keeps are counted: how a
    // block counts depends on the block kept before it.
    if (m_chosenChannels < 0)
        m_chosenChannels = m_index.channelCount(m_chosen, m_onePerAddress);
    return m_chosenChannels;
}

int ChannelTreeModel::totalCount() const {
    return m_index.totalChannels();
}

bool ChannelTreeModel::searching() const {
    return m_search != nullptr;
}

void ChannelTreeModel::setSearch(const QString& text) {
    m_slice->stop();
    m_search.reset();
    std::u32string needle = folded(text);
    if (needle.empty()) {
        if (m_narrowed) {
            beginResetModel();
            m_narrowed = false;
            m_shown.clear();
            m_needle.clear();
            showAllGroups();
            endResetModel();
        }
        emit searchDone();
        return;
    }
    auto search = std::make_unique<Search>();
    // A longer text finds among what a shorter one inside it found.
    search->withinShown = m_narrowed && needle.find(m_needle) != std::u32string::npos;
    search->needle = std::move(needle);
    search->found.resize(size_t(partCount()));
    m_search = std::move(search);
    runSearch();
}

void ChannelTreeModel::runSearch() {
    if (!m_search)
        return;
    Search& search = *m_search;
    QElapsedTimer clock;
    clock.start();
    unsigned looked = 0;
    for (; search.part < partCount(); ++search.part, search.position = 0) {
        const std::vector<int>& blocks =
            search.withinShown ? m_shown[size_t(search.part)] : partBlocks(search.part);
        std::vector<int>& found = search.found[size_t(search.part)];
        const bool renamed = !m_edits.names.isEmpty();
        while (search.position < blocks.size()) {
            const int block = blocks[search.position++];
            const auto at = renamed ? m_edits.names.constFind(block) : m_edits.names.cend();
            if (containsFolded(at != m_edits.names.cend() ? QStringView(*at) : m_index.name(block),
                               search.needle, search.scratch))
                found.push_back(block);
            if ((++looked & 255) == 0 && clock.elapsed() >= kSliceMilliseconds) {
                m_slice->start(0);
                return;
            }
        }
    }
    finishSearch();
}

void ChannelTreeModel::finishSearch() {
    std::unique_ptr<Search> search = std::move(m_search);
    beginResetModel();
    m_narrowed = true;
    m_needle = std::move(search->needle);
    m_shown = std::move(search->found);
    m_rows.assign(std::max<size_t>(m_sources.size(), 1), {});
    m_rowOf.assign(size_t(partCount()), -1);
    m_shownCount = 0;
    // The sources stay, the groups left without a channel go.
    for (size_t source = 0; source < m_rows.size(); ++source)
        for (int part : partsInOrder(int(source))) {
            const int count = int(m_shown[size_t(part)].size());
            if (count > 0) {
                m_rowOf[size_t(part)] = int(m_rows[source].size());
                m_rows[source].push_back(part);
            }
            m_shownCount += count;
        }
    endResetModel();
    emit searchDone();
}

// ---------------------------------------------------------------------------

ChannelsDialog::ChannelsDialog(ChannelIndex& index, std::vector<char> chosen, bool onePerAddress,
                               ChannelEdits edits, std::vector<ChannelSource> sources,
                               QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ChannelsDialog"));
    setWindowTitle(QStringLiteral("Channels"));
    const bool takeNewGroups = edits.takeNewGroups;
    m_model = new ChannelTreeModel(index, std::move(chosen), onePerAddress, std::move(edits),
                                   std::move(sources), this);

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("tree"));
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setModel(m_model);
    // The sources open on their groups, as the groups would be without them.
    if (m_model->bySource())
        m_tree->expandToDepth(0);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        if (m_model->bySource())
            m_tree->expandToDepth(0);
    });
    m_tree->setCurrentIndex(m_model->index(0, 0));
    // F2 or a double click renames; Esc cancels, as the editor does.
    m_tree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_tree->installEventFilter(this);
    m_tree->setDragDropMode(QAbstractItemView::DragDrop);
    m_tree->setDefaultDropAction(Qt::MoveAction);
    m_tree->setDropIndicatorShown(true);

    m_all = new QPushButton(QStringLiteral("All"), this);
    m_all->setObjectName(QStringLiteral("all"));
    m_none = new QPushButton(QStringLiteral("None"), this);
    m_none->setObjectName(QStringLiteral("none"));
    // Enter is OK wherever the focus stands.
    m_all->setAutoDefault(false);
    m_none->setAutoDefault(false);
    m_onePerAddress = new QCheckBox(QStringLiteral("One channel per address"), this);
    m_onePerAddress->setObjectName(QStringLiteral("onePerAddress"));
    m_onePerAddress->setChecked(onePerAddress);
    m_sortByName = new QPushButton(QStringLiteral("Sort by name"), this);
    m_sortByName->setObjectName(QStringLiteral("sortByName"));
    m_sortByName->setAutoDefault(false);
    m_sourceOrder = new QPushButton(QStringLiteral("Source order"), this);
    m_sourceOrder->setObjectName(QStringLiteral("sourceOrder"));
    m_sourceOrder->setAutoDefault(false);
    m_takeNewGroups = new QCheckBox(QStringLiteral("Take new groups"), this);
    m_takeNewGroups->setObjectName(QStringLiteral("takeNewGroups"));
    m_takeNewGroups->setChecked(takeNewGroups);
    // Shown only for a recipe that names groups or channels the playlist
    // no longer has (offerForgetGone).
    m_forgetGone = new QPushButton(QStringLiteral("Forget gone"), this);
    m_forgetGone->setObjectName(QStringLiteral("forgetGone"));
    m_forgetGone->setAutoDefault(false);
    m_forgetGone->hide();

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("count"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setDefault(true);

    auto* tools = new QHBoxLayout;
    tools->addWidget(m_all);
    tools->addWidget(m_none);
    tools->addStretch();
    tools->addWidget(m_onePerAddress);
    auto* order = new QHBoxLayout;
    order->addWidget(m_sortByName);
    order->addWidget(m_sourceOrder);
    order->addWidget(m_forgetGone);
    order->addStretch();
    order->addWidget(m_takeNewGroups);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_count);
    bottom->addStretch();
    bottom->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_tree, 1);
    layout->addLayout(tools);
    layout->addLayout(order);
    layout->addLayout(bottom);
    resize(460, 520);

    connect(m_search, &QLineEdit::textChanged, this,
            [this](const QString& text) { guarded([&] { m_model->setSearch(text); }); });
    connect(m_all, &QPushButton::clicked, this,
            [this] { guarded([this] { m_model->setShownChecked(true); }); });
    connect(m_none, &QPushButton::clicked, this,
            [this] { guarded([this] { m_model->setShownChecked(false); }); });
    connect(m_onePerAddress, &QCheckBox::toggled, m_model, &ChannelTreeModel::setOnePerAddress);
    connect(m_takeNewGroups, &QCheckBox::toggled, m_model, &ChannelTreeModel::setTakeNewGroups);
    connect(m_forgetGone, &QPushButton::clicked, this, [this] {
        m_forget = true;
        m_forgetGone->setEnabled(false);
        m_forgetGone->setToolTip(QString());
    });
    // The whole order changes: shown without a search, which would narrow it.
    connect(m_sortByName, &QPushButton::clicked, this, [this] {
        guarded([this] {
            m_search->clear();
            m_model->sortByName();
            m_tree->setCurrentIndex(m_model->index(0, 0));
        });
    });
    connect(m_sourceOrder, &QPushButton::clicked, this, [this] {
        guarded([this] {
            m_search->clear();
            m_model->sourceOrder();
            m_tree->setCurrentIndex(m_model->index(0, 0));
        });
    });
    connect(m_model, &ChannelTreeModel::chosenCountChanged, this, &ChannelsDialog::updateCount);
    connect(m_model, &ChannelTreeModel::searchDone, this, &ChannelsDialog::searchDone);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateCount();
}

ChannelsDialog::~ChannelsDialog() = default;

void ChannelsDialog::updateCount() {
    const int chosen = m_model->chosenCount();
    m_count->setText(QStringLiteral("%1 of %2").arg(chosen).arg(m_model->totalCount()));
    // Nothing to convert in an empty choice.
    m_ok->setEnabled(chosen > 0);
}

bool ChannelsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_tree && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (modifiers == Qt::ControlModifier &&
            (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            const int by = key->key() == Qt::Key_Up ? -1 : 1;
            guarded([this, by] { moveCurrent(by); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ChannelsDialog::moveCurrent(int by) {
    const QModelIndex moved = m_model->move(m_tree->currentIndex(), by);
    if (moved.isValid()) {
        m_tree->setCurrentIndex(moved);
        m_tree->scrollTo(moved);
    }
}

void ChannelsDialog::searchDone() {
    if (m_model->shownCount() <= kExpandLimit && !m_search->text().isEmpty())
        m_tree->expandAll();
    m_tree->setCurrentIndex(m_model->index(0, 0));
    // F2 or a double click renames; Esc cancels, as the editor does.
    m_tree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_tree->installEventFilter(this);
    m_tree->setDragDropMode(QAbstractItemView::DragDrop);
    m_tree->setDefaultDropAction(Qt::MoveAction);
    m_tree->setDropIndicatorShown(true);
}

bool ChannelsDialog::execute() {
    if (const auto& driver = driverSeam()) {
        setResult(Rejected);
        show();
        driver(*this);
        const bool accepted = !isVisible() && result() == Accepted;
        hide();
        return accepted;
    }
    return exec() == Accepted;
}

void ChannelsDialog::setDriver(std::function<void(ChannelsDialog&)> driver) {
    driverSeam() = std::move(driver);
}

void ChannelsDialog::offerForgetGone(const QString& names) {
    m_forgetGone->setToolTip(names);
    m_forgetGone->setVisible(!names.isEmpty());
}

} // namespace dorvane
