#pragma once

#include "cli/common.h"

namespace cli {

int RunInfo(Args& args);
int RunConvert(Args& args);
int RunBatch(Args& args);

} // namespace cli
