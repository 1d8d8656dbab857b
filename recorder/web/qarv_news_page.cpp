#include "recorder/web/qarv_news_page.h"

#include <QFrame>
#include <QGroupBox>

#include "controls/button_ex.h"
#include "controls/rect_ltrb.h"
#include "controls/skin_path.h"

namespace qarv {
namespace {

const QColor kBackground(100, 150, 150);

}  // namespace

QarvNewsPage::QarvNewsPage(QWidget* parent) : QWidget(parent) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);
    setAutoFillBackground(true);

    const std::tuple<int, QString, QRect> groups[] = {
        {kIdNewsGroup, QStringLiteral("Vantu动态"), Ltrb(10, 10, 420, 380)},
        {kIdLiveGroup, QStringLiteral("直播动态"), Ltrb(430, 10, 839, 380)},
    };
    for (const auto& [id, title, geometry] : groups) {
        auto* group = new QGroupBox(title, this);
        group->setObjectName(QStringLiteral("control%1").arg(id));
        group->setGeometry(geometry);
    }
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("control%1").arg(kIdFrame));
    frame->setFrameShape(QFrame::Box);
    frame->setGeometry(Ltrb(440, 30, 829, 370));

    const std::tuple<CButtonEx**, int, QString, int, int> buttons[] = {
        {&goRecord_, kIdGoRecord, QStringLiteral("去录像"), 320, 0},
        {&goShare_, kIdGoShare, QStringLiteral("去分享"), 450, 1},
    };
    for (const auto& [button, id, caption, left, tab] : buttons) {
        *button = new CButtonEx(id, this);
        (*button)->setObjectName(QStringLiteral("control%1").arg(id));
        (*button)->setGeometry(Ltrb(left, 390, left + 80, 420));
        (*button)->SetImage(SkinPath(QStringLiteral("Button.png")));
        (*button)->SetText(caption);
        (*button)->SetBackColor(kBackground);
        const int index = tab;
        connect(*button, &CButtonEx::Clicked, this, [this, index](int) { emit ShowPageRequested(index); });
    }
}

}  // namespace qarv
