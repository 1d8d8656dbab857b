#include "recorder/library/item_dialog.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>

#include "common/messages.h"
#include "common/qt/qt_message_target.h"
#include "controls/button_ex.h"
#include "controls/rect_ltrb.h"
#include "controls/skin_path.h"
#include "recorder/library/re_name_edit.h"

namespace qarv {
namespace {

constexpr int kPictureHeight = CItemDialog::kHeight - 15;
constexpr int kPictureWidth = kPictureHeight * 4 / 3;
constexpr int kTextLeft = 2 + kPictureWidth + 2;

}  // namespace

CItemDialog::CItemDialog(int id, QWidget* page, QWidget* parent) : QWidget(parent), id_(id), page_(page) {
    setObjectName(QStringLiteral("control%1").arg(id));
    resize(kWidth, kHeight);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);  // a click on the row takes the focus from the title editor

    const std::pair<CButtonEx**, int> buttons[] = {
        {&shareButton_, kIdShare}, {&favouriteButton_, kIdFavourite}, {&deleteButton_, kIdDelete}};
    int top = 7;
    for (const auto& [button, buttonId] : buttons) {
        *button = new CButtonEx(buttonId, this);
        (*button)->setObjectName(QStringLiteral("control%1").arg(buttonId));
        (*button)->setGeometry(kWidth - 3 - kButtonSize, top, kButtonSize, kButtonSize);
        (*button)->SetBackColor(BackColor());
        (*button)->hide();
        connect(*button, &CButtonEx::Clicked, this, &CItemDialog::OnButton);
        top += kButtonSize + 6;
    }
    shareButton_->SetImage(SkinPath(QStringLiteral("btn_share.png")));
    shareButton_->SetToolTip(QStringLiteral("分享"));
    shareButton_->setAccessibleName(QStringLiteral("分享"));
    deleteButton_->SetImage(SkinPath(QStringLiteral("btn_delete.png")));
    deleteButton_->SetToolTip(QStringLiteral("删除"));
    deleteButton_->setAccessibleName(QStringLiteral("删除"));
    SetFavourite(false);

    titleEditor_ = new CReNameEdit(id, page, this);
    titleEditor_->setObjectName(QStringLiteral("control%1").arg(kIdTitle));
    titleEditor_->setGeometry(Ltrb(117, 10, 187, 28));
    connect(titleEditor_, &CReNameEdit::MouseLeft, this, &CItemDialog::PointerLeft);

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("control%1").arg(kIdProgress));
    progressBar_->setGeometry(Ltrb(117, 30, 197, 40));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->hide();
}

void CItemDialog::SetPicture(const QString& path) {
    if (path == picturePath_ && !picture_.isNull())
        return;
    picturePath_ = path;
    // Decoded once, at the size it is drawn: only the rows on show are ever filled.
    QImage image(path);
    if (image.isNull())
        image = QImage(SkinPath(QStringLiteral("default_jpeg.png")));
    picture_ = image.isNull() ? QImage()
                              : image.scaled(kPictureWidth, kPictureHeight, Qt::IgnoreAspectRatio,
                                             Qt::SmoothTransformation);
    update();
}

void CItemDialog::SetDateText(const QString& text) {
    dateText_ = text;
    update();
}

void CItemDialog::SetDurationText(const QString& text) {
    durationText_ = text;
    update();
}

void CItemDialog::SetShared(bool shared) {
    shared_ = shared;
    update();
}

void CItemDialog::SetFavourite(bool favourite) {
    favourite_ = favourite;
    const QString caption = favourite ? QStringLiteral("取消收藏") : QStringLiteral("收藏");
    favouriteButton_->SetImage(
        SkinPath(favourite ? QStringLiteral("btn_collect_yes.png") : QStringLiteral("btn_collect_no.png")));
    favouriteButton_->SetToolTip(caption);
    favouriteButton_->setAccessibleName(caption);
}

void CItemDialog::SetTitle(const QString& title) {
    titleEditor_->SetTitle(title);
}

void CItemDialog::ShowProgress(int percent) {
    if (percent >= 100) {
        SetShared(true);
        HideProgress();
        return;
    }
    progressBar_->setValue(std::max(percent, 0));
    progressBar_->show();
}

void CItemDialog::HideProgress() {
    progressBar_->setValue(0);
    progressBar_->hide();
}

bool CItemDialog::ButtonsShown() const {
    return shareButton_->isVisible();
}

void CItemDialog::ShowButtons(bool shown) {
    for (CButtonEx* button : {shareButton_, favouriteButton_, deleteButton_})
        button->setVisible(shown);
}

void CItemDialog::PostCommand(int command) const {
    QCoreApplication::postEvent(page_,
                                new WindowMessageEvent(WM_ITEM_COMMAND, static_cast<std::uintptr_t>(id_),
                                                       static_cast<std::intptr_t>(command)));
}

void CItemDialog::OnButton(int buttonId) {
    heldBack_ = true;
    PostCommand(buttonId);
}

void CItemDialog::enterEvent(QEnterEvent* event) {
    ShowButtons(true);
    heldBack_ = false;
    QWidget::enterEvent(event);
}

void CItemDialog::mouseMoveEvent(QMouseEvent* event) {
    if (!ButtonsShown()) {
        ShowButtons(true);
        heldBack_ = false;
    }
    QWidget::mouseMoveEvent(event);
}

void CItemDialog::leaveEvent(QEvent* event) {
    PointerLeft();
    QWidget::leaveEvent(event);
}

void CItemDialog::PointerLeft() {
    // The buttons stay while the pointer is still over the row (on one of its children),
    // unless a click has held them back.
    const bool inside = rect().contains(mapFromGlobal(QCursor::pos()));
    if (!inside || heldBack_)
        ShowButtons(false);
}

void CItemDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        titleEditor_->EndEditing();
        if (event->button() == Qt::LeftButton)
            PostCommand(0);
    }
    QWidget::mousePressEvent(event);
}

void CItemDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton)
        heldBack_ = true;
    QWidget::mouseReleaseEvent(event);
}

void CItemDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), BackColor());
    if (!picture_.isNull())
        painter.drawImage(QPoint(2, 2), picture_);
    painter.setFont(SongFont(9));
    painter.setPen(QColor(40, 60, 60));
    painter.drawText(QRect(kTextLeft, 44, kWidth - kTextLeft - 30, 16), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("时长: ") + durationText_);
    painter.drawText(
        QRect(kTextLeft, 62, kWidth - kTextLeft - 30, 16), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("状态: ") + (shared_ ? QStringLiteral("已分享") : QStringLiteral("未分享")));
    painter.drawText(QRect(2, kHeight - 12, kWidth - 4, 12), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("时间: ") + dateText_);
}

}  // namespace qarv
