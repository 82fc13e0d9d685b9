#include "tiff/ui/multipage_tiff_command.h"

#include "app/file_prompt.h"
#include "app/main_frame.h"
#include "app/varden_app.h"
#include "codec/ximage.h"
#include "core/registry.h"
#include "tiff/multipage_tiff.h"
#include "tiff/ui/multipage_tiff_dlg.h"

#include <string>
#include <vector>

namespace tiff_ui {

void OnMultipageTiff(app::CVardenApp& app, const PageListRunner& runPageList)
{
    std::vector<std::string> files;
    if (!app.PromptForImageFiles(files))
        return;

    CMultipageTiffDlg pages(app.MainFrame());
    pages.SetFileList(&files);
    if ((runPageList ? runPageList(pages) : pages.exec()) != QDialog::Accepted)
        return;

    const core::TypeFilter tiffFilter = core::ImageTypeFilter(codec::kTypeTif);
    app::FilePromptRequest request;
    request.mode = app::FilePromptRequest::Save;
    request.owner = app.MainFrame();
    request.title = QStringLiteral("Save As");
    request.nameFilters = app::ToQtNameFilters(tiffFilter.filter);
    request.defaultSuffix = QString::fromStdString(tiffFilter.defaultExtension);
    request.confirmOverwrite = false;
    const QStringList target = app::PromptForFiles(request);
    if (target.isEmpty())
        return;

    tiff::CreateMultipageTiff(app.GetUi(), files, target.first().toStdString());
}

} // namespace tiff_ui
