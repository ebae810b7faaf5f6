#pragma once

#include "convert/TargetKind.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <vector>

namespace dorvane {

class ByteLineSink;
class LineSink;

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

    // The opening lines of a run.
    virtual void header(LineSink& out) const;
    // The lines of entry number n (from 1).
    virtual void entry(LineSink& out, QStringView channel, QStringView url, int n) const = 0;
    // The closing lines, with the final number of entries.
    virtual void footer(LineSink& out, int count) const;

    // The same lines as UTF-8 bytes, from a UTF-8 name and address. Each
    // format writes its lines once, as a template over the sink, for both.
    virtual void header(ByteLineSink& out) const;
    virtual void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url,
                       int n) const = 0;
    virtual void footer(ByteLineSink& out, int count) const;
};

// A format whose names are fixed data, given by the format's constructor.
struct TargetNames {
    TTargetKind kind;
    QStringView caption;
    QStringView cliName;
    QStringView defaultFileName;
    QStringView extension;
};

class NamedTargetFormat : public TargetFormat {
public:
    explicit NamedTargetFormat(const TargetNames& names) : m_names(names) {}

    TTargetKind kind() const override { return m_names.kind; }
    QStringView caption() const override { return m_names.caption; }
    QStringView cliName() const override { return m_names.cliName; }
    QString defaultFileName() const override { return m_names.defaultFileName.toString(); }
    QStringView extension() const override { return m_names.extension; }

private:
    TargetNames m_names;
};

// A non-negative number as decimal digits, held on the stack, so that numbered
// lines need no temporary string.
class DecimalText {
public:
    explicit DecimalText(int n) {
        unsigned value = n < 0 ? 0u : static_cast<unsigned>(n);
        do {
            m_digits[--m_begin] = static_cast<char16_t>(u'0' + value % 10);
            value /= 10;
        } while (value != 0);
    }
    QStringView view() const { return QStringView(m_digits + m_begin, kSize - m_begin); }
    operator QStringView() const { return view(); }

private:
    static constexpr int kSize = 10;
    char16_t m_digits[kSize];
    int m_begin = kSize;
};

// All targets, in TTargetKind order.
const std::vector<const TargetFormat*>& allFormats();
const TargetFormat& formatFor(TTargetKind kind);
// nullptr when no target has that name.
const TargetFormat* formatByCliName(QStringView name);

} // namespace dorvane
