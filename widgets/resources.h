#pragma once

// The program's pictures, found by resource type and number as the dialogs and the start-up
// refer to them (res/pelmora.qrc lists them as ":/<type>/<number>").

#include <QByteArray>
#include <QString>

namespace widgets {

inline constexpr int kIconApp = 128; ///< type "icon": the application icon
inline constexpr int kJpgSplash = 168; ///< type "JPG": the 640x480 start-up picture
inline constexpr int kBitmapAbout = 175; ///< type "bitmap": the about box picture, magenta background

/// ":/<type>/<id>"; makes sure the resources linked into this library are registered.
QString ResourcePath(const char* type, int id);
/// The resource's bytes; empty when there is no such resource.
QByteArray ResourceBytes(const char* type, int id);

} // namespace widgets
