#include "convert/TargetFormat.h"

#include "convert/formats/AzBoxFormat.h"
#include "convert/formats/Enigma2Format.h"
#include "convert/formats/IptvxFormat.h"
#include "convert/formats/OpenBoxFormat.h"
#include "convert/formats/OpenBoxSxFormat.h"
#include "convert/formats/PlsFormat.h"
#include "convert/formats/SourceFormats.h"
#include "convert/formats/U2cRadioFormat.h"
#include "convert/formats/WebTvFormat.h"
#include "convert/formats/WizardHdFormat.h"
#include "convert/formats/WmpFormat.h"
#include "convert/formats/XspfFormat.h"

#include "playlist/Encoding.h"

#include <cstdlib>

namespace dorvane {

void TargetFormat::header(LineSink&, const SourceName&) const {}
void TargetFormat::footer(LineSink&, int) const {}
void TargetFormat::header(ByteLineSink&, const SourceName&) const {}
void TargetFormat::footer(ByteLineSink&, int) const {}

const TEncoding& TargetFormat::fileEncoding(bool ansiWanted, const TEncoding& ansi) const {
    return ansiWanted && allowsAnsi() ? ansi : TEncoding::UTF8();
}

QString TargetFormat::shortName() const {
    QString name = caption().toString();
    if (name.endsWith(u" Playlist"))
        name.chop(9);
    return name;
}

QByteArray TargetFormat::preamble(const TEncoding& encoding,
                                  std::optional<bool> byteOrderMark) const {
    // The code pages have no preamble; UTF-8 has one unless the target's
    // readers do not expect it or the user (else the target) does not want it.
    if (&encoding == &TEncoding::UTF8() &&
        (!utf8ByteOrderMark() || !byteOrderMark.value_or(utf8ByteOrderMarkByDefault())))
        return {};
    return encoding.GetPreamble();
}

namespace {

template <typename Format> const TargetFormat* single() {
    static const Format format;
    return &format;
}

std::vector<const TargetFormat*> registeredFormats() {
    // One line per target: adding a target adds its line here.
    // clang-format off
    std::vector<const TargetFormat*> formats{
        single<M3uFormat>(),
        single<WebTvFormat>(),
        single<OpenBoxFormat>(),
        single<OpenBoxSxFormat>(),
        single<WizardHdFormat>(),
        single<AzBoxFormat>(),
        single<PlsFormat>(),
        single<M3u8Format>(),
        single<WmpFormat>(),
        single<IptvxFormat>(),
        single<U2cRadioFormat>(),
        single<Enigma2Format>(),
        single<XspfFormat>(),
    };
    // clang-format on
    // One format per kind, in kind order: formatFor() indexes this list.
    for (size_t k = 0; k < formats.size(); ++k)
        if (static_cast<size_t>(formats[k]->kind()) != k)
            std::abort();
    if (formats.size() != static_cast<size_t>(kTargetCount))
        std::abort();
    return formats;
}

} // namespace

const std::vector<const TargetFormat*>& allFormats() {
    static const std::vector<const TargetFormat*> formats = registeredFormats();
    return formats;
}

const TargetFormat& formatFor(TTargetKind kind) {
    return *allFormats().at(static_cast<size_t>(kind));
}

const TargetFormat* formatByCliName(QStringView name) {
    for (const TargetFormat* format : allFormats())
        if (format->cliName() == name)
            return format;
    return nullptr;
}

} // namespace dorvane
