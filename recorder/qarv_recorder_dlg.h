#pragma once
// The recorder's only top-level window: a frameless window with its own painted title band,
// close and minimise buttons, a tab bar of three entries and the page area in which the
// recording page, the my-videos page and the my-share page take turns. It minimises while a
// recording runs and comes back when it has ended.
// Called on the UI thread only; workers reach it through posted messages.

#include <QDialog>
#include <QPoint>
#include <array>
#include <memory>

#include "recorder/recording/record_control_thread.h"

namespace qarv {

class CButtonEx;
class CColorStatic;
class CToolBarEx;
class QarvRecorderPage;
class QarvNewsPage;
class QtMessageTarget;
class StatisticsVisit;

class CQarvRecorderDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kIdTabBar = 10142;
    static constexpr int kIdClose = 10108;
    static constexpr int kIdMinimise = 10109;
    static constexpr int kIdVideoPage = 15001;
    // Height of the title band, by which the window is dragged.
    static constexpr int kTitleBandHeight = 96;
    // Margins of the page area inside the client area.
    static constexpr int kBottomBandHeight = 33;

    // `controller` replaces the recording page's own capture session (tests).
    explicit CQarvRecorderDlg(QWidget* parent = nullptr,
                              std::unique_ptr<RecordControlThread> controller = {});
    ~CQarvRecorderDlg() override;

    // Selects tab `index` and shows its page, hiding the others.
    void ShowPage(int index);
    int SelectedPage() const { return selectedPage_; }

    QarvRecorderPage* RecorderPage() const { return recorderPage_; }
    QWidget* Page(int index) const;
    QarvNewsPage* NewsPage() const { return newsPage_; }
    CToolBarEx* TabBar() const { return tabBar_; }
    CButtonEx* CloseButton() const { return closeButton_; }
    CButtonEx* MinimiseButton() const { return minimiseButton_; }
    QRect PageArea() const;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void OnRecordState(int state);
    void OnSkinButtonClick(int id);
    void PlaceOnScreen();

    QarvRecorderPage* recorderPage_ = nullptr;
    std::array<QWidget*, 3> pages_{};
    CToolBarEx* tabBar_ = nullptr;
    CButtonEx* closeButton_ = nullptr;
    CButtonEx* minimiseButton_ = nullptr;
    CColorStatic* bottomLine_ = nullptr;
    std::shared_ptr<QtMessageTarget> selfTarget_;
    int selectedPage_ = 0;
    bool placed_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
    QarvNewsPage* newsPage_ = nullptr;
    std::unique_ptr<StatisticsVisit> statisticsVisit_;
};

}  // namespace qarv
