#pragma once

#include <QUrl>

#include <functional>

namespace dorvane {

// The program's web site: its name, shown by the status bar's link label, and
// the four pages the link label and the link commands open.
namespace WebLinks {
inline constexpr char16_t kSiteName[] = u"Dorvane";
inline constexpr char kHomePage[] = "https://dorvane.example/";
inline constexpr char kProgramPage[] = "https://dorvane.example/dorvane/";
inline constexpr char kDiscussionPage[] = "https://dorvane.example/forum/dorvane/";
inline constexpr char kAnnouncementsPage[] = "https://dorvane.example/news/";

// Opens the page in the default web browser. A failure shows nothing and
// changes nothing.
void open(const char* address);

// Tests: who opens the pages instead of the browser; an empty opener puts the
// platform's back.
using Opener = std::function<void(const QUrl&)>;
void setOpener(Opener opener);
} // namespace WebLinks

} // namespace dorvane
