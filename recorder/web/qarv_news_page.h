#pragma once
// A start page with the site's news ("Vantu动态", "直播动态") and two buttons that lead to
// the recording tab ("去录像") and the my-videos tab ("去分享"). The main window makes it
// without showing it. Called on the UI thread.

#include <QWidget>

namespace qarv {

class CButtonEx;

class QarvNewsPage : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kIdNewsGroup = 1103;
    static constexpr int kIdLiveGroup = 1104;
    static constexpr int kIdGoRecord = 1105;
    static constexpr int kIdGoShare = 1106;
    static constexpr int kIdFrame = 1107;

    explicit QarvNewsPage(QWidget* parent = nullptr);

    CButtonEx* GoRecordButton() const { return goRecord_; }
    CButtonEx* GoShareButton() const { return goShare_; }

  signals:
    // The tab the main window is to show: 0 for "去录像", 1 for "去分享".
    void ShowPageRequested(int index);

  private:
    CButtonEx* goRecord_ = nullptr;
    CButtonEx* goShare_ = nullptr;
};

}  // namespace qarv
