#include "controls/combo_box_ex_ex.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QStyledItemDelegate>
#include <algorithm>

#include "controls/skin_paint.h"
#include "controls/skin_path.h"

namespace qarv {

namespace {

// Pieces of "combobox.bmp": the left and right edges are 2 x 28 at x 0 and x 125, the top
// edge 18 x 3 at (2, 0) and the bottom edge 18 x 4 at (2, 24).
constexpr QRect kLeftEdge(0, 0, 2, 28);
constexpr QRect kTopEdge(2, 0, 18, 3);
constexpr QRect kBottomEdge(2, 24, 18, 4);
constexpr QRect kRightEdge(125, 0, 2, 28);
constexpr int kFrameImageWidth = 127;
constexpr int kFrameImageHeight = 28;
constexpr int kTextIndent = 2;
constexpr int kItemHeight = 16;

// Draws a list item: the selected one on the highlight colour, the text 2 pixels from the
// left, vertically centred, on one line, cut with an ellipsis.
class ComboItemDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->save();
        if (selected)
            painter->fillRect(option.rect, option.palette.color(QPalette::Highlight));
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(option.font);
        const QRect textRect = option.rect.adjusted(kTextIndent, 0, 0, 0);
        const QString text = index.data(Qt::DisplayRole).toString();
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(kItemHeight, option.fontMetrics.height() + 2));
        return size;
    }
};

}  // namespace

CComboBoxExEx::CComboBoxExEx(int id, QWidget* parent)
    : CComboBoxExEx(id, parent, SkinPath(QStringLiteral("combobox.bmp")),
                    SkinPath(QStringLiteral("combobox_thumb.bmp"))) {}

CComboBoxExEx::CComboBoxExEx(int id, QWidget* parent, const QString& frameImagePath,
                             const QString& thumbImagePath)
    : QComboBox(parent), id_(id) {
    frameImage_ = LoadSkinImage(frameImagePath);
    thumbImage_ = LoadSkinImage(thumbImagePath);
    setEditable(false);
    setMouseTracking(true);
    setFixedHeight(kHeight);
    setItemDelegate(new ComboItemDelegate(this));
}

bool CComboBoxExEx::HasSkin() const {
    return frameImage_.width() >= kFrameImageWidth && frameImage_.height() >= kFrameImageHeight &&
           thumbImage_.width() >= 3 * kThumbSize && thumbImage_.height() >= kThumbSize;
}

QRect CComboBoxExEx::FieldRect() const {
    return QRect(2, 3, std::max(0, width() - 2 - kThumbSize), std::max(0, height() - 6));
}

QRect CComboBoxExEx::ThumbRect() const {
    const int left = FieldRect().width();
    return QRect(left, 2, std::max(0, width() - 1 - left), std::max(0, height() - 4));
}

QRect CComboBoxExEx::HotArea() const {
    const int left = FieldRect().width();
    return QRect(left, 3, std::max(0, width() - 2 - left), std::max(0, height() - 6));
}

void CComboBoxExEx::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    PaintField(painter);
    PaintFrame(painter);
    PaintThumb(painter);
}

void CComboBoxExEx::PaintField(QPainter& painter) const {
    const QRect field = FieldRect();
    const bool highlighted = hasFocus() && !view()->isVisible();
    if (highlighted)
        painter.fillRect(field, palette().color(QPalette::Highlight));
    painter.setPen(palette().color(highlighted ? QPalette::HighlightedText : QPalette::Text));
    painter.setFont(font());
    const QRect textRect = field.adjusted(kTextIndent, 0, 0, 0);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(currentText(), Qt::ElideRight, textRect.width()));
}

void CComboBoxExEx::PaintFrame(QPainter& painter) const {
    const int w = width();
    const int h = height();
    if (!HasSkin()) {
        painter.setPen(palette().color(QPalette::Dark));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    painter.drawImage(QRect(0, 0, 2, h), frameImage_, kLeftEdge);
    painter.drawImage(QRect(2, 0, w - 2, 3), frameImage_, kTopEdge);
    painter.drawImage(QRect(2, h - 4, w - 2, 4), frameImage_, kBottomEdge);
    painter.drawImage(QRect(w - 2, 0, 2, h), frameImage_, kRightEdge);
}

void CComboBoxExEx::PaintThumb(QPainter& painter) const {
    const QRect target = ThumbRect();
    if (target.isEmpty())
        return;
    if (HasSkin()) {
        const int frame = pressed_ ? 2 : (hot_ ? 1 : 0);
        painter.drawImage(target, thumbImage_, QRect(frame * kThumbSize, 0, kThumbSize, kThumbSize));
        return;
    }
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    if (hot_)
        painter.fillRect(target, palette().color(group, pressed_ ? QPalette::Mid : QPalette::Midlight));
    const QPoint centre = target.center();
    const QPolygon arrow({centre + QPoint(-4, -2), centre + QPoint(4, -2), centre + QPoint(0, 2)});
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(group, QPalette::Text));
    painter.drawPolygon(arrow);
}

// The control turns hot when the pointer comes onto the drop button and stays hot until the
// pointer leaves the control.
void CComboBoxExEx::mouseMoveEvent(QMouseEvent* event) {
    QComboBox::mouseMoveEvent(event);
    if (hot_ || !HotArea().contains(event->position().toPoint()))
        return;
    hot_ = true;
    pressed_ = event->buttons() == Qt::LeftButton &&
               (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0;
    update();
}

void CComboBoxExEx::leaveEvent(QEvent* event) {
    QComboBox::leaveEvent(event);
    if (!hot_ && !pressed_)
        return;
    hot_ = false;
    pressed_ = false;
    update();
}

}  // namespace qarv
