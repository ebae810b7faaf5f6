#pragma once

#include <QString>

#include <functional>

namespace dorvane {

// Every event handler of the window is entered through here. An error raised
// by the handler ends it and is shown in the application's error box; it never
// crosses Qt's event loop, and the window goes on working.
void guarded(const std::function<void()>& handler) noexcept;

// Shows the application's error box for a message.
void showErrorBox(const QString& message);

// What the error box shows for a message: a full stop is added when the last
// character's code lies above that of the full stop.
QString errorBoxText(const QString& message);

} // namespace dorvane
