#pragma once

#include <QString>

// Tells the user something through the desktop's notifications, for when the window is not in
// front.
namespace tonvola::fs::notification {

// Sent to the desktop's notification service (org.freedesktop.Notifications on the session
// bus) without waiting for an answer; where the desktop has none, nothing is shown.
void show(const QString &summary, const QString &body);

} // namespace tonvola::fs::notification
