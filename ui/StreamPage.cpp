#include "StreamPage.h"

#include <algorithm>

#include <QAction>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace qf {

namespace {

// Places at the layout's page width of 338: columns at 9 and 165, 140 wide.
constexpr int kTops[8] = {9, 31, 53, 75, 98, 120, 142, 165};
constexpr int kLeft = 9, kGap = 16, kRightMargin = 33, kHeight = 17;

const char* const kPageName[3] = {"tsVideo", "tsAudio", "tsSubpicture"};
const char* const kPageHint[3] = {"Check the desired video stream",
                                  "Check the desired audio streams",
                                  "Check the desired subpicture streams"};

QString boxName(int family, int i) {
    if (family == 0) return QStringLiteral("cbVideo%1").arg(i);
    return (family == 1 ? QStringLiteral("cbAudio%1") : QStringLiteral("cbSub%1"))
        .arg(i, 2, 10, QChar(u'0'));
}

} // namespace

StreamBox::StreamBox(QWidget* parent) : QCheckBox(parent) {}

void StreamBox::setCaption(const QString& caption, const QString& hint) {
    if (text() != caption) setText(caption);
    hint_ = hint;
    updateHint();
}

QString StreamBox::shownText() const {
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QRect room = style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, this);
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width());
}

void StreamBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.text = shownText().replace(u'&', QStringLiteral("&&")); // no mnemonics in names
    painter.drawControl(QStyle::CE_CheckBox, opt);
}

void StreamBox::resizeEvent(QResizeEvent* event) {
    QCheckBox::resizeEvent(event);
    updateHint();
}

void StreamBox::updateHint() {
    const QString hint = shownText() == text() ? hint_ : text();
    if (toolTip() != hint) setToolTip(hint);
}

StreamPage::StreamPage(int family, QWidget* parent) : QWidget(parent) {
    setObjectName(QString::fromLatin1(kPageName[family]));
    setToolTip(QString::fromLatin1(kPageHint[family]));
    const int count = family == 0 ? 8 : 16;
    for (int i = 0; i < count; ++i) {
        auto* box = new StreamBox(this);
        box->setObjectName(boxName(family, i));
        connect(box, &QCheckBox::clicked, this, [this, i](bool on) { emit boxClicked(i, on); });
        boxes_.push_back(box);
    }
    // A right click on a box reaches the page, which shows these.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    for (bool on : {true, false}) {
        auto* action =
            new QAction(on ? QStringLiteral("Select all") : QStringLiteral("Select none"), this);
        action->setObjectName(on ? QStringLiteral("actSelectAll")
                                 : QStringLiteral("actSelectNone"));
        connect(action, &QAction::triggered, this, [this, on] { emit selectRequested(on); });
        addAction(action);
    }
    resize(338, 203);
    placeBoxes();
}

void StreamPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeBoxes();
}

int StreamPage::widthForWholeCaptions() const {
    int column = 0;
    for (const StreamBox* b : boxes_) column = std::max(column, b->sizeHint().width());
    return kLeft + kGap + kRightMargin + 2 * column;
}

void StreamPage::placeBoxes() {
    // Two columns share the width beyond the margins.
    const int column = std::max(1, (width() - kLeft - kGap - kRightMargin) / 2);
    for (int i = 0; i < count(); ++i)
        box(i)->setGeometry(i < 8 ? kLeft : kLeft + column + kGap, kTops[i % 8], column, kHeight);
}

} // namespace qf
