#include "Code/Shell/ShellAnimation.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <atomic>

namespace {
std::atomic<bool> animationsEnabled{true};
}

void ShellAnimation::setEnabled(bool enabled) {
    animationsEnabled = enabled;
}

bool ShellAnimation::isEnabled() {
    return animationsEnabled;
}

void ShellAnimation::fade(QWidget* widget, qreal from, qreal to, int milliseconds,
                          std::function<void()> finished) {
    const auto end = [widget, to, finished] {
        if (to >= 1.0) {
            // A fully opaque widget draws faster without the effect.
            widget->setGraphicsEffect(nullptr);
        } else if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect())) {
            effect->setOpacity(to);
        }
        if (finished) {
            finished();
        }
    };
    if (!isEnabled()) {
        if (to < 1.0) {
            widget->setGraphicsEffect(new QGraphicsOpacityEffect(widget));
        }
        end();
        return;
    }
    auto* effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(from);
    widget->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity", widget);
    animation->setDuration(milliseconds);
    animation->setStartValue(from);
    animation->setEndValue(to);
    QObject::connect(animation, &QPropertyAnimation::finished, widget, end);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
