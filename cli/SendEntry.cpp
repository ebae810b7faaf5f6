// The function the sending module exports (cli/SendModule).

#include "cli/SendModule.h"

extern "C" Q_DECL_EXPORT dorvane::SendBouquetsFunction dorvaneSendBouquets() {
    return &dorvane::sendBouquets;
}
