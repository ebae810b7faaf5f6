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

// A search on its way: the channels found so far, group by group.
struct ChannelTreeModel::Search {
    std::u32string needle;
    bool withinShown = false; // narrows what is shown already
    std::vector<std::vector<int>> found;
    int group = 0;
    size_t position = 0;
    std::u32string scratch;
};

ChannelTreeModel::ChannelTreeModel(ChannelIndex& index, std::vector<char> chosen,
                                   bool onePerAddress, ChannelEdits edits, QObject* parent)
    : QAbstractItemModel(parent), m_index(index), m_onePerAddress(onePerAddress),
      m_groupChosen(size_t(index.groupCount()), 0), m_edits(std::move(edits)),
      m_slice(new QTimer(this)) {
    m_chosen.assign(size_t(index.blockCount()), 0);
    for (int block = 0; block < index.blockCount(); ++block)
        setChosen(block,
                  chosen.empty() || (size_t(block) < chosen.size() && chosen[size_t(block)]));
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
    showAllGroups();
    m_slice->setSingleShot(true);
    connect(m_slice, &QTimer::timeout, this, [this] { guarded([this] { runSearch(); }); });
}

ChannelTreeModel::~ChannelTreeModel() = default;

const std::vector<int>& ChannelTreeModel::shownBlocks(int group) const {
    return m_narrowed ? m_shown[size_t(group)] : m_edits.channelOrder[size_t(group)];
}

void ChannelTreeModel::showAllGroups() {
    m_rows = m_edits.groupOrder;
    m_rowOf.assign(size_t(m_index.groupCount()), -1);
    for (size_t row = 0; row < m_rows.size(); ++row)
        m_rowOf[size_t(m_rows[row])] = int(row);
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

int ChannelTreeModel::groupAt(const QModelIndex& index) const {
    return m_rows[size_t(index.row())];
}

QModelIndex ChannelTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < int(m_rows.size()) ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    if (parent.internalId() != 0 || row >= int(shownBlocks(groupAt(parent)).size()))
        return {};
    // A channel row keeps the number of its group, plus one: a group that
    // moves takes its rows along unchanged.
    return createIndex(row, 0, quintptr(groupAt(parent)) + 1);
}

QModelIndex ChannelTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0)
        return {};
    const int row = m_rowOf[size_t(child.internalId() - 1)];
    return row < 0 ? QModelIndex() : createIndex(row, 0, quintptr(0));
}

int ChannelTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return int(m_rows.size());
    if (parent.internalId() != 0)
        return 0;
    return int(shownBlocks(groupAt(parent)).size());
}

int ChannelTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

Qt::CheckState ChannelTreeModel::groupState(int group) const {
    const int chosen = m_groupChosen[size_t(group)];
    if (chosen == 0)
        return Qt::Unchecked;
    return chosen == int(m_index.groupBlocks(group).size()) ? Qt::Checked : Qt::PartiallyChecked;
}

QVariant ChannelTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (index.internalId() == 0) {
        const int group = groupAt(index);
        if (role == Qt::DisplayRole) {
            const QString name = groupNameOf(group);
            return QStringLiteral("%1 (%2)")
                .arg(name.isEmpty() ? QStringLiteral("(без группы)") : name)
                .arg(m_index.groupBlocks(group).size());
        }
        if (role == Qt::EditRole)
            return groupNameOf(group);
        if (role == Qt::CheckStateRole)
            return groupState(group);
        return {};
    }
    const int group = int(index.internalId() - 1);
    const int block = shownBlocks(group)[size_t(index.row())];
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
    // Rows are dragged to a new place, but not while a search narrows them.
    if (!m_narrowed)
        flags |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    // The blocks without a group have no group name to change.
    if (index.internalId() != 0 || !m_index.groupName(groupAt(index)).isEmpty())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool ChannelTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid())
        return false;
    if (role == Qt::EditRole) {
        // An empty name, or the playlist's own, is no rename.
        const QString name = value.toString().trimmed();
        if (index.internalId() == 0) {
            const int group = groupAt(index);
            if (name.isEmpty() || name == m_index.groupName(group))
                m_edits.groupNames.remove(group);
            else
                m_edits.groupNames.insert(group, name);
        } else {
            const int block = shownBlocks(int(index.internalId() - 1))[size_t(index.row())];
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
    if (index.internalId() == 0) {
        // A group's box acts on the channels the tree shows of it.
        const std::vector<int>& blocks = shownBlocks(groupAt(index));
        for (int block : blocks)
            setChosen(block, chosen);
        emit dataChanged(index, index, {Qt::CheckStateRole});
        if (!blocks.empty())
            emit dataChanged(this->index(0, 0, index),
                             this->index(int(blocks.size()) - 1, 0, index), {Qt::CheckStateRole});
    } else {
        setChosen(shownBlocks(int(index.internalId() - 1))[size_t(index.row())], chosen);
        emit dataChanged(index, index, {Qt::CheckStateRole});
        const QModelIndex group = parent(index);
        emit dataChanged(group, group, {Qt::CheckStateRole});
    }
    emit chosenCountChanged();
    return true;
}

void ChannelTreeModel::setChosen(int block, bool chosen) {
    char& flag = m_chosen[size_t(block)];
    if (bool(flag) == chosen)
        return;
    flag = chosen;
    m_groupChosen[size_t(m_index.groupOf(block))] += chosen ? 1 : -1;
    m_chosenChannels = -1;
}

void ChannelTreeModel::setShownChecked(bool checked) {
    for (int group : m_rows)
        for (int block : shownBlocks(group))
            setChosen(block, checked);
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, 0), {Qt::CheckStateRole});
    for (int row = 0; row < int(m_rows.size()); ++row) {
        const int count = int(shownBlocks(m_rows[size_t(row)]).size());
        const QModelIndex group = index(row, 0);
        if (count > 0)
            emit dataChanged(index(0, 0, group), index(count - 1, 0, group), {Qt::CheckStateRole});
    }
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

