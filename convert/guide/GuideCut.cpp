#include "convert/guide/GuideCut.h"

#include "convert/guide/GuideMatch.h"
#include "convert/guide/GuideSettings.h"
#include "convert/guide/GuideTime.h"
#include "playlist/Errors.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <QSaveFile>
#include <QTemporaryFile>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace dorvane::guide {

namespace {

// The guides' channels held at most: a few hundred thousand channels.
constexpr qint64 kMaxHeldBytes = 32 << 20;
// What gathers before it is written, into the spool or the output.
constexpr qsizetype kBufferBytes = 1 << 20;

void appendEscaped(QByteArray& to, QByteArrayView text) {
    for (char c : text) {
        switch (c) {
        case '&':
            to += "&amp;";
            break;
        case '<':
            to += "&lt;";
            break;
        case '>':
            to += "&gt;";
            break;
        case '"':
            to += "&quot;";
            break;
        case '\t':
            to += "&#9;";
            break;
        case '\n':
            to += "&#10;";
            break;
        case '\r':
            to += "&#13;";
            break;
        default:
            to += c;
        }
    }
}

void appendAttribute(QByteArray& to, QByteArrayView name, QByteArrayView value) {
    to += ' ';
    to += name;
    to += "=\"";
    appendEscaped(to, value);
    to += '"';
}

// The output file, gzip-packed or not, replaced once it is whole.
class GuideFile {
public:
    explicit GuideFile(const QString& fileName)
        : m_name(fileName), m_file(openSaveFile(fileName)),
          m_packed(fileName.endsWith(QLatin1String(".gz"), Qt::CaseInsensitive)) {
        if (m_packed) {
            std::memset(&m_z, 0, sizeof m_z);
            if (deflateInit2(&m_z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
                throw std::bad_alloc();
        }
        m_buffer.reserve(kBufferBytes + 4096);
    }
    ~GuideFile() {
        if (m_packed)
            deflateEnd(&m_z);
    }

    QByteArray& buffer() { return m_buffer; }
    void flushIfFull() {
        if (m_buffer.size() >= kBufferBytes)
            flush(false);
    }

    void commit() {
        flush(true);
        if (!m_file->commit())
            throw EWriteError(cannotWriteMessage(m_name, m_file->errorString()));
    }

private:
    void put(QByteArrayView bytes) {
        if (m_file->write(bytes.data(), bytes.size()) != bytes.size())
            throw EWriteError(cannotWriteMessage(m_name, m_file->errorString()));
    }

    void flush(bool last) {
        if (!m_packed) {
            put(m_buffer);
            m_buffer.resize(0);
            return;
        }
        QByteArray out(256 * 1024, Qt::Uninitialized);
        m_z.next_in = reinterpret_cast<Bytef*>(m_buffer.data());
        m_z.avail_in = uInt(m_buffer.size());
        int ret = Z_OK;
        do {
            m_z.next_out = reinterpret_cast<Bytef*>(out.data());
            m_z.avail_out = uInt(out.size());
            ret = deflate(&m_z, last ? Z_FINISH : Z_NO_FLUSH);
            put(QByteArrayView(out.data(), out.size() - qsizetype(m_z.avail_out)));
        } while (m_z.avail_out == 0 || (last && ret != Z_STREAM_END));
        m_buffer.resize(0);
    }

    QString m_name;
    std::unique_ptr<QSaveFile> m_file;
    bool m_packed;
    z_stream m_z;
    QByteArray m_buffer;
};

} // namespace

// Where the programmes kept wait for their turn: a temporary file, written in
// large pieces.
class GuideCut::Spool {
public:
    Spool() {
        if (!m_file.open())
            throw EFCreateError(cannotCreateMessage(m_file.fileTemplate(), errno));
        m_buffer.reserve(kBufferBytes + 4096);
    }
    qint64 size() const { return m_written + m_buffer.size(); }
    void append(QByteArrayView bytes) {
        m_buffer.append(bytes);
        if (m_buffer.size() >= kBufferBytes)
            flush();
    }
    void flush() {
        if (m_buffer.isEmpty())
            return;
        if (m_file.write(m_buffer) != m_buffer.size())
            throw EWriteError(cannotWriteMessage(m_file.fileName(), m_file.errorString()));
        m_written += m_buffer.size();
        m_buffer.resize(0);
    }
    // Reads back [offset, offset + size) to the end of `to`.
    void readBack(qint64 offset, qint64 size, QByteArray& to) {
        const qsizetype at = to.size();
        to.resize(at + qsizetype(size));
        if (!m_file.seek(offset) || m_file.read(to.data() + at, size) != size)
            throw EReadError(QStringLiteral("Cannot read file \"%1\". %2")
                                 .arg(m_file.fileName(), m_file.errorString()));
    }

private:
    QTemporaryFile m_file;
    QByteArray m_buffer;
    qint64 m_written = 0;
};

// One guide's channels, as they come.
struct GuideCut::Guide {
    QString name;
    GuideChannels channels;
    // Each channel's element, by its number (the first of its id).
    std::vector<std::vector<Attribute>> attributes;
    std::vector<QByteArray> contents;
    bool matched = false;  // the list's channels were matched against it
    bool newSince = false; // a channel came after that
    // The slots of each guide id taken, by its id's UTF-8.
    QHash<QByteArray, std::vector<int>> wanted;
};

// A channel written: a guide's channel under one id with one shift.
struct GuideCut::Slot {
    int guide = 0;
    int guideChannel = 0;
    QString id; // as written
    int halfHours = 0;
    int first = 0; // the first channel of the list that takes it
    // Where its programmes lie in the spool.
    std::vector<std::pair<qint64, qint64>> runs;
};

class GuideCut::Handler final : public GuideHandler {
public:
    explicit Handler(GuideCut& cut) : m_cut(cut) {}
    void start(Guide& guide) {
        m_guide = &guide;
        m_lastId.clear();
        m_last = nullptr;
    }

