#pragma once

#include "convert/Recipe.h"

#include <QAbstractItemModel>
#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeView;

namespace dorvane {

class ChannelIndex;

// One of several playlists joined into the one chosen from: its name as the
// window names a playlist, and its first block in the joined index (its
// blocks run up to the next one's first).
struct ChannelSource {
    QString name;
    int firstBlock = 0;
};

// The groups of a playlist with their channels under them, each with a check
// box: a group's is tri-state over its channels. Groups and channels are
// renamed in place and moved one row at a time (ChannelEdits), each a change
// of a row or two, never of the whole tree. A search narrows the tree to
// the channels whose name contains its text in any case; groups left without
// a channel are hidden then. Built for a million channels: the rows are the
// index's own blocks, looked up on demand, and a search runs in slices between
// the window's events.
//
// A playlist joined from several sources shows them as the top rows, each
// with the groups it has channels in and those channels under them: a group
// that two sources share stands under both, each time with that source's
// channels. Its name and its place in the order are one, as in the list
// made: renamed or moved under one source, it is under the other as well.
class ChannelTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    ChannelTreeModel(ChannelIndex& index, std::vector<char> chosen, bool onePerAddress,
                     ChannelEdits edits = {}, std::vector<ChannelSource> sources = {},
                     QObject* parent = nullptr);
    ~ChannelTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Narrows the tree to the names that contain `text`. What can be done
    // within a few milliseconds is done at once; the rest follows in slices,
    // and searchDone tells when the tree shows the outcome.
    void setSearch(const QString& text);
    bool searching() const;
    // Checks or unchecks every channel the tree shows now.
    void setShownChecked(bool checked);
    void setOnePerAddress(bool on);

    // Whether the top rows are sources (more than one given).
    bool bySource() const { return !m_sources.empty(); }

    // Moves a group within its source, or a channel within its group, one row up (-1) or down
    // (+1); the row's new index, or an invalid one when it cannot move (at
    // an end, or while a search narrows the tree).
    QModelIndex move(const QModelIndex& row, int by);
    // Moves the row to go before the row `before` of its parent (the
    // row count: to the end); dragging comes here.
    QModelIndex moveTo(const QModelIndex& row, int before);

    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* mime, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* mime, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    // Sorts the groups and each group's channels by their names as shown;
    // back to the playlist's order.
    void sortByName();
    void sourceOrder();
    void setTakeNewGroups(bool take) { m_edits.takeNewGroups = take; }
    // The edits made, the orders left out where they are the playlist's.
    ChannelEdits edits() const;

    const std::vector<char>& chosen() const { return m_chosen; }
    bool onePerAddress() const { return m_onePerAddress; }
    // The channels the choice keeps (one per address if asked) and all,
    // counted as the status bar counts them (ChannelIndex::channelCount).
    int chosenCount() const;
    int totalCount() const;
    // The number of channels the tree shows.
    int shownCount() const { return m_shownCount; }

signals:
    void chosenCountChanged();
    void searchDone();

private:
    struct Search;

    // The rows under a group are a part's: the channels of one group from
    // one source. Without sources a part is a group, numbered as it.
    int partCount() const;
    int groupOfPart(int part) const { return bySource() ? m_partGroup[size_t(part)] : part; }
    int sourceOfPart(int part) const { return bySource() ? m_partSource[size_t(part)] : 0; }
    int sourceOf(int block) const;
    int partOf(int block) const;
    // All of a part's blocks in order, and those the tree shows of it.
    const std::vector<int>& partBlocks(int part) const;
    const std::vector<int>& shownBlocks(int part) const;
    // A source's parts in the order of their groups.
    std::vector<int> partsInOrder(int source) const;
    int blocksOfSource(int source) const;

    // What a row is, by its index's internal id: 0 a top row, odd a group
    // row under source (id - 1) / 2, even a channel row of part (id - 2) / 2.
    bool isSourceRow(const QModelIndex& index) const;
    bool isPartRow(const QModelIndex& index) const;
    int partAt(const QModelIndex& index) const; // the part of a group row
    QModelIndex partIndex(int part) const;      // its group row, if shown
    QModelIndex sourceIndex(int source) const;

