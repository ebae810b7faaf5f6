#pragma once

#include "convert/LineEnd.h"
#include "convert/SourceName.h"
#include "convert/TargetKind.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <vector>

namespace dorvane {

class ByteLineSink;
class LineSink;
class TEncoding;

// One target format: what the window and dorvane-convert call it, how its
// files are named, and the lines it writes. Each format is one class in
// formats/, registered by one line in Formats.cpp.
class TargetFormat {
public:
    virtual ~TargetFormat() = default;

    virtual TTargetKind kind() const = 0;
    // The radio button's caption ("PLS Playlist").
    virtual QStringView caption() const = 0;
    // The name dorvane-convert's --to takes ("pls").
    virtual QStringView cliName() const = 0;
    // The name Save proposes, without extension ("playlist").
    virtual QString defaultFileName() const = 0;
    // The extension Save appends, with its dot (".m3u").
    virtual QStringView extension() const = 0;

    // False for the M3U and M3U8 targets, which show the playlist itself.
    virtual bool converts() const { return true; }
    // Whether entry() is given the channel's block of lines: for the
    // attributes its entries carry (logo, group, headers: ChannelAttributes),
    // or to count those they cannot (LostAttributes).
    virtual bool wantsAttributes() const { return false; }
    // The name a message about it uses: its caption without " Playlist".
    QString shortName() const;

    // How its files are written. Most receivers take either UTF-8 with a
    // byte-order mark or the ANSI code page, lines ending in CR LF; a target
    // whose readers know only UTF-8 is never written in a code page.
    virtual LineEnd lineEnd() const = 0;
    // Whether a UTF-8 file may start with EF BB BF.
    virtual bool utf8ByteOrderMark() const = 0;
    // Whether it does unless the user says otherwise. Players read an M3U's
    // mark as the start of a first bogus entry, so those go without one.
    virtual bool utf8ByteOrderMarkByDefault() const { return utf8ByteOrderMark(); }
    // Whether it may be written in the ANSI code page at all.
    virtual bool allowsAnsi() const = 0;
    // Whether its output is an XML document.
    virtual bool isXml() const = 0;
    // Whether its footer goes back and fills in a line of its header (the
    // number of entries): its output cannot be written out while it is made.
    virtual bool fillsInHeader() const = 0;

    // The encoding a file is written in: `ansi` when the user asks for the
    // code page and the target allows it, UTF-8 otherwise.
    const TEncoding& fileEncoding(bool ansiWanted, const TEncoding& ansi) const;
    // The bytes a file in that encoding starts with. `byteOrderMark` is the
    // user's wish for UTF-8's mark, where the target may have one (its
    // readers take both); without a wish, the target's default.
    QByteArray preamble(const TEncoding& encoding,
                        std::optional<bool> byteOrderMark = std::nullopt) const;
    // The line end as characters ("\r\n" or "\n").
    QStringView lineEndText() const { return lineEnd() == LineEnd::Lf ? u"\n" : u"\r\n"; }

    // The opening lines of a run; `source` names the playlist converted.
    virtual void header(LineSink& out, const SourceName& source) const;
    // The lines of entry number n (from 1). `block` is the channel's name
    // line and the directive lines after it, when wantsAttributes().
    virtual void entry(LineSink& out, QStringView channel, QStringView url, QStringView block,
                       int n) const = 0;
    // The closing lines, with the final number of entries.
    virtual void footer(LineSink& out, int count) const;

    // The same lines as UTF-8 bytes, from a UTF-8 name and address. Each
    // format writes its lines once, as a template over the sink, for both.
    virtual void header(ByteLineSink& out, const SourceName& source) const;
    virtual void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url,
                       QByteArrayView block, int n) const = 0;
    virtual void footer(ByteLineSink& out, int count) const;

    // Whether the target's readers would read the entry back as written:
    // false where its name or address holds what the format separates its
    // fields by and has no way to escape (U2C's "][", a comma before the
    // stream marker of a Wizard HD or AzBox line). Such an entry is left
    // out, and the run counts it (ConversionCounts::refused).
    virtual bool carries(QStringView, QStringView) const { return true; }
    virtual bool carries(QByteArrayView, QByteArrayView) const { return true; }
};

// A format's description as fixed data, given by the format's constructor.
struct TargetNames {
    TTargetKind kind;
    QStringView caption;
    QStringView cliName;
    QStringView defaultFileName;
    QStringView extension;
    LineEnd lineEnd = LineEnd::CrLf;
    bool utf8ByteOrderMark = true;
    bool allowsAnsi = true;
    bool isXml = false;
    bool fillsInHeader = false;
};

class NamedTargetFormat : public TargetFormat {
public:
    explicit NamedTargetFormat(const TargetNames& names) : m_names(names) {}

    TTargetKind kind() const override { return m_names.kind; }
    QStringView caption() const override { return m_names.caption; }
    QStringView cliName() const override { return m_names.cliName; }
    QString defaultFileName() const override { return m_names.defaultFileName.toString(); }
    QStringView extension() const override { return m_names.extension; }
    LineEnd lineEnd() const override { return m_names.lineEnd; }
    bool utf8ByteOrderMark() const override { return m_names.utf8ByteOrderMark; }
    bool allowsAnsi() const override { return m_names.allowsAnsi; }
    bool isXml() const override { return m_names.isXml; }
    bool fillsInHeader() const override { return m_names.fillsInHeader; }

private:
    TargetNames m_names;
};

// A non-negative number as decimal digits, held on the stack, so that numbered
// lines need no temporary string; as ASCII bytes for the converter's lines
// and as UTF-16 for the window's, made only when asked for.
class DecimalText {
public:
    explicit DecimalText(int n) {
        unsigned value = n < 0 ? 0u : static_cast<unsigned>(n);
        // Two digits a division, from a table: every entry of a numbered
        // target makes one.
        for (; value >= 100; value /= 100)
            putPair(value % 100);
        if (value >= 10) {
            putPair(value);
        } else {
            --m_begin;
            m_bytes[m_begin] = static_cast<char>('0' + value);
        }
    }
    QStringView view() const {
        for (int k = m_begin; k < kSize; ++k)
            m_digits[k] = static_cast<char16_t>(m_bytes[k]);
        return QStringView(m_digits + m_begin, kSize - m_begin);
    }
    operator QStringView() const { return view(); }
    QByteArrayView bytes() const { return QByteArrayView(m_bytes + m_begin, kSize - m_begin); }

private:
    void putPair(unsigned pair) {
        static constexpr auto kPairs = [] {
            std::array<char, 200> pairs{};
            for (int k = 0; k < 100; ++k) {
                pairs[2 * k] = static_cast<char>('0' + k / 10);
                pairs[2 * k + 1] = static_cast<char>('0' + k % 10);
            }
            return pairs;
        }();
        m_begin -= 2;
        m_bytes[m_begin] = kPairs[2 * pair];
        m_bytes[m_begin + 1] = kPairs[2 * pair + 1];
    }

    static constexpr int kSize = 10;
    mutable char16_t m_digits[kSize];
    char m_bytes[kSize];
    int m_begin = kSize;
};

// All targets, in TTargetKind order.
const std::vector<const TargetFormat*>& allFormats();
const TargetFormat& formatFor(TTargetKind kind);
// nullptr when no target has that name.
const TargetFormat* formatByCliName(QStringView name);

} // namespace dorvane