    void root(const std::vector<Attribute>& attributes) override {
        if (!m_cut.m_rootTaken) {
            m_cut.m_root = attributes;
            m_cut.m_rootTaken = true;
        }
    }

    void channel(const Element& element) override {
        Guide& guide = *m_guide;
        std::vector<QString> names;
        names.reserve(element.displayNames.size());
        for (const QByteArray& name : element.displayNames)
            names.push_back(QString::fromUtf8(name));
        const int before = guide.channels.count();
        const int number = guide.channels.add(QString::fromUtf8(element.attribute("id")), names);
        if (number < before)
            return; // an id seen before: the first stands
        m_cut.m_heldBytes += element.content.size() + 256;
        if (m_cut.m_heldBytes > kMaxHeldBytes)
            throw EReadError(QStringLiteral("Guide \"%1\" refused: its channels take more than "
                                            "%2 bytes.")
                                 .arg(guide.name)
                                 .arg(kMaxHeldBytes));
        guide.attributes.push_back(element.attributes);
        guide.contents.push_back(element.content);
        if (guide.matched)
            guide.newSince = true;
    }

    bool wantsProgramme(QByteArrayView id) override {
        Guide& guide = *m_guide;
        if (!guide.matched || guide.newSince) {
            m_cut.match(guide);
            m_lastId.clear();
            m_last = nullptr;
        }
        if (m_last && id == m_lastId)
            return !m_last->empty();
        m_lastId = id.toByteArray();
        const auto found = guide.wanted.constFind(m_lastId);
        m_last = found == guide.wanted.cend() ? &m_none : &*found;
        return !m_last->empty();
    }

