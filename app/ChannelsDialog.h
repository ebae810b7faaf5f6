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

// The groups of a playlist with their channels under them, each with a check
// box: a group's is tri-state over its channels. Groups and channels are
// renamed in place and moved one row at a time (ChannelEdits), each a change
// of a row or two, never of the whole tree. A search narrows the tree to
// the channels whose name contains its text in any case; groups left without
// a channel are hidden then. Built for a million channels: the rows are the
// index's own blocks, looked up on demand, and a search runs in slices between
// the window's events.
class ChannelTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    ChannelTreeModel(ChannelIndex& index, std::vector<char> chosen, bool onePerAddress,
                     ChannelEdits edits = {}, QObject* parent = nullptr);
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

    // Moves a group, or a channel within its group, one row up (-1) or down
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

    const std::vector<int>& shownBlocks(int group) const;
    int groupAt(const QModelIndex& index) const; // the group of a group row
    QString nameOf(int block) const;             // as renamed
    QString groupNameOf(int group) const;        // as renamed
    void showAllGroups();
    QModelIndex draggedRow(const QMimeData* mime) const;
    int dropRow(const QModelIndex& dragged, int row, const QModelIndex& parent) const;
    void setChosen(int block, bool chosen);
    Qt::CheckState groupState(int group) const;
    void runSearch();
    void finishSearch();

    ChannelIndex& m_index;
    std::vector<char> m_chosen;
    bool m_onePerAddress;
    std::vector<int> m_groupChosen; // chosen channels per group
    // The count of the choice, taken again once the choice has changed.
    mutable int m_chosenChannels = -1;

    // What the tree shows: the groups in order, and per group its channels
    // when a search narrows them (else all).
    bool m_narrowed = false;
    ChannelEdits m_edits; // its orders always given whole
    std::vector<int> m_rows;
    std::vector<int> m_rowOf; // each group's row, or -1 when hidden
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
                   ChannelEdits edits = {}, QWidget* parent = nullptr);
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
