#pragma once

// A static text of a dialog made into a link look-alike with one call: drawn in the link colour,
// underlined while the pointer is over it, a hand cursor, and a click reported like a button's.
// Nothing but the label is needed: event filters on the label and on its parent do the work and
// every piece of state lives in dynamic properties of the two widgets, under these names.

#include <QColor>
#include <QCursor>
#include <QObject>
#include <QPalette>

class QLabel;
class QWidget;

namespace widgets {

/// On the label: the filter that watches it; on the parent: the parent's filter (set once).
inline constexpr char kHyperlinkOriginalProc[] = "_Hyperlink_Original_Proc_";
/// On the label: its font before it became a link.
inline constexpr char kHyperlinkOriginalFont[] = "_Hyperlink_Original_Font_";
/// On the label: the saved font with underline on, used while the pointer is over it.
inline constexpr char kHyperlinkUnderlineFont[] = "_Hyperlink_Underline_Font_";
/// On the label: 1; marks it as a link for the parent's colour handling.
inline constexpr char kHyperlinkFromStatic[] = "_Hyperlink_From_Static_";

/// Red 0, green 0, blue 192.
inline QColor HyperlinkColor()
{
    return QColor(0, 0, 192);
}

/// The filter on one link label: hover font, hand cursor, clicks. Owned by the label.
class HyperlinkStatic : public QObject {
    Q_OBJECT
public:
    explicit HyperlinkStatic(QLabel* label);
    /// True while the pointer is over the link (the underline font is shown).
    bool IsHot() const { return hot_; }
    /// Undoes every change made to the label and deletes this filter.
    void Detach();

signals:
    /// A press and a release of the left button, both inside the label.
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetHot(bool hot);

    QLabel* label_;
    bool hot_ = false;
    bool pressed_ = false;
    // What attaching changed beyond the named properties, so that detaching restores it.
    bool hadOwnCursor_ = false;
    QCursor savedCursor_;
    bool hadMouseTracking_ = false;
    bool hadOwnPalette_ = false;
    QPalette savedPalette_;
};

/// The filter on a parent of links: gives every child marked as a link the link colour, now and
/// whenever the style polishes it again. Owned by the parent; one per parent however many links.
class HyperlinkParent : public QObject {
    Q_OBJECT
public:
    explicit HyperlinkParent(QWidget* parent);
    static void ApplyLinkColor(QLabel* label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

/// Makes `label` a link. Call once the dialog has built its controls; a second call on the same
/// label changes nothing. Always true.
bool AttachHyperlink(QLabel* label);
/// The filter of a link label (connect to its clicked signal); nullptr for any other label.
HyperlinkStatic* FindHyperlink(const QLabel* label);
/// Makes a link an ordinary label again; the parent's filter goes with its last link.
void DetachHyperlink(QLabel* label);

} // namespace widgets
