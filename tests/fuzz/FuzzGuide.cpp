// A programme guide read as it comes: the first byte says how large the
// pieces are and which programmes are wanted, the rest is the guide (XML,
// or gzip or xz). Checks that only channels and wanted programmes are handed
// on, and that reading the guide in pieces gives what reading it whole
// gives: the same elements; or, for a guide that fails or is cut short, a
// failure or a cut too, with the elements both have agreeing.
#include "playlist/Errors.h"
#include "source/guide/GuideReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace dorvane;
using namespace dorvane::guide;

namespace {

class Recorder final : public GuideHandler {
public:
    explicit Recorder(uint8_t wanted) : m_wanted(wanted) {}
    QByteArray text;

    void root(const std::vector<Attribute>& attributes) override {
        text += "root";
        for (const Attribute& a : attributes)
            text += ' ' + a.name + '=' + a.value;
        text += '\n';
    }
    void channel(const Element& e) override {
        if (e.name != "channel")
            std::abort();
        text += "channel " + e.attribute("id").toByteArray() + ' ' + e.content + '\n';
    }
    bool wantsProgramme(QByteArrayView id) override {
        m_last = (id.size() ^ m_wanted) & 1;
        return m_last;
    }
    void programme(const Element& e) override {
        if (e.name != "programme" || !m_last)
            std::abort();
        text += "programme " + e.attribute("channel").toByteArray() + ' ' + e.content + '\n';
    }

private:
    uint8_t m_wanted;
    bool m_last = false;
};

struct Outcome {
    QByteArray text;
    bool failed = false;
    bool cutShort = false;
    bool brokenPacking = false; // failed or cut short where the packed data broke
    bool converted = false;     // read from another encoding than UTF-8
};

Outcome read(QByteArrayView guide, qsizetype piece, uint8_t wanted) {
    Recorder recorder(wanted);
    GuideReader reader(recorder, QStringLiteral("fuzz.xml"));
    Outcome outcome;
    try {
        for (qsizetype at = 0; at < guide.size(); at += piece)
            reader.write(guide.sliced(at, std::min(piece, guide.size() - at)));
        reader.finish();
        outcome.cutShort = reader.cutShort();
        outcome.brokenPacking = reader.cutShortReason().startsWith(u"the packed data is broken");
    } catch (const Exception& error) {
        outcome.failed = true;
        outcome.brokenPacking = error.Message().contains(u"cannot be unpacked");
    }
    outcome.converted = reader.convertsEncoding();
    outcome.text = recorder.text;
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const QByteArrayView guide(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);
    const qsizetype piece = 1 + (data[0] >> 1);
    const Outcome whole = read(guide, std::max<qsizetype>(guide.size(), 1), data[0]);
    const Outcome pieces = read(guide, piece, data[0]);
    // Read whole in one, it is read whole in pieces, to the same elements.
    // A guide that fails or is cut short does so either way, but which of
    // the two, and how far the parser got, may depend on the pieces (a text
    // converted from another encoding fails where a piece ends): the
    // elements both have agree.
    const bool wholeRead = !whole.failed && !whole.cutShort;
    const bool piecesRead = !pieces.failed && !pieces.cutShort;
    // Packed data that breaks: the unpacker may hand on junk before it says
    // so, more or less of it by the pieces, and the parser may end the guide
    // on that junk first.
    // Likewise a byte an encoding converted from lacks (libxml2 through
    // iconv).
    const bool unsure =
        whole.brokenPacking || pieces.brokenPacking || whole.converted || pieces.converted;
    if (wholeRead != piecesRead && !unsure) {
        std::fprintf(stderr, "whole: failed %d, cut %d; in pieces of %d: failed %d, cut %d\n",
                     whole.failed, whole.cutShort, int(piece), pieces.failed, pieces.cutShort);
        std::abort();
    }
    if (wholeRead && piecesRead) {
        if (whole.text != pieces.text)
            std::abort();
    } else {
        const bool shorterWhole = whole.text.size() < pieces.text.size();
        const QByteArray& shorter = shorterWhole ? whole.text : pieces.text;
        const QByteArray& longer = shorterWhole ? pieces.text : whole.text;
        if (!longer.startsWith(shorter))
            std::abort();
    }
    return 0;
}
