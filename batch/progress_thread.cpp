#include "batch/progress_thread.h"

namespace batch {

int RunProgressThread(ProgressThreadData& data)
{
    data.busy = true;
    int code = kEndWorkerFailed;
    if (!data.terminate && data.worker)
        code = data.worker(data) ? kEndWorkerDone : kEndWorkerFailed;
    data.busy = false;
    return code;
}

} // namespace batch
