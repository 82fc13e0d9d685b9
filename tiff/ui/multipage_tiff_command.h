#pragma once

// The "Multipage Tiff" command: the files, the page list, the target, the build.

#include <functional>

namespace app {
class CVardenApp;
}

namespace tiff_ui {

class CMultipageTiffDlg;

/// Shows the page list modally and answers its result; tests replace it to drive the dialog.
using PageListRunner = std::function<int(CMultipageTiffDlg&)>;

/// Runs the whole command on the user-interface thread. Cancelling any of its three dialogs
/// ends it with nothing written.
void OnMultipageTiff(app::CVardenApp& app, const PageListRunner& runPageList = {});

} // namespace tiff_ui
