#pragma once

#include "cli/common.h"

namespace cli {

int RunInfo(Args& args);
int RunConvert(Args& args);
int RunEncrypt(Args& args);
int RunDecrypt(Args& args);

} // namespace cli
