#pragma once

#include "maintenance/Maintenance.h"

#include <QString>

// What the user is asked and told about clearing the player folder and deleting a file.
namespace tonvola::maintenancetext {

[[nodiscard]] QString clearQuestion();
[[nodiscard]] QString deleteQuestion(const QString &path);

// The file to delete is already gone.
[[nodiscard]] QString gone(const QString &path);

// Names the file a deletion stopped at and why.
[[nodiscard]] QString failure(const maintenance::DeletionOutcome &outcome);

} // namespace tonvola::maintenancetext