    QString nameOf(int block) const;      // as renamed
    QString groupNameOf(int group) const; // as renamed
    void showAllGroups();
    void buildParts();
    QModelIndex draggedRow(const QMimeData* mime) const;
    int dropRow(const QModelIndex& dragged, int row, const QModelIndex& parent) const;
    void setChosen(int block, bool chosen);
    Qt::CheckState partState(int part) const;
    Qt::CheckState sourceState(int source) const;
    // Says that the check boxes under `parent` changed, and its own.
    void checksChanged(const QModelIndex& parent);
    // Puts `item` in `order` where the moved row now stands among `shown`
    // (a part of the order, at `at`): before the row after it, else after
    // the one before it.
    static void placeAsShown(std::vector<int>& order, const std::vector<int>& shown, size_t at,
                             const std::function<int(int)>& itemOf);
    void runSearch();
    void finishSearch();

    ChannelIndex& m_index;
    std::vector<char> m_chosen;
    bool m_onePerAddress;
    std::vector<int> m_partChosen;   // chosen channels per part
    std::vector<int> m_sourceChosen; // and per source
    // The count of the choice, taken again once the choice has changed.
    mutable int m_chosenChannels = -1;

    // The sources when there are several, and their parts: each part's
    // group and source, each group's parts in the order of the sources, and
    // each part's blocks in the order of the edits.
    std::vector<ChannelSource> m_sources;
    std::vector<int> m_partGroup;
    std::vector<int> m_partSource;
    std::vector<std::vector<int>> m_groupParts;
    std::vector<std::vector<int>> m_partBlocks;

    // What the tree shows: per source (one without sources) its parts in
    // order, and per part its channels when a search narrows them (else all).
    bool m_narrowed = false;
    ChannelEdits m_edits; // its orders always given whole
    std::vector<std::vector<int>> m_rows;
    std::vector<int> m_rowOf; // each part's row under its source, or -1 when hidden
    std::vector<std::vector<int>> m_shown;
    int m_shownCount = 0;
    std::u32string m_needle; // the folded search text shown

    std::unique_ptr<Search> m_search; // a search still running
    QTimer* m_slice;
};

// The "Channels..." dialog over a loaded playlist.
class ChannelsDialog : public QDialog {
    Q_OBJECT

public:
    ChannelsDialog(ChannelIndex& index, std::vector<char> chosen, bool onePerAddress,
                   ChannelEdits edits = {}, std::vector<ChannelSource> sources = {},
                   QWidget* parent = nullptr);
    ~ChannelsDialog() override;

    // Shows the dialog modally; true when OK closed it.
    bool execute();

    const std::vector<char>& chosen() const { return m_model->chosen(); }
    bool onePerAddress() const { return m_model->onePerAddress(); }
    ChannelEdits edits() const { return m_model->edits(); }
    ChannelTreeModel* model() const { return m_model; }

    // Offers "Forget gone" for the groups and channels a recipe names that
    // the playlist no longer has (`names`, one a line; empty: none);
    // forgetGone() tells whether it was pressed.
    void offerForgetGone(const QString& names);
    bool forgetGone() const { return m_forget; }

    // Tests: instead of opening modally, the next dialogs are shown and
    // handed to `driver`, which works them like a user and closes them; a
    // dialog it leaves open counts as cancelled.
    static void setDriver(std::function<void(ChannelsDialog&)> driver);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateCount();
    void searchDone();
    void moveCurrent(int by);

    ChannelTreeModel* m_model;
    QLineEdit* m_search;
    QTreeView* m_tree;
    QPushButton* m_all;
    QPushButton* m_none;
    QCheckBox* m_onePerAddress;
    QPushButton* m_sortByName;
    QPushButton* m_sourceOrder;
    QCheckBox* m_takeNewGroups;
    QPushButton* m_forgetGone;
    bool m_forget = false;
    QLabel* m_count;
    QPushButton* m_ok;
};

} // namespace dorvane
