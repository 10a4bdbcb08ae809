#include "tests/support/test_app.h"

#include <QtCore/qglobal.h>

static void initResourcesOutsideNamespace() { Q_INIT_RESOURCE(resources); }

namespace numarika::testing {

void initTestResources() { initResourcesOutsideNamespace(); }

}  // namespace numarika::testing
