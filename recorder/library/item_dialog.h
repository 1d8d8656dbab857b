#pragma once
// One row of the my-videos page, 230 x 100: a recording's thumbnail, its date, length and
// shared state, its title editor, an upload progress bar, and three buttons (share,
// favourite, delete) shown while the pointer is over the row. Reports to the page with posted
// WM_ITEM_COMMAND messages. Called on the UI thread.

#include <QImage>
#include <QString>
#include <QWidget>

class QProgressBar;

namespace qarv {

class CButtonEx;
class CReNameEdit;

class CItemDialog : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kWidth = 230;
    static constexpr int kHeight = 100;
    static constexpr int kIdShare = 10110;
    static constexpr int kIdFavourite = 10111;
    static constexpr int kIdDelete = 10112;
    static constexpr int kIdTitle = 10130;
    static constexpr int kIdProgress = 10141;
    static constexpr int kButtonSize = 25;
    static QColor BackColor() { return QColor(188, 230, 200); }

    // `id` is reported with every message to `page`.
    CItemDialog(int id, QWidget* page, QWidget* parent);

    int Id() const { return id_; }

    // The thumbnail: decoded here, once per path; a file that is missing or no image shows the
    // default picture "Skin/default_jpeg.png".
    void SetPicture(const QString& path);
    QString PicturePath() const { return picturePath_; }
    void SetDateText(const QString& text);
    QString DateText() const { return dateText_; }
    void SetDurationText(const QString& text);
    QString DurationText() const { return durationText_; }
    // "已分享" or "未分享".
    void SetShared(bool shared);
    bool Shared() const { return shared_; }
    // The favourite button: "取消收藏" with "btn_collect_yes.png", or "收藏" with
    // "btn_collect_no.png".
    void SetFavourite(bool favourite);
    bool Favourite() const { return favourite_; }
    // The title editor's text (and its last good title); the placeholder when empty.
    void SetTitle(const QString& title);

    // An upload's progress: below 100 the bar shows it (shown if hidden); at 100 or more the
    // row becomes shared and the bar is reset and hidden.
    void ShowProgress(int percent);
    // Hides the bar and resets it (the row shows another recording).
    void HideProgress();

    CButtonEx* ShareButton() const { return shareButton_; }
    CButtonEx* FavouriteButton() const { return favouriteButton_; }
    CButtonEx* DeleteButton() const { return deleteButton_; }
    CReNameEdit* TitleEditor() const { return titleEditor_; }
    QProgressBar* ProgressBar() const { return progressBar_; }
    bool ButtonsShown() const;
    bool ButtonsHeldBack() const { return heldBack_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void ShowButtons(bool shown);
    void PointerLeft();
    void OnButton(int buttonId);
    void PostCommand(int command) const;

    const int id_;
    QWidget* const page_;
    QString picturePath_;
    QImage picture_;
    QString dateText_;
    QString durationText_;
    bool shared_ = false;
    bool favourite_ = false;
    bool heldBack_ = false;
    CButtonEx* shareButton_ = nullptr;
    CButtonEx* favouriteButton_ = nullptr;
    CButtonEx* deleteButton_ = nullptr;
    CReNameEdit* titleEditor_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
};

}  // namespace qarv
