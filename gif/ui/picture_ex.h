#pragma once

// The animated picture control: a static control with a sunken border that shows what the GIF
// stream decoder loaded, a still picture or an animation played by the engine's animator on a
// thread of its own. It paints by copying the animator's off-screen image.

#include "gif/gif_animator.h"
#include "gif/gif_stream.h"

#include <QFrame>

#include <string>
#include <vector>

namespace gif_ui {

class CPictureEx : public QFrame {
    Q_OBJECT

public:
    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    bool LoadPictureFile(const std::string& path);
    bool LoadPictureData(codec::ByteView data);
    /// Stops the animation and empties the control; the information lines stay.
    void ClearPicture();
    /// Draws the still picture (true) or starts the animation (false).
    bool ShowPicture();
    void StopAnimation();
    /// Resizes the control to the picture, keeping its top-left corner, and prepares the
    /// off-screen image filled with the menu colour.
    bool PrepareSurface(int width, int height);

    const gif::GifStreamDecoder& Decoder() const { return decoder_; }
    const std::vector<std::string>& InfoLines() const { return decoder_.InfoLines(); }
    bool IsAnimating() const { return animator_.IsAnimating(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    gif::GifStreamDecoder decoder_;
    gif::GifAnimator animator_ { decoder_ };
};

} // namespace gif_ui
