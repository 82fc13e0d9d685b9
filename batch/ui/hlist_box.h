#pragma once

// The conversion report's list: a list box whose horizontal scroll range is as wide as its longest
// line, with Ctrl+A to select every line and Ctrl+C to copy the selected ones as text.

#include <QListWidget>
#include <QString>

namespace batch::ui {

class CHListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CHListBox(QWidget* parent = nullptr);
    ~CHListBox() override;

    /// Adds a line at the end; answers its index, or -1 when the list did not take it.
    int AddString(const QString& text);
    /// Widens the horizontal extent to `text` when it is wider than every line measured so far;
    /// called after a line was added. The extent never shrinks.
    void UpdateExtent(const QString& text);
    /// Empties the list and forgets the extent.
    void ResetContent();
    /// The widest line measured so far, in pixels (0 for none).
    int MaxExtent() const { return maxExtent_; }

    /// Every selected line followed by "\r\n", in line order; empty when nothing is selected.
    QString SelectedText() const;
    /// Places SelectedText() on the clipboard; nothing selected leaves the clipboard alone.
    void CopySelection();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void updateGeometries() override;

private:
    int maxExtent_ = 0;
};

} // namespace batch::ui
