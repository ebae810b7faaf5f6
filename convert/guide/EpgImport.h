#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace dorvane::guide {

// The numbers that make an Enigma2 service reference unique: the service,
// transport stream and network ids, each 1 to FFFF.
struct ServiceIds {
    quint16 sid = 0;
    quint16 tid = 0;
    quint16 nid = 0;

    bool isNull() const { return sid == 0; }
    // "SID:TID:NID" in hex, as a recipe keeps them.
    QString text() const;
    static ServiceIds fromText(QStringView text); // null when it is no such text
    friend bool operator==(const ServiceIds&, const ServiceIds&) = default;
};

// The reference's fields after the service type: "0:1:SID:TID:NID:0:0:0:0:".
QByteArray serviceFields(const ServiceIds& ids);

// Ids for the channels named by `keys` (a recipe's channel keys as text, in
// the list's order): those `kept` holds (a recipe's, from an earlier run),
// else a stable hash of the list's name and the key; a SID is never 0, and
// ids already given to an earlier channel are moved on to the next free SID.
std::vector<ServiceIds> serviceIdsFor(const QString& listName, const QStringList& keys,
                                      const QHash<QString, ServiceIds>& kept);

// A bouquet with the references of its entries made unique: each "#SERVICE"
// line whose address and name are those of `addresses[k]` and `names[k]`
// (the list's channels with an address, in order) gets fields ids[k]; the
// service type stays. Entries it cannot tell are left as they are.
QByteArray withServiceIds(QByteArrayView bouquet, const QStringList& addresses,
                          const QStringList& names, const std::vector<ServiceIds>& ids);

// The guide importer's files: "PREFIX.channels.xml", a <channel> per matched
// channel (its guide id, and its reference with service type 1), and
// "PREFIX.sources.xml", a <source> per guide.
struct ImportChannel {
    QString guideId;
    QString name;
    ServiceIds ids;
};
QByteArray importChannelsXml(const std::vector<ImportChannel>& channels);
QByteArray importSourcesXml(const QString& prefix, const QString& listName,
                            const QStringList& guides);

} // namespace dorvane::guide
