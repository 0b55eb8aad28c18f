#pragma once

#include <QWidget>
#include <functional>

/// The interface's few animations. Tests and screenshots switch them off: each then ends at
/// once, in the state it would have reached.
namespace ShellAnimation {

void setEnabled(bool enabled);
bool isEnabled();

/// Fades `widget` from `from` to `to` opacity over `milliseconds`; `finished` runs at the end.
void fade(QWidget* widget, qreal from, qreal to, int milliseconds, std::function<void()> finished = {});

} // namespace ShellAnimation
