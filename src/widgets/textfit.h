// Fitting captions into the room a screen gives them: line breaks first, a smaller font
// only when the lines still do not fit.
#pragma once

#include <functional>

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class QAbstractButton;
class QFontMetrics;
class QLabel;
class QPainter;
class QWidget;

namespace TextFit {

// The smallest pixel size a caption is shrunk to: below it a text is hard to read on the
// panel from an arm's length. Where a screen's own size for a text is smaller, or its box
// cannot hold this size, the caller passes a lower floor.
constexpr int kMinPixelSize = 16;

// `text` with a line break wherever a line would grow wider than `width`: at the last blank
// of the line, or between two characters where a line has no blank (Chinese and Japanese
// texts). Breaks already in the text stay; "\r\n" counts as one break.
QString Wrap(const QString& text, const QFontMetrics& metrics, int width);

// Whether `shown`, its lines as they stand, fits `box` in `font`: no line wider than the box,
// all lines within its height.
bool Fits(const QString& shown, const QFont& font, const QSize& box);

// The largest size of `font`, not above its own, at which `text` fits `box`: on one line
// when `wrap` is false, else wrapped; `fitted` receives the text as it is to be drawn.
QFont Fit(QFont font, const QString& text, const QSize& box, bool wrap, QString* fitted, int floor = kMinPixelSize);

// A label of fixed size shows `text` wrapped, in a smaller font only when it must. The full
// text is kept, so Refit can fit it again after the label changed size.
void FitLabel(QLabel* label, const QString& text, bool wrap = true);
void Refit(QLabel* label);

// A button's caption fitted to the button's size, `reserved` pixels of its width taken by
// its indicator or padding.
void FitButton(QAbstractButton* button, const QString& text, int reserved, bool wrap = true);
// Fits a button's caption again: the text it was given, or the one set on it since.
void RefitButton(QAbstractButton* button, int reserved);

// Draws `text` in `rect` with `flags` (alignment), wrapped and shrunk from the painter's
// font as needed.
void Draw(QPainter& painter, const QRect& rect, int flags, const QString& text, bool wrap = true,
          int floor = kMinPixelSize);

// A text Draw put on a widget: its room, the lines and the font it was drawn in.
struct Drawn
{
    const QWidget* widget;  // null when the painter draws on something else
    QRect rect;             // moved as the painter's world is, not scaled
    int flags;
    QString shown;
    QFont font;
};
// Told of every text Draw draws, so that the screens' captions can be checked where they are
// painted rather than held by a widget. An empty function stops it.
void SetDrawObserver(std::function<void(const Drawn&)> observer);

}  // namespace TextFit
