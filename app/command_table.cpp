#include "app/command_table.h"

#include <array>
#include <utility>

namespace app {

namespace {

using K = MenuEntry::Kind;

constexpr MenuEntry kMenu128[] = {
    { K::Popup, 0, "&File" },
    { K::Item, kIdFileOpen, "&Open...\tCtrl+O" },
    { K::Separator },
    { K::Item, kIdFilePrintSetup, "P&rint Setup..." },
    { K::Separator },
    { K::Item, kIdFileMruFirst, "Recent File" },
    { K::Separator },
    { K::Item, kIdFileClose, "&Close" },
    { K::Item, kIdAppExit, "E&xit" },
    { K::End },
    { K::Popup, 0, "&Convert" },
    { K::Item, kIdBatchConvert, "&Batch convert..." },
    { K::Item, kIdAnimateGif, "&Animate GIF..." },
    { K::Item, kIdExtractGifFrames, "E&xtract GIF frames..." },
    { K::Item, kIdEncrypt, "&Encrypt" },
    { K::Item, kIdDecrypt, "&Decrypt" },
    { K::Item, kIdMultipageTiff, "&Multipage Tiff..." },
    { K::End },
    { K::Popup, 0, "&View" },
    { K::Item, kIdViewToolbar, "&Toolbar" },
    { K::Item, kIdViewStatusBar, "&Status Bar" },
    { K::End },
    { K::Popup, 0, "&Help" },
    { K::Item, kIdAppAbout, "&About Pelmora..." },
    { K::End },
};

constexpr MenuEntry kMenu129[] = {
    { K::Popup, 0, "&File" },
    { K::Item, kIdFileOpen, "&Open...\tCtrl+O" },
    { K::Item, kIdFileClose, "&Close" },
    { K::Item, kIdFileSave, "&Save\tCtrl+S" },
    { K::Item, kIdFileSaveAs, "Save &As..." },
    { K::Separator },
    { K::Item, kIdFilePrint, "&Print...\tCtrl+P" },
    { K::Item, kIdFilePrintPreview, "Print Pre&view" },
    { K::Item, kIdFilePrintSetup, "P&rint Setup..." },
    { K::Separator },
    { K::Item, kIdFileMruFirst, "Recent File" },
    { K::Separator },
    { K::Item, kIdAppExit, "E&xit" },
    { K::End },
    { K::Popup, 0, "&Convert" },
    { K::Popup, 0, "Image" },
    { K::Item, kIdConvertBmp, ".bmp..." },
    { K::Item, kIdConvertGif, ".gif..." },
    { K::Item, kIdConvertIco, ".ico..." },
    { K::Item, kIdConvertJpc, ".jpc..." },
    { K::Item, kIdConvertJpg, ".jpg..." },
    { K::Item, kIdConvertJp2, ".jp2..." },
    { K::Item, kIdConvertPcx, ".pcx..." },
    { K::Item, kIdConvertPgx, ".pgx..." },
    { K::Item, kIdConvertPng, ".png..." },
    { K::Item, kIdConvertPnm, ".pnm..." },
    { K::Item, kIdConvertRas, ".ras..." },
    { K::Item, kIdConvertTga, ".tga..." },
    { K::Item, kIdConvertTif, ".tif..." },
    { K::Item, kIdConvertPdf, ".pdf" },
    { K::End },
    { K::Item, kIdBatchConvert, "Batch convert..." },
    { K::Separator },
    { K::Item, kIdAnimateGif, "Animate GIF..." },
    { K::Item, kIdExtractGifFrames, "E&xtract GIF frames..." },
    { K::Separator },
    { K::Item, kIdEncrypt, "&Encrypt..." },
    { K::Item, kIdDecrypt, "&Decrypt..." },
    { K::Separator },
    { K::Item, kIdMultipageTiff, "Multipage Tiff..." },
    { K::End },
    { K::Popup, 0, "&Edit" },
    { K::Item, kIdEditCopy, "&Copy \t(Ctrl + C)" },
    { K::Item, kIdRotateLeft, "Rotate &Left \t(Ctrl + L)" },
    { K::Item, kIdRotateRight, "Rotate &Right \t(Ctrl + R)" },
    { K::Item, kIdRotate180, "&Rotate 180\u00b0 \t(Ctrl + F)" },
    { K::Item, kIdRedEye, "Remove red &eye\t(Ctrl + E)" },
    { K::End },
    { K::Popup, 0, "&View" },
    { K::Item, kIdViewToolbar, "&Toolbar" },
    { K::Item, kIdViewStatusBar, "&Status Bar" },
    { K::End },
    { K::Popup, 0, "&Window" },
    { K::Item, kIdWindowNew, "&New Window" },
    { K::Item, kIdWindowCascade, "&Cascade" },
    { K::Item, kIdWindowTile, "&Tile" },
    { K::Item, kIdWindowArrange, "&Arrange Icons" },
    { K::End },
    { K::Popup, 0, "&Help" },
    { K::Item, kIdAppAbout, "&About Pelmora..." },
    { K::End },
};

constexpr Accelerator kAccelerators[] = {
    { "Ctrl+C", kIdEditCopy },
    { "Ctrl+Ins", kIdEditCopy },
    { "Shift+Del", kIdEditCut },
    { "Ctrl+X", kIdEditCut },
    { "Ctrl+V", kIdEditPaste },
    { "Shift+Ins", kIdEditPaste },
    { "Ctrl+Z", kIdEditUndo },
    { "Alt+Backspace", kIdEditUndo },
    { "Ctrl+F", kIdRotate180 },
    { "Ctrl+L", kIdRotateLeft },
    { "Ctrl+R", kIdRotateRight },
    { "Ctrl+E", kIdRedEye },
    { "Ctrl+N", kIdFileNew },
    { "Ctrl+O", kIdFileOpen },
    { "Ctrl+P", kIdFilePrint },
    { "Ctrl+S", kIdFileSave },
    { "F6", kIdNextPane },
    { "Shift+F6", kIdPrevPane },
};

constexpr int kToolbar[] = {
    kIdFileOpen,
    kIdFileSave,
    0,
    kIdZoomBox,
    kIdZoomBox,
    kIdZoomBox,
    0,
    kIdEditCopy,
    0,
    kIdFilePrint,
    kIdAppAbout,
};

// The view's prompts are the program's own; the rest are the framework's usual ones.
constexpr std::pair<int, const char*> kStrings[] = {
    { kIdFilePrint, "Print the active document\nPrint" },
    { kIdFilePrintDirect, "Print the active document\nPrint" },
    { kIdFilePrintPreview, "Display full pages\nPrint Preview" },
    { kIdConvertBmp, "Convert this image to .bmp\nConvert to .bmp" },
    { kIdConvertGif, "Convert this image to .gif\nConvert to .gif" },
    { kIdConvertJpg, "Convert this image to .jpg\nConvert to .jpg" },
    { kIdConvertPng, "Convert this image to .png\nConvert to .png" },
    { kIdConvertIco, "Convert this image to .ico\nConvert to .ico" },
    { kIdConvertTif, "Convert this image to .tif\nConvert to .tif" },
    { kIdConvertTga, "Convert this image to .tga\nConvert to .tga" },
    { kIdConvertPcx, "Convert this image to .pcx\nConvert to .pcx" },
    { kIdConvertWbmp, "Convert this image to .wbmp\nConvert to .wbmp" },
    { kIdConvertWmf, "Convert this image to .wmf\nConvert to .wmf" },
    { kIdConvertJp2, "Convert this image to .jp2\nConvert to .jp2" },
    { kIdConvertJpc, "Convert this image to .jpc\nConvert to .jpc" },
    { kIdConvertPgx, "Convert this image to .pgx\nConvert to .pgx" },
    { kIdConvertPnm, "Convert this image to .pnm\nConvert to .pnm" },
    { kIdConvertRas, "Convert this image to .ras\nConvert to .ras" },
    { kIdEditCopy, "Copy the selection and put it on the Clipboard\nCopy" },
    { kIdRotateLeft, "Rotate this image to the left\nRotate left" },
    { kIdRotateRight, "Rotate this image to the right\nRotate right" },
    { kIdRotate180, "Rotate this image 180\u00b0\nRotate 180\u00b0" },
    { kIdRedEye, "Remove the red eye effect from this image\nRemove red eyes" },

    { kIdFileNew, "Create a new document\nNew" },
    { kIdFileOpen, "Open an existing document\nOpen" },
    { kIdFileClose, "Close the active document\nClose" },
    { kIdFileSave, "Save the active document\nSave" },
    { kIdFileSaveAs, "Save the active document with a new name\nSave As" },
    { kIdFilePrintSetup, "Change the printer and printing options\nPrint Setup" },
    { kIdFileMruFirst + 0, "Open this document" },
    { kIdFileMruFirst + 1, "Open this document" },
    { kIdFileMruFirst + 2, "Open this document" },
    { kIdFileMruFirst + 3, "Open this document" },
    { kIdWindowNew, "Open another window for the active document\nNew Window" },
    { kIdWindowArrange, "Arrange icons at the bottom of the window\nArrange Icons" },
    { kIdWindowCascade, "Arrange windows so they overlap\nCascade Windows" },
    { kIdWindowTile, "Arrange windows as non-overlapping tiles\nTile Windows" },
    { kIdAppAbout, "Display program information, version number and copyright\nAbout" },
    { kIdAppExit, "Quit the application\nExit" },
    { kIdViewToolbar, "Show or hide the toolbar\nToggle ToolBar" },
    { kIdViewStatusBar, "Show or hide the status bar\nToggle StatusBar" },
};

constexpr std::pair<int, std::uint32_t> kConvertTypes[] = {
    { kIdConvertBmp, 1 },
    { kIdConvertGif, 2 },
    { kIdConvertJpg, 3 },
    { kIdConvertPng, 4 },
    { kIdConvertIco, 5 },
    { kIdConvertTif, 6 },
    { kIdConvertTga, 7 },
    { kIdConvertPcx, 8 },
    { kIdConvertWbmp, 9 },
    { kIdConvertWmf, 10 },
    { kIdConvertJp2, 11 },
    { kIdConvertJpc, 12 },
    { kIdConvertPgx, 13 },
    { kIdConvertPnm, 14 },
    { kIdConvertRas, 15 },
};

} // namespace

std::span<const MenuEntry> MenuResource(int menuId)
{
    if (menuId == kMenuNoDocument)
        return kMenu128;
    if (menuId == kMenuDocument)
        return kMenu129;
    return {};
}

std::span<const Accelerator> AcceleratorTable()
{
    return kAccelerators;
}

std::span<const int> ToolbarButtons()
{
    return kToolbar;
}

const char* CommandString(int id)
{
    for (const auto& [commandId, text] : kStrings)
        if (commandId == id)
            return text;
    return nullptr;
}

std::uint32_t ConvertCommandType(int id)
{
    for (const auto& [commandId, type] : kConvertTypes)
        if (commandId == id)
            return type;
    return 0;
}

} // namespace app
