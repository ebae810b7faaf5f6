#pragma once

#include "source/guide/GuideReader.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace dorvane::guide {

// A channel of the list, as the cut sees it.
struct CutChannel {
    QString tvgId;
    QString name;
    QString handId;    // the guide id set by hand; empty: none
    int halfHours = 0; // the shift of its programmes
};

// A guide cut down to a list's channels (see GuideChannels::match), from one
// guide or more read in turn: the first guide that has any candidate for a
// channel decides it. Written as one XMLTV file: the <tv> root with the
// first guide's attributes, the matched channels' <channel>s in the list's
// order, then their <programme>s, channel by channel in the same order. A
// <channel>'s id, and its programmes' channel="...", become the list's
// tvg-id where that differs; the programmes' start and stop are shifted.
// A guide channel taken twice with different shifts (or under one tvg-id by
// two channels) is written twice, the second as "ID@+N" (changedIds).
//
// Only the guide's channels are held in memory; the programmes kept wait in
// a temporary file until write().
class GuideCut {
public:
    explicit GuideCut(std::vector<CutChannel> channels);
    ~GuideCut();

    // The handler a GuideReader of the next guide hands its elements to.
    GuideHandler& startGuide(const QString& name);
    // Once it is read, whole or cut short.
    void endGuide();

    // Writes the cut, gzip-packed when the name ends in ".gz", replacing the
    // file once it is whole. EFCreateError or EWriteError.
    void write(const QString& fileName);

    int channelCount() const { return int(m_channels.size()); }
    const CutChannel& channel(int k) const { return m_channels[size_t(k)]; }
    bool isMatched(int k) const { return m_states[size_t(k)].kind == State::Matched; }
    int matchedCount() const;
    // Each unmatched channel's name, in the list's order; an ambiguous one's
    // with its two candidates: "Name (ambiguous: a, b)".
    QStringList unmatched() const;
    // The channels (by number) whose tvg-id the written list has to change
    // for the guide to find them, with that id.
    QHash<int, QString> changedIds() const;
    qint64 programmesKept() const { return m_programmes; }
    // The id a matched channel has in the cut; empty for one unmatched.
    QString writtenId(int channel) const;

    struct Guide;
    struct Slot;

private:
    class Handler;
    friend class Handler;

    void match(Guide& guide);
    int slotFor(int channel, int guideChannel);
    void keepProgramme(const Element& programme, const std::vector<int>& targets);
    void spool(QByteArrayView bytes, Slot& slot);

    struct State {
        enum Kind { Pending, Matched, Ambiguous } kind = Pending;
        int slot = -1;
        QString ambiguity;
    };

    std::vector<CutChannel> m_channels;
    std::vector<State> m_states;
    std::vector<std::unique_ptr<Guide>> m_guides;
    std::vector<std::unique_ptr<Slot>> m_slots;
    QHash<QString, std::vector<int>> m_slotsById; // by the id written
    std::unique_ptr<Handler> m_handler;
    std::vector<Attribute> m_root;
    bool m_rootTaken = false;
    qint64 m_programmes = 0;
    qint64 m_heldBytes = 0; // the guides' channels held

    class Spool;
    std::unique_ptr<Spool> m_spool;
};

} // namespace dorvane::guide
