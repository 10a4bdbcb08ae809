#pragma once

#include "platform/shell.h"

namespace numarika {

class QtShell final : public Shell {
  public:
    bool openUrl(const QString& url) override;
};

}  // namespace numarika
