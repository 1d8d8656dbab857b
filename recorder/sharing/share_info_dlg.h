#pragma once
// The modal window that asks, before a video is shared, for its title, one of ten categories
// and a description. "确定" ends it with Accepted and writes the three texts into the
// caller's strings; closing it any other way leaves them untouched. Called on the UI thread.

#include <QDialog>
#include <QString>
#include <QStringList>

class QPlainTextEdit;

namespace qarv {

class CButtonEx;
class CComboBoxExEx;
class CEditEx;

class CShareInfoDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kIdTitleLabel = 1131;
    static constexpr int kIdCategoryLabel = 1132;
    static constexpr int kIdTitle = 1128;
    static constexpr int kIdDescription = 1129;
    static constexpr int kIdCategory = 10166;
    static constexpr int kIdConfirm = 10127;

    static QString TitleCue() { return QStringLiteral("编辑标题"); }
    static QString DescriptionCue() { return QStringLiteral("描述分享的原因 ..."); }
    // The categories in list order; the first is selected when the dialog opens.
    static QStringList Categories();

    // The three strings must outlive the dialog. The title field starts with `title` (its cue
    // when empty); the category and the description start at their defaults.
    CShareInfoDlg(QString& title, QString& category, QString& description, QWidget* parent = nullptr);

    CEditEx* TitleField() const { return titleField_; }
    QPlainTextEdit* DescriptionField() const { return descriptionField_; }
    CComboBoxExEx* CategoryBox() const { return categoryBox_; }
    CButtonEx* ConfirmButton() const { return confirmButton_; }

  protected:
    // A click on the background takes the focus from the fields, so that an empty one shows
    // its cue text again.
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void Confirm();

    QString& title_;
    QString& category_;
    QString& description_;
    CEditEx* titleField_ = nullptr;
    QPlainTextEdit* descriptionField_ = nullptr;
    CComboBoxExEx* categoryBox_ = nullptr;
    CButtonEx* confirmButton_ = nullptr;
};

}  // namespace qarv
