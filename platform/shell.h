#pragma once

#include <QString>

namespace numarika {

// Hands a web address to the program the user has for web addresses.
class Shell {
  public:
    virtual ~Shell() = default;
    // False when no program took it; nothing is shown either way.
    virtual bool openUrl(const QString& url) = 0;
};

}  // namespace numarika
