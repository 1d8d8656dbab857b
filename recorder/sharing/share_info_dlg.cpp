#include "recorder/sharing/share_info_dlg.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QPlainTextEdit>

#include "controls/button_ex.h"
#include "controls/color_static.h"
#include "controls/combo_box_ex_ex.h"
#include "controls/edit_ex.h"
#include "controls/rect_ltrb.h"
#include "controls/skin_path.h"

namespace qarv {
namespace {

const QColor kBackground(100, 150, 150);

QString ControlName(int id) {
    return QStringLiteral("control%1").arg(id);
}

// The description field: several lines, with the cue rules of CEditEx (a click clears the
// cue, losing the focus puts it back when nothing was typed).
class CueTextArea : public QPlainTextEdit {
  public:
    CueTextArea(const QString& cue, QWidget* parent) : QPlainTextEdit(cue, parent), cue_(cue) {}

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && toPlainText() == cue_)
            clear();
        QPlainTextEdit::mousePressEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override {
        QPlainTextEdit::focusOutEvent(event);
        // The context menu takes the focus only for a moment; the user is still editing.
        if (event->reason() == Qt::PopupFocusReason)
            return;
        if (toPlainText().isEmpty() || toPlainText() == cue_)
            setPlainText(cue_);
    }

  private:
    const QString cue_;
};

CColorStatic* MakeLabel(QWidget* parent, int id, const QString& text, const QRect& geometry) {
    auto* label = new CColorStatic(parent);
    label->setObjectName(ControlName(id));
    label->setText(text);
    label->setGeometry(geometry);
    label->SetTextColor(Qt::white);
    label->SetBackColor(kBackground);
    return label;
}

}  // namespace

QStringList CShareInfoDlg::Categories() {
    return {QStringLiteral("炉石传说"), QStringLiteral("英雄联盟"), QStringLiteral("Dota"),
            QStringLiteral("最终幻想"), QStringLiteral("美女视频"), QStringLiteral("恶搞视频"),
            QStringLiteral("教育学习"), QStringLiteral("娱乐八卦"), QStringLiteral("趣味分享"),
            QStringLiteral("新发现")};
}

CShareInfoDlg::CShareInfoDlg(QString& title, QString& category, QString& description, QWidget* parent)
    : QDialog(parent), title_(title), category_(category), description_(description) {
    setWindowTitle(QStringLiteral("视频分享"));
    setFixedSize(260, 180);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    setPalette(colours);
    setAutoFillBackground(true);

    MakeLabel(this, kIdTitleLabel, QStringLiteral("标题 :"), Ltrb(5, 12, 38, 30));
    MakeLabel(this, kIdCategoryLabel, QStringLiteral("分类 :"), Ltrb(5, 42, 38, 60));

    titleField_ = new CEditEx(this);
    titleField_->setObjectName(ControlName(kIdTitle));
    titleField_->setGeometry(Ltrb(40, 10, 240, 32));
    titleField_->setText(title_.isEmpty() ? TitleCue() : title_);
    titleField_->SetCueText(TitleCue());

    confirmButton_ = new CButtonEx(kIdConfirm, this);
    confirmButton_->setObjectName(ControlName(kIdConfirm));
    confirmButton_->setGeometry(Ltrb(180, 38, 240, 63));
    confirmButton_->SetText(QStringLiteral("确定"));
    confirmButton_->SetImage(SkinPath(QStringLiteral("Button.png")));
    confirmButton_->SetBackColor(kBackground);
    connect(confirmButton_, &CButtonEx::Clicked, this, [this](int id) {
        if (id == kIdConfirm)
            Confirm();
    });

    // The box spans (40, 40) to (160, 160) with its list open; closed, only its field shows.
    categoryBox_ = new CComboBoxExEx(kIdCategory, this);
    categoryBox_->setObjectName(ControlName(kIdCategory));
    categoryBox_->setGeometry(Ltrb(40, 40, 160, 40 + CComboBoxExEx::kHeight));
    categoryBox_->addItems(Categories());
    const int start = categoryBox_->findText(QStringLiteral("炉石传说"));
    categoryBox_->setCurrentIndex(start >= 0 ? start : 0);

    descriptionField_ = new CueTextArea(DescriptionCue(), this);
    descriptionField_->setObjectName(ControlName(kIdDescription));
    descriptionField_->setGeometry(Ltrb(40, 72, 240, 165));

    titleField_->setFocus();
}

void CShareInfoDlg::mousePressEvent(QMouseEvent* event) {
    for (QWidget* field : {static_cast<QWidget*>(titleField_), static_cast<QWidget*>(descriptionField_),
                           static_cast<QWidget*>(categoryBox_)}) {
        if (field->hasFocus())
            field->clearFocus();
    }
    QDialog::mousePressEvent(event);
}

void CShareInfoDlg::Confirm() {
    const QString title = titleField_->text();
    title_ = title == TitleCue() ? QString() : title;
    category_ = categoryBox_->currentText();
    const QString description = descriptionField_->toPlainText();
    description_ = description == DescriptionCue() ? QString() : description;
    accept();
}

}  // namespace qarv
