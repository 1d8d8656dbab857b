#include "controls/tool_bar_ex.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "controls/skin_paint.h"
#include "controls/skin_path.h"

namespace qarv {

namespace {

constexpr int kHoverFrame = 0;
constexpr int kSelectedFrame = 1;

}  // namespace

CToolBarEx::CToolBarEx(int itemSize, int gap, int id, QWidget* parent)
    : QWidget(parent),
      id_(id),
      itemSize_(itemSize),
      gap_(gap),
      framePath_(SkinPath(QStringLiteral("frame.png"))) {
    setMouseTracking(true);
}

void CToolBarEx::AddItem(const QString& imagePath, const QString& text, int id) {
    items_.push_back(Item{imagePath, text, id, false, false});
    update();
}

void CToolBarEx::Select(int index) {
    for (int i = 0; i < ItemCount(); ++i) {
        items_[i].selected = i == index;
        if (i != index)
            items_[i].hovered = false;
    }
    update();
}

int CToolBarEx::SelectedIndex() const {
    for (int i = 0; i < ItemCount(); ++i) {
        if (items_[i].selected)
            return i;
    }
    return -1;
}

int CToolBarEx::HoveredIndex() const {
    for (int i = 0; i < ItemCount(); ++i) {
        if (items_[i].hovered)
            return i;
    }
    return -1;
}

int CToolBarEx::ItemId(int index) const {
    return ValidIndex(index) ? items_[index].id : -1;
}

// Placed from the current height, so items added before the bar got its size are placed right.
QRect CToolBarEx::ItemRect(int index) const {
    if (!ValidIndex(index))
        return {};
    return QRect(index * (gap_ + kItemWidth), (height() - kItemWidth) / 2, kItemWidth, itemSize_);
}

QRect CToolBarEx::TextRect(int index) const {
    const QRect item = ItemRect(index);
    if (item.isNull())
        return {};
    return QRect(item.left(), item.top() + item.height() - kTextHeight, item.width(), kTextHeight);
}

void CToolBarEx::SetTextColor(const QColor& color) {
    textColor_ = color;
    update();
}

void CToolBarEx::SetFramePath(const QString& path) {
    framePath_ = path;
    update();
}

void CToolBarEx::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage frame = LoadSkinImage(framePath_);
    painter.setFont(SongFont());
    for (int i = 0; i < ItemCount(); ++i) {
        const Item& item = items_[i];
        const QRect itemRect = ItemRect(i);
        const QImage image = LoadSkinImage(item.imagePath);
        if (!image.isNull()) {
            const int x = itemRect.left() + (itemRect.width() - image.width()) / 2;
            painter.drawImage(QPoint(x, itemRect.top() + kImageTop), image);
        }
        if (!item.text.isEmpty()) {
            painter.setPen(Alpha254(textColor_));
            painter.drawText(TextRect(i), Qt::AlignCenter, item.text);
        }
        if (item.selected)
            DrawStripFrame(painter, frame, kSelectedFrame, 2, itemRect);
        else if (item.hovered)
            DrawStripFrame(painter, frame, kHoverFrame, 2, itemRect);
    }
}

int CToolBarEx::IndexAt(const QPoint& pos) const {
    for (int i = 0; i < ItemCount(); ++i) {
        if (ItemRect(i).contains(pos))
            return i;
    }
    return -1;
}

void CToolBarEx::SetHoverAt(const QPoint& pos) {
    bool changed = false;
    for (int i = 0; i < ItemCount(); ++i) {
        const bool hovered = ItemRect(i).contains(pos);
        changed |= items_[i].hovered != hovered;
        items_[i].hovered = hovered;
    }
    if (changed)
        update();
}

void CToolBarEx::ClearHover() {
    bool changed = false;
    for (Item& item : items_) {
        changed |= item.hovered;
        item.hovered = false;
    }
    if (changed)
        update();
}

void CToolBarEx::mouseMoveEvent(QMouseEvent* event) {
    SetHoverAt(event->position().toPoint());
}

void CToolBarEx::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    ClearHover();
}

void CToolBarEx::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int index = IndexAt(event->position().toPoint());
    if (index < 0)
        return;
    Select(index);
    emit ItemSelected(items_[index].id);  // last: a receiver may delete the bar
}

}  // namespace qarv
