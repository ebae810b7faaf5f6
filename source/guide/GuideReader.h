#pragma once

#include "playlist/BodySink.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <exception>
#include <memory>
#include <string_view>
#include <vector>

namespace dorvane::guide {

// An attribute as the guide gives it: its qualified name and its value with
// character and entity references resolved, in UTF-8.
struct Attribute {
    QByteArray name;
    QByteArray value;
};

// One element under the guide's root (<channel> or <programme>), whole: its
// attributes, its content as XML text (UTF-8, references escaped anew), and
// for a channel the texts of its <display-name>s.
struct Element {
    QByteArray name;
    std::vector<Attribute> attributes;
    QByteArray content;
    std::vector<QByteArray> displayNames;

    // The value of the attribute `name`; null when it has none.
    QByteArrayView attribute(QByteArrayView name) const;
};

// What a guide's elements go to, in the guide's order.
class GuideHandler {
public:
    virtual ~GuideHandler() = default;
    // The root <tv>'s attributes, before any other element.
    virtual void root(const std::vector<Attribute>& attributes) = 0;
    virtual void channel(const Element& channel) = 0;
    // Whether the programmes of the channel `id` are wanted: the content of
    // those that are not is skipped, never kept.
    virtual bool wantsProgramme(QByteArrayView id) = 0;
    virtual void programme(const Element& programme) = 0;
};

// Limits the reading holds every guide to, whatever it holds.
struct GuideLimits {
    // Elements deeper than this are refused.
    int maxDepth = 1000;
    // An element kept (a channel or a programme wanted), or a tag, text or
    // comment still unread, larger than this is refused.
    qsizetype maxElementBytes = 8 << 20;
};

// Reads an XMLTV guide as it comes, piece by piece (a file's, or a
// download's body: a BodySink), gzip- or xz-packed or not (its first bytes
// tell), and hands its channels and programmes on as soon as each is whole;
// it never holds the guide, only the element being read.
//
// Plain XML only: a DOCTYPE is refused, so no entity is ever declared and
// only XML's own five are known; nothing outside the guide is ever read.
// Elements nested deeper than maxDepth are refused, and so is any element,
// tag or text past maxElementBytes, before more than that is held.
//
// EReadError, naming the guide, for anything refused, for packed data that
// is broken, and for bytes that are no XML guide (before its root). A guide
// that stops or breaks once its root has begun (a download cut off, a file
// truncated mid-element) is not an error: the rest is not read, finish()
// says cutShort(), and everything whole before the cut has been handed on.
class GuideReader final : public BodySink {
public:
    // `name` names the guide in messages: a file's name or an address.
    GuideReader(GuideHandler& handler, QString name, GuideLimits limits = {});
    ~GuideReader() override;

    void begin(qint64) override {}
    // The next bytes, packed or not.
    void write(QByteArrayView piece) override;
    // After the last piece.
    void finish();
    // After the last piece that came, when the bytes stopped coming before
    // their end (a download broken off): what came is read, and the guide is
    // cut short, for `reason` unless the XML already says why.
    void finishCut(const QString& reason);

    bool cutShort() const { return m_cutShort; }
    // Why it stopped short, from the XML parser ("line 12: ...").
    const QString& cutShortReason() const { return m_cutReason; }
    // The unpacked bytes read so far.
    qint64 bytesRead() const { return m_read; }
    // Whether the guide is in an encoding the parser converts from (not
    // UTF-8). Where a byte that encoding lacks ends such a guide may depend
    // on how its bytes came in pieces.
    bool convertsEncoding() const;

    struct Parser;
    struct Unpacker;

private:
    struct Stop {}; // thrown past the unpacking once the guide is cut short
    void take(QByteArrayView piece);
    void brokenPacking(const QString& reason);
    void end();
    void parse(QByteArrayView bytes, bool last);

    GuideHandler& m_handler;
    QString m_name;
    GuideLimits m_limits;
    std::unique_ptr<Parser> m_parser;
    std::unique_ptr<Unpacker> m_unpacker;
    QByteArray m_head; // the first bytes, until they tell the packing
    bool m_started = false;
    bool m_finished = false;
    bool m_cutShort = false;
    QString m_cutReason;
    qint64 m_read = 0;
};

// Reads the guide file `fileName` through `reader` (finish() included).
// EFOpenError or EReadError when the file cannot be read.
void readGuideFile(const QString& fileName, GuideReader& reader);

} // namespace dorvane::guide
