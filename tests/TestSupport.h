#pragma once

#include <QString>

namespace testsupport {

// Folder that holds the MP3s the test data script made.
[[nodiscard]] QString testDataDir();

} // namespace testsupport
