// Fitting captions into the room a screen gives them: line breaks first, a smaller font
// only when the lines still do not fit.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class QAbstractButton;
class QFontMetrics;
class QLabel;
class QPainter;

namespace TextFit {

// The smallest pixel size a caption is shrunk to.
constexpr int kMinPixelSize = 12;

// `text` with a line break wherever a line would grow wider than `width`: at the last blank
// of the line, or between two characters where a line has no blank (Chinese and Japanese
// texts). Breaks already in the text stay; "\r\n" counts as one break.
QString Wrap(const QString& text, const QFontMetrics& metrics, int width);

// The largest size of `font`, not above its own, at which `text` fits `box`: on one line
// when `wrap` is false, else wrapped; `fitted` receives the text as it is to be drawn.
QFont Fit(QFont font, const QString& text, const QSize& box, bool wrap, QString* fitted);

// A label of fixed size shows `text` wrapped, in a smaller font only when it must. The full
// text is kept, so Refit can fit it again after the label changed size.
void FitLabel(QLabel* label, const QString& text, bool wrap = true);
void Refit(QLabel* label);

// A button's caption fitted to the button's size, `reserved` pixels of its width taken by
// its indicator or padding.
void FitButton(QAbstractButton* button, const QString& text, int reserved, bool wrap = true);

// Draws `text` in `rect` with `flags` (alignment), wrapped and shrunk from the painter's
// font as needed.
void Draw(QPainter& painter, const QRect& rect, int flags, const QString& text, bool wrap = true);

}  // namespace TextFit