QModelIndex ChannelTreeModel::moveTo(const QModelIndex& row, int before) {
    if (!row.isValid() || m_narrowed || m_search)
        return {};
    const QModelIndex parent = this->parent(row);
    const int from = row.row();
    if (before < 0 || before > rowCount(parent) || before == from || before == from + 1 ||
        !beginMoveRows(parent, from, from, parent, before))
        return {};
    // The rows between shift by one: a rotation, whatever the distance.
    const auto rotate = [&](std::vector<int>& items) {
        const auto at = items.begin();
        if (before > from)
            std::rotate(at + from, at + from + 1, at + before);
        else
            std::rotate(at + before, at + from, at + from + 1);
    };
    if (!parent.isValid()) {
        rotate(m_edits.groupOrder);
        rotate(m_rows);
        for (int k = std::min(from, before); k <= std::max(from, before - 1); ++k)
            m_rowOf[size_t(m_rows[size_t(k)])] = k;
    } else {
        rotate(m_edits.channelOrder[size_t(groupAt(parent))]);
    }
    endMoveRows();
    return index(before > from ? before - 1 : before, 0, parent);
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
    // The row dragged: its group's number (or -1 for a group) and its row.
    const QModelIndex& row = indexes.first();
    const int group = row.internalId() == 0 ? -1 : int(row.internalId() - 1);
    auto* mime = new QMimeData;
    mime->setData(kRowMime, QByteArray::number(group) + ' ' + QByteArray::number(row.row()));
    return mime;
}

QModelIndex ChannelTreeModel::draggedRow(const QMimeData* mime) const {
    if (!mime || !mime->hasFormat(kRowMime))
        return {};
    const QList<QByteArray> parts = mime->data(kRowMime).split(' ');
    if (parts.size() != 2)
        return {};
    const int group = parts[0].toInt();
    const int row = parts[1].toInt();
    if (group < 0)
        return index(row, 0);
    if (group >= int(m_rowOf.size()) || m_rowOf[size_t(group)] < 0)
        return {};
    return index(row, 0, index(m_rowOf[size_t(group)], 0));
}

// Where a dropped row goes, as the row it goes before in its own parent: a
// group among the groups, a channel within its own group only.
int ChannelTreeModel::dropRow(const QModelIndex& dragged, int row,
                              const QModelIndex& parent) const {
    if (!dragged.isValid())
        return -1;
    if (dragged.internalId() == 0) {
        if (!parent.isValid())
            return row < 0 ? rowCount() : row;
        return parent.internalId() == 0 ? parent.row() : this->parent(parent).row();
    }
    const int group = int(dragged.internalId() - 1);
    if (!parent.isValid())
        return -1;
    if (parent.internalId() == 0) // between its group's channels, or on the group: its top
        return groupAt(parent) == group ? std::max(row, 0) : -1;
    // On a channel of its group: in its place.
    return int(parent.internalId() - 1) == group ? parent.row() : -1;
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
    search->found.resize(size_t(m_index.groupCount()));
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
    for (; search.group < m_index.groupCount(); ++search.group, search.position = 0) {
        const std::vector<int>& blocks = search.withinShown
                                             ? m_shown[size_t(search.group)]
                                             : m_edits.channelOrder[size_t(search.group)];
        std::vector<int>& found = search.found[size_t(search.group)];
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
    m_rows.clear();
    m_rowOf.assign(size_t(m_index.groupCount()), -1);
    m_shownCount = 0;
    for (int group : m_edits.groupOrder) {
        const int count = int(m_shown[size_t(group)].size());
        if (count > 0) {
            m_rowOf[size_t(group)] = int(m_rows.size());
            m_rows.push_back(group);
        }
        m_shownCount += count;
    }
    endResetModel();
    emit searchDone();
}

// ---------------------------------------------------------------------------

ChannelsDialog::ChannelsDialog(ChannelIndex& index, std::vector<char> chosen, bool onePerAddress,
                               ChannelEdits edits, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ChannelsDialog"));
    setWindowTitle(QStringLiteral("Channels"));
    const bool takeNewGroups = edits.takeNewGroups;
    m_model = new ChannelTreeModel(index, std::move(chosen), onePerAddress, std::move(edits), this);

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("tree"));
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setModel(m_model);
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
