#pragma once

#include "receiver/Send.h"

namespace dorvane {

// sendBouquets, from the module that holds the sending and libcurl
// (dorvane-send). libcurl brings TLS, SSH and a dozen more libraries whose
// loading slowed every start by more than the whole run on a small file, so
// it is loaded for a send only, as the downloads are (DownloadModule.h):
// beside the program, then in the installed library folder. EWriteError,
// "not sent", when the module cannot be loaded.
SendReport sendBouquetsFromModule(const std::vector<Bouquet>& bouquets, const SendPlan& plan);

// What the module exports: its sendBouquets.
using SendBouquetsFunction = SendReport (*)(const std::vector<Bouquet>&, const SendPlan&);
inline constexpr char kSendEntryName[] = "dorvaneSendBouquets";

} // namespace dorvane
