#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace dorvane {

struct ChannelKey;

// How far a guide's times are moved, in half hours: whole hours and halves,
// earlier or later, at most a day. Parsed from "2", "-1", "+1.5", "0.5",
// "-0,5"; false for anything else.
inline bool parseGuideShift(QStringView text, int& halfHours) {
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        text = text.sliced(1);
    }
    int whole = 0;
    qsizetype k = 0;
    for (; k < text.size() && text[k].isDigit() && text[k].unicode() < 128; ++k)
        whole = whole * 10 + (text[k].unicode() - '0');
    if (k == 0 || k > 2)
        return false;
    int half = 0;
    if (k < text.size()) {
        if (text[k] != u'.' && text[k] != u',')
            return false;
        const QStringView fraction = text.sliced(k + 1);
        if (fraction == u"5")
            half = 1;
        else if (!fraction.isEmpty() && fraction.count(u'0') != fraction.size())
            return false;
    }
    const int value = whole * 2 + half;
    if (value > 48)
        return false;
    halfHours = negative ? -value : value;
    return true;
}

// The text of a shift in hours, with a sign: "+2", "-1", "+1.5".
inline QString guideShiftText(int halfHours) {
    const int size = halfHours < 0 ? -halfHours : halfHours;
    QString text = halfHours < 0 ? QStringLiteral("-") : QStringLiteral("+");
    text += QString::number(size / 2);
    if (size % 2)
        text += QStringLiteral(".5");
    return text;
}

// What a recipe says of the programme guide.
struct GuideSettings {
    // The guides' files and addresses, besides the playlist's own.
    QStringList guides;
    // The file the cut guide is written to (.xml or .xml.gz); empty: none.
    QString output;

    // Guide ids set by hand, by channel: they win over every rule.
    struct HandId {
        QString channelId; // the channel's key (ChannelKey's members)
        QString group;
        QString name;
        QString guideId;
    };
    std::vector<HandId> ids;

    // Shifts of a group's channels, or of one channel (its key); a channel's
    // own wins over its group's, and both over the playlist's tvg-shift.
    struct Shift {
        bool byGroup = false;
        QString group;     // byGroup: the group; else the channel's key
        QString channelId; // with group and name below
        QString name;
        int halfHours = 0;
    };
    std::vector<Shift> shifts;

    // Enigma2 service ids ("SID:TID:NID") given to channels by earlier runs,
    // so that a receiver's guide stays with its channel.
    struct ServiceId {
        QString channelId; // the channel's key
        QString group;
        QString name;
        QString ids;
    };
    std::vector<ServiceId> serviceIds;

    bool isEmpty() const {
        return guides.isEmpty() && output.isEmpty() && ids.empty() && shifts.empty() &&
               serviceIds.empty();
    }
};

} // namespace dorvane
