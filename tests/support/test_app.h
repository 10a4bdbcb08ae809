#pragma once

namespace numarika::testing {

// Call once at the start of a test program, after QApplication exists: loads the program's
// resources.
void initTestResources();

}  // namespace numarika::testing
