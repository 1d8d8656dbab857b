#include "tests/controls/controls_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <cstdlib>

namespace qarv::test {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

QImage MakeStrip(const std::vector<QColor>& colors, int frameWidth, int height) {
    QImage strip(frameWidth * static_cast<int>(colors.size()), height, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (std::size_t i = 0; i < colors.size(); ++i)
        painter.fillRect(QRect(static_cast<int>(i) * frameWidth, 0, frameWidth, height), colors[i]);
    return strip;
}

bool SaveImage(const QImage& image, const QString& path) {
    return image.save(path);
}

QImage RenderOver(QWidget& widget, const QColor& under) {
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(under);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool NearColor(const QColor& actual, const QColor& expected, int tolerance) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

void SendLeftRelease(QWidget* widget, const QPoint& pos) {
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), QPointF(widget->mapToGlobal(pos)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
}

std::unique_ptr<QWidget> MakeShownHost(int width, int height) {
    auto host = std::make_unique<QWidget>();
    host->resize(width, height);
    host->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    return host;
}

}  // namespace qarv::test
