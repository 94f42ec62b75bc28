#pragma once
// The Video, Audio and Subpicture pages: their stream check boxes in two columns that
// share the page's width, and "Select all" / "Select none" in the context menu.
#include <vector>

#include <QCheckBox>
#include <QString>
#include <QWidget>

class QAction;

namespace qf {

// A stream check box. Its caption is the stream's name and so data: text() keeps it
// whole, while a caption too long for the box is shown elided in the middle, with the
// whole caption as the hint.
class StreamBox : public QCheckBox {
public:
    explicit StreamBox(QWidget* parent = nullptr);
    // `hint` is shown while the caption fits.
    void setCaption(const QString& caption, const QString& hint);
    // The caption as drawn.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateHint();
    QString hint_;
};

class StreamPage : public QWidget {
    Q_OBJECT
public:
    // family 0 video (eight boxes cbVideo0 ...), 1 audio (cbAudio00 ...), 2 subpicture
    // (cbSub00 ...), sixteen each.
    explicit StreamPage(int family, QWidget* parent = nullptr);
    StreamBox* box(int index) const { return boxes_.at(static_cast<size_t>(index)); }
    int count() const { return static_cast<int>(boxes_.size()); }
    // The page width at which every box shows its caption whole.
    int widthForWholeCaptions() const;

signals:
    void boxClicked(int index, bool checked);
    // "Select all" (true) or "Select none" (false).
    void selectRequested(bool checked);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeBoxes();
    std::vector<StreamBox*> boxes_;
};

} // namespace qf
