#include "controls/skin_tool_tip.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QStringList>
#include <QTextLayout>
#include <QTextOption>
#include <QToolTip>
#include <QWidget>

namespace qarv {

SkinToolTip::SkinToolTip(QWidget* owner) : QObject(owner), owner_(owner) {
    timer_.setSingleShot(true);
    timer_.setInterval(kInitialDelayMs);
    connect(&timer_, &QTimer::timeout, this, &SkinToolTip::Show);
    owner_->setMouseTracking(true);  // the delay restarts on every move
    owner_->installEventFilter(this);
}

void SkinToolTip::SetText(const QString& text) {
    text_ = text;
}

bool SkinToolTip::eventFilter(QObject* watched, QEvent* event) {
    if (watched != owner_)
        return false;
    switch (event->type()) {
        case QEvent::Enter:
            lastGlobalPos_ = static_cast<QEnterEvent*>(event)->globalPosition().toPoint();
            if (!shown_)
                timer_.start();
            break;
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            lastGlobalPos_ = mouse->globalPosition().toPoint();
            // The tip waits for the pointer to rest: every move restarts the delay.
            if (!shown_ && mouse->buttons() == Qt::NoButton &&
                owner_->rect().contains(mouse->position().toPoint()))
                timer_.start();
            break;
        }
        case QEvent::Leave:
        case QEvent::Hide:
            Hide();
            shown_ = false;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            Hide();
            shown_ = true;  // not again until the pointer has left
            break;
        case QEvent::ToolTip:
            return true;  // this object shows the tip, not the widget's own tool tip
        default:
            break;
    }
    return false;
}

void SkinToolTip::Show() {
    if (text_.isEmpty() || !owner_->isVisible() || !owner_->isEnabled())
        return;
    shown_ = true;
    QToolTip::showText(lastGlobalPos_, WrapToolTipText(text_, QToolTip::font(), kMaxWidth), owner_,
                       owner_->rect(), kDisplayMs);
}

void SkinToolTip::Hide() {
    timer_.stop();
    if (shown_ && QToolTip::isVisible())
        QToolTip::hideText();
}

QString WrapToolTipText(const QString& text, const QFont& font, int maxWidth) {
    if (Qt::mightBeRichText(text) || maxWidth <= 0)
        return text;
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        if (paragraph.isEmpty()) {
            lines.append(QString());
            continue;
        }
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(maxWidth);
            QString part = paragraph.mid(line.textStart(), line.textLength());
            while (!part.isEmpty() && part.back().isSpace())
                part.chop(1);
            lines.append(part);
        }
        layout.endLayout();
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace qarv
