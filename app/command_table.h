#pragma once

// The program's command ids and the tables built from them: the two menus, the accelerator table,
// the toolbar, and the status-bar prompt and tooltip of each command. The frames build one QAction
// per command id from these tables; nothing else spells a menu text or a shortcut.

#include <cstdint>
#include <span>

namespace app {

enum CommandId : int {
    // Framework commands.
    kIdFileNew = 57600,
    kIdFileOpen = 57601,
    kIdFileClose = 57602,
    kIdFileSave = 57603,
    kIdFileSaveAs = 57604,
    kIdFilePrintSetup = 57606,
    kIdFilePrint = 57607,
    kIdFilePrintDirect = 57608,
    kIdFilePrintPreview = 57609,
    kIdFileMruFirst = 57616, ///< the recent-file entries are 57616 to 57616 + kRecentFileCount - 1
    kIdEditCopy = 57634,
    kIdEditCut = 57635,
    kIdEditPaste = 57637,
    kIdEditUndo = 57643,
    kIdWindowNew = 57648,
    kIdWindowArrange = 57649,
    kIdWindowCascade = 57650,
    kIdWindowTile = 57651,
    kIdAppAbout = 57664,
    kIdAppExit = 57665,
    kIdNextPane = 57680,
    kIdPrevPane = 57681,
    kIdViewToolbar = 59392,
    kIdViewStatusBar = 59393,
    kIdFirstWindowEntry = 65280, ///< the Window menu's list of open windows

    // Commands that work on many files (the application object routes them).
    kIdBatchConvert = 32822,
    kIdAnimateGif = 32825,
    kIdExtractGifFrames = 32843,
    kIdEncrypt = 32840,
    kIdDecrypt = 32838,
    kIdMultipageTiff = 32842,

    // Commands on the open image (the view).
    kIdConvertBmp = 32798,
    kIdConvertGif = 32799,
    kIdConvertJpg = 32800,
    kIdConvertPng = 32802,
    kIdConvertIco = 32803,
    kIdConvertTif = 32805,
    kIdConvertTga = 32807,
    kIdConvertPcx = 32808,
    kIdConvertWbmp = 32809,
    kIdConvertWmf = 32810,
    kIdConvertJp2 = 32813,
    kIdConvertJpc = 32816,
    kIdConvertPgx = 32817,
    kIdConvertPnm = 32818,
    kIdConvertRas = 32821,
    kIdConvertPdf = 32846, ///< offered in the menu, but nothing handles it
    kIdRotateLeft = 32828,
    kIdRotateRight = 32829,
    kIdRotate180 = 32830,
    kIdRedEye = 32835,

    kIdZoomBox = 32823,
};

inline constexpr int kRecentFileCount = 4;
inline constexpr int kMenuNoDocument = 128;
inline constexpr int kMenuDocument = 129;

/// One line of a menu resource, in resource order: a popup opens a level that End closes.
struct MenuEntry {
    enum Kind { Item, Separator, Popup, End } kind;
    int id = 0;
    const char* text = "";
};

/// Menu 128 (no document open) or 129 (a document active).
std::span<const MenuEntry> MenuResource(int menuId);

struct Accelerator {
    const char* keys; ///< QKeySequence portable text
    int id;
};
/// Accelerator table 128.
std::span<const Accelerator> AcceleratorTable();

/// Toolbar 128, left to right; 0 is a separator. Image i of bitmap 128 belongs to button i
/// (separators take no image).
std::span<const int> ToolbarButtons();
inline constexpr int kToolbarImageWidth = 16;
inline constexpr int kToolbarImageHeight = 17;

/// The status-bar prompt and the tooltip of a command ("prompt\ntooltip"); nullptr when the
/// command has none.
const char* CommandString(int id);

/// The conversion target type of a convert command; 0 for any other command.
std::uint32_t ConvertCommandType(int id);

} // namespace app
