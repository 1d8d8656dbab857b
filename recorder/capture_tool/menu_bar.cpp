#include "recorder/capture_tool/menu_bar.h"

#include <QCoreApplication>
#include <QPainter>

#include "common/messages.h"
#include "common/qt/qt_message_target.h"
#include "controls/button_ex.h"
#include "controls/skin_path.h"

namespace qarv {
namespace {

const QColor kBackColor(188, 230, 200);
const QColor kFrameColor(108, 220, 188);

}  // namespace

CMenuBar::CMenuBar(QWidget* parent, int id, QPoint position) : QWidget(parent), id_(id) {
    setGeometry(position.x(), position.y(), kWidth, kHeight);
    struct ButtonLayout {
        CButtonEx** button;
        int id;
        QRect rect;
        const char* tip;
        const char* image;
    };
    const ButtonLayout buttons[] = {
        {&save_, kIdSave, QRect(3, 3, 21, 21), "保存 Ctrl+S", "menu_save.png"},
        {&close_, kIdClose, QRect(27, 3, 21, 21), "关闭截图", "menu_close.png"},
        {&finish_, kIdFinish, QRect(51, 3, 48, 21), "完成截图", "menu_finish.png"},
    };
    for (const ButtonLayout& item : buttons) {
        auto* button = new CButtonEx(item.id, this);
        button->setGeometry(item.rect);
        button->SetToolTip(QString::fromUtf8(item.tip));
        button->SetImage(SkinPath(QString::fromUtf8(item.image)));
        button->SetBackColor(kBackColor);
        connect(button, &CButtonEx::Clicked, this, &CMenuBar::OnClick);
        *item.button = button;
    }
    hide();
}

void CMenuBar::ShowNear(const Rect& outer, int screenHeight) {
    const Point at = MenuBarPosition(outer, Size{width(), height()}, screenHeight);
    move(at.x, at.y);
    show();
    raise();
}

bool CMenuBar::HandleEnter() {
    if (!isVisible())
        return false;
    hide();
    PostToParent(WM_CAPTURE_FINISH);
    return true;
}

bool CMenuBar::HandleShortcut(Qt::KeyboardModifiers modifiers, int key) {
    if (modifiers != Qt::ControlModifier || key != Qt::Key_S || !save_->isEnabled())
        return false;
    PostToParent(WM_CAPTURE_SAVE);
    return true;
}

void CMenuBar::OnClick(int id) {
    switch (id) {
        case kIdSave:
            PostToParent(WM_CAPTURE_SAVE);
            break;
        case kIdClose:
            hide();
            PostToParent(WM_CLOSE);
            break;
        case kIdFinish:
            hide();
            PostToParent(WM_CAPTURE_FINISH);
            break;
        default:
            break;
    }
}

void CMenuBar::PostToParent(unsigned message) {
    if (parentWidget())
        QCoreApplication::postEvent(parentWidget(), new WindowMessageEvent(message, 0, 0));
}

void CMenuBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackColor);
    painter.setPen(kFrameColor);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace qarv
