#pragma once

#include "cli/common.h"

namespace cli {

int RunInfo(Args& args);
int RunConvert(Args& args);
int RunEncrypt(Args& args);
int RunDecrypt(Args& args);
int RunGifAnimate(Args& args);
int RunGifInfo(Args& args);
int RunGifExtract(Args& args);
int RunTiff(Args& args);
int RunRotate(Args& args);
int RunBatch(Args& args);
/// The batch command after expanding --preset and handling --save-preset and --list-presets.
int RunBatchWithPresets(const std::vector<std::string>& raw);
int RunReport(Args& args);

} // namespace cli
