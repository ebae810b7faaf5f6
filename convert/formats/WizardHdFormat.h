#pragma once

#include "TargetFormat.h"

namespace dorvane {

// "name,address", one line per entry.
class WizardHdFormat final : public NamedTargetFormat {
public:
    WizardHdFormat()
        : NamedTargetFormat(
              {TTargetKind::tkWizardHD, u"Wizard HD", u"wizard-hd", u"iptv", u".txt"}) {}
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override;
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const override;
};

} // namespace dorvane