    void programme(const Element& element) override {
        if (m_last)
            m_cut.keepProgramme(element, *m_last);
    }

private:
    GuideCut& m_cut;
    Guide* m_guide = nullptr;
    QByteArray m_lastId;
    const std::vector<int>* m_last = nullptr;
    const std::vector<int> m_none;
};

GuideCut::GuideCut(std::vector<CutChannel> channels)
    : m_channels(std::move(channels)), m_states(m_channels.size()),
      m_handler(std::make_unique<Handler>(*this)), m_spool(std::make_unique<Spool>()) {}

GuideCut::~GuideCut() = default;

GuideHandler& GuideCut::startGuide(const QString& name) {
    m_guides.push_back(std::make_unique<Guide>());
    m_guides.back()->name = name;
    m_handler->start(*m_guides.back());
    return *m_handler;
}

void GuideCut::endGuide() {
    if (m_guides.empty())
        return;
    Guide& guide = *m_guides.back();
    if (!guide.matched || guide.newSince)
        match(guide);
}

void GuideCut::match(Guide& guide) {
    guide.matched = true;
    guide.newSince = false;
    int guideNumber = 0;
    while (m_guides[size_t(guideNumber)].get() != &guide)
        ++guideNumber;
    for (size_t c = 0; c < m_channels.size(); ++c) {
        State& state = m_states[c];
        if (state.kind != State::Pending)
            continue;
        const CutChannel& channel = m_channels[c];
        const Match match = guide.channels.match({channel.tvgId, channel.name, channel.handId});
        if (match.kind == Match::Kind::Ambiguous) {
            state.kind = State::Ambiguous;
            state.ambiguity = QStringLiteral("%1 (ambiguous: %2, %3)")
                                  .arg(channel.name, guide.channels.id(match.channel),
                                       guide.channels.id(match.other));
        } else if (match.kind == Match::Kind::Matched) {
            state.kind = State::Matched;
            state.slot = slotFor(int(c), match.channel);
            Slot& slot = *m_slots[size_t(state.slot)];
            if (slot.guide == guideNumber) {
                std::vector<int>& wanted =
                    guide.wanted[guide.channels.id(slot.guideChannel).toUtf8()];
                if (std::find(wanted.begin(), wanted.end(), state.slot) == wanted.end())
                    wanted.push_back(state.slot);
            }
        }
    }
}

int GuideCut::slotFor(int channel, int guideChannel) {
    const int guide = int(m_guides.size()) - 1;
    const CutChannel& list = m_channels[size_t(channel)];
    const QString& guideId = m_guides.back()->channels.id(guideChannel);
    const QString base = list.tvgId.isEmpty() ? guideId : list.tvgId;
    QString id = base;
    std::vector<int>& taken = m_slotsById[base];
    for (int s : taken) {
        const Slot& slot = *m_slots[size_t(s)];
        if (slot.guide == guide && slot.guideChannel == guideChannel &&
            slot.halfHours == list.halfHours)
            return s;
    }
    if (!taken.empty()) {
        // The id is written already, for another shift or another channel.
        id = base + u'@' + guideShiftText(list.halfHours);
        for (int k = 2; m_slotsById.contains(id); ++k)
            id = base + u'@' + guideShiftText(list.halfHours) + u'-' + QString::number(k);
    }
    auto slot = std::make_unique<Slot>();
    slot->guide = guide;
    slot->guideChannel = guideChannel;
    slot->id = id;
    slot->halfHours = list.halfHours;
    slot->first = channel;
    const int number = int(m_slots.size());
    m_slots.push_back(std::move(slot));
    m_slotsById[base].push_back(number);
    if (id != base)
        m_slotsById[id].push_back(number);
    return number;
}

void GuideCut::keepProgramme(const Element& programme, const std::vector<int>& targets) {
    QByteArray text;
    for (int s : targets) {
        Slot& slot = *m_slots[size_t(s)];
        text.resize(0);
        text += "<programme";
        for (const Attribute& attribute : programme.attributes) {
            if (attribute.name == "channel")
                appendAttribute(text, attribute.name, slot.id.toUtf8());
            else if (attribute.name == "start" || attribute.name == "stop")
                appendAttribute(text, attribute.name,
                                shiftGuideTime(attribute.value, slot.halfHours));
            else
                appendAttribute(text, attribute.name, attribute.value);
        }
        text += '>';
        text += programme.content;
        text += "</programme>\n";
        spool(text, slot);
        ++m_programmes;
    }
}

void GuideCut::spool(QByteArrayView bytes, Slot& slot) {
    const qint64 at = m_spool->size();
    m_spool->append(bytes);
    if (!slot.runs.empty() && slot.runs.back().first + slot.runs.back().second == at)
        slot.runs.back().second += bytes.size();
    else
        slot.runs.emplace_back(at, bytes.size());
}

int GuideCut::matchedCount() const {
    return int(std::count_if(m_states.begin(), m_states.end(),
                             [](const State& state) { return state.kind == State::Matched; }));
}

QStringList GuideCut::unmatched() const {
    QStringList names;
    for (size_t c = 0; c < m_states.size(); ++c) {
        if (m_states[c].kind == State::Ambiguous)
            names << m_states[c].ambiguity;
        else if (m_states[c].kind == State::Pending)
            names << m_channels[c].name;
    }
    return names;
}

QString GuideCut::writtenId(int channel) const {
    const State& state = m_states[size_t(channel)];
    return state.kind == State::Matched ? m_slots[size_t(state.slot)]->id : QString();
}

QHash<int, QString> GuideCut::changedIds() const {
    QHash<int, QString> changed;
    for (size_t c = 0; c < m_states.size(); ++c) {
        if (m_states[c].kind != State::Matched)
            continue;
        const Slot& slot = *m_slots[size_t(m_states[c].slot)];
        const QString& tvgId = m_channels[c].tvgId;
        const QString base =
            tvgId.isEmpty() ? m_guides[size_t(slot.guide)]->channels.id(slot.guideChannel) : tvgId;
        if (slot.id != base)
            changed.insert(int(c), slot.id);
    }
    return changed;
}

void GuideCut::write(const QString& fileName) {
    m_spool->flush();
    std::vector<int> order(m_slots.size());
    for (size_t s = 0; s < order.size(); ++s)
        order[s] = int(s);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return m_slots[size_t(a)]->first < m_slots[size_t(b)]->first;
    });

    GuideFile file(fileName);
    QByteArray& out = file.buffer();
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv";
    for (const Attribute& attribute : m_root)
        appendAttribute(out, attribute.name, attribute.value);
    out += ">\n";
    for (int s : order) {
        const Slot& slot = *m_slots[size_t(s)];
        const Guide& guide = *m_guides[size_t(slot.guide)];
        out += "<channel";
        for (const Attribute& attribute : guide.attributes[size_t(slot.guideChannel)])
            appendAttribute(out, attribute.name,
                            attribute.name == "id" ? slot.id.toUtf8() : attribute.value);
        out += '>';
        out += guide.contents[size_t(slot.guideChannel)];
        out += "</channel>\n";
        file.flushIfFull();
    }
    for (int s : order) {
        for (const auto& [offset, size] : m_slots[size_t(s)]->runs) {
            // Large runs in pieces, so that the buffer stays small.
            for (qint64 done = 0; done < size;) {
                const qint64 piece = std::min<qint64>(size - done, kBufferBytes);
                m_spool->readBack(offset + done, piece, out);
                done += piece;
                file.flushIfFull();
            }
        }
    }
    out += "</tv>\n";
    file.commit();
}

} // namespace dorvane::guide
