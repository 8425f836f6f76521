#include "TestSupport.h"

namespace testsupport {

QString testDataDir()
{
    return QStringLiteral(TONVOLA_TEST_DATA);
}

} // namespace testsupport
