// Line breaks and font sizes that make a caption fit its room.
#include "textfit.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QStringList>
#include <QVariant>
#include <QWidget>

namespace TextFit {

namespace {

// Punctuation that does not begin a line.
const QString kNoLineStart = QStringLiteral("、。，．,.!?！？:：;；)）」』】");
// Height a button's frame keeps from its caption.
constexpr int kButtonEdges = 6;
const char* const kFullTextProperty = "textFitFullText";
const char* const kFullFontProperty = "textFitFullFont";
const char* const kFullStyleProperty = "textFitFullStyle";
const char* const kShownTextProperty = "textFitShownText";

std::function<void(const Drawn&)>& DrawObserver()
{
    static std::function<void(const Drawn&)> observer;
    return observer;
}

QStringList Lines(const QString& text)
{
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return plain.split(QLatin1Char('\n'));
}

bool Wide(QChar c)
{
    // Chinese and Japanese characters: a line may break before and after each of them.
    return c.unicode() >= 0x2E80;
}

// Where `line` may break before position i (the characters from i on start the next line).
bool BreakBefore(const QString& line, int i)
{
    if (i <= 0 || i >= line.size() || kNoLineStart.contains(line.at(i)))
        return false;
    const QChar before = line.at(i - 1);
    return line.at(i).isSpace() || before.isSpace() || before == QLatin1Char('-') || before == QLatin1Char('/') ||
           before == QLatin1Char('_') || Wide(before) || Wide(line.at(i));
}

// Breaks where a line would grow wider than `width`: at the last place the text allows (a
// blank, after a hyphen, around Chinese and Japanese characters), or, with `anywhere`, before
// the character that did not fit when there is no such place. Without `anywhere` a word too
// wide for the line keeps its line and the result does not fit.
QString WrapLine(const QString& line, const QFontMetrics& metrics, int width, bool anywhere)
{
    QStringList out;
    int start = 0;
    while (start < line.size()) {
        int end = start;
        int lastBreak = -1;
        while (end < line.size() && metrics.horizontalAdvance(line.mid(start, end - start + 1)) <= width) {
            ++end;
            if (BreakBefore(line, end))
                lastBreak = end;
        }
        if (end == line.size()) {
            out << line.mid(start);
            break;
        }
        int cut = lastBreak > start ? lastBreak : -1;
        if (cut < 0 && anywhere) {
            cut = std::max(end, start + 1);
            if (cut - 1 > start && kNoLineStart.contains(line.at(cut)))
                --cut;
        }
        if (cut < 0) {
            cut = end + 1;
            while (cut < line.size() && !BreakBefore(line, cut)) ++cut;
        }
        out << line.mid(start, cut - start).trimmed();
        start = cut;
        while (start < line.size() && line.at(start).isSpace()) ++start;
    }
    return out.join(QLatin1Char('\n'));
}

QString WrapText(const QString& text, const QFontMetrics& metrics, int width, bool anywhere)
{
    QStringList out;
    for (const QString& line : Lines(text)) out << WrapLine(line, metrics, width, anywhere);
    return out.join(QLatin1Char('\n'));
}

// Wrapped as narrow as the same number of lines allows, so that the last line is not left
// with a character or a word alone.
QString Balanced(const QString& text, const QFontMetrics& metrics, int width, bool anywhere)
{
    constexpr int kStep = 4;
    QString best = WrapText(text, metrics, width, anywhere);
    const int lines = best.count(QLatin1Char('\n'));
    for (int w = width - kStep; lines > 0 && w > width / 2; w -= kStep) {
        const QString narrower = WrapText(text, metrics, w, anywhere);
        if (narrower.count(QLatin1Char('\n')) != lines)
            break;
        best = narrower;
    }
    return best;
}

bool FitsMetrics(const QString& text, const QFontMetrics& metrics, const QSize& box)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines)
        if (metrics.horizontalAdvance(line) > box.width())
            return false;
    return lines.size() == 1 ? metrics.height() <= box.height() : lines.size() * metrics.lineSpacing() <= box.height();
}

}  // namespace

bool Fits(const QString& shown, const QFont& font, const QSize& box)
{
    return FitsMetrics(Lines(shown).join(QLatin1Char('\n')), QFontMetrics(font), box);
}

QString Wrap(const QString& text, const QFontMetrics& metrics, int width)
{
    return WrapText(text, metrics, width, true);
}

QFont Fit(QFont font, const QString& text, const QSize& box, bool wrap, QString* fitted, int floor)
{
    const int full = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    const QString asGiven = Lines(text).join(QLatin1Char('\n'));
    // A caption a little too long keeps its lines in a slightly smaller font; a longer one
    // is broken into lines, and shrunk further only when the lines do not fit either.
    const int smallest = std::max(1, std::min(floor, full));
    const int slightly = std::max(smallest, full * 3 / 4);
    enum Breaks { None, Natural, Anywhere };
    auto attempt = [&](int px, Breaks breaks) {
        font.setPixelSize(px);
        const QFontMetrics metrics(font);
        const QString shown = breaks == None ? asGiven : Balanced(text, metrics, box.width(), breaks == Anywhere);
        if (fitted)
            *fitted = shown;
        return FitsMetrics(shown, metrics, box);
    };
    for (int px = full; px >= slightly; --px)
        if (attempt(px, None))
            return font;
    // Words stay whole while a smaller font lets them; only then are they cut.
    for (Breaks breaks : {Natural, Anywhere})
        for (int px = wrap ? full : slightly - 1; px >= smallest; --px)
            if (attempt(px, wrap ? breaks : None))
                return font;
    return font;
}

void FitLabel(QLabel* label, const QString& text, bool wrap)
{
    if (!label)
        return;
    if (!label->property(kFullFontProperty).isValid())
        label->setProperty(kFullFontProperty, label->font());
    label->setProperty(kFullTextProperty, text);
    label->setWordWrap(false);
    const QRect room = label->contentsRect();
    QString shown;
    label->setFont(Fit(label->property(kFullFontProperty).value<QFont>(), text, room.size(), wrap, &shown));
    label->setText(shown);
}

void Refit(QLabel* label)
{
    if (label && label->property(kFullTextProperty).isValid())
        FitLabel(label, label->property(kFullTextProperty).toString());
}

void FitButton(QAbstractButton* button, const QString& text, int reserved, bool wrap)
{
    if (!button)
        return;
    // A style sheet's font size rules over the widget's font: the fitted size goes there.
    static const QRegularExpression kStyleSize(QStringLiteral("font-size:\\s*\\d+px"));
    button->ensurePolished();
    if (!button->property(kFullFontProperty).isValid()) {
        button->setProperty(kFullFontProperty, button->font());
        button->setProperty(kFullStyleProperty, button->styleSheet());
    }
    const QSize room(button->width() - reserved, button->height() - kButtonEdges);
    QString shown;
    const QFont font = Fit(button->property(kFullFontProperty).value<QFont>(), text, room, wrap, &shown);
    QString style = button->property(kFullStyleProperty).toString();
    if (style.contains(kStyleSize))
        button->setStyleSheet(style.replace(kStyleSize, QStringLiteral("font-size:%1px").arg(font.pixelSize())));
    else
        button->setFont(font);
    button->setText(shown);
    button->setProperty(kFullTextProperty, text);
    button->setProperty(kShownTextProperty, shown);
}

void RefitButton(QAbstractButton* button, int reserved)
{
    if (!button)
        return;
    const QVariant shown = button->property(kShownTextProperty);
    // A text set on the button since it was fitted replaces the one it was given.
    const bool same = shown.isValid() && shown.toString() == button->text();
    FitButton(button, same ? button->property(kFullTextProperty).toString() : button->text(), reserved);
}

void Draw(QPainter& painter, const QRect& rect, int flags, const QString& text, bool wrap, int floor)
{
    QString shown;
    const QFont before = painter.font();
    const QFont fitted = Fit(before, text, rect.size(), wrap, &shown, floor);
    painter.setFont(fitted);
    painter.drawText(rect, flags, shown);
    painter.setFont(before);
    if (DrawObserver())
        DrawObserver()({dynamic_cast<const QWidget*>(painter.device()),
                        rect.translated(int(painter.worldTransform().dx()), int(painter.worldTransform().dy())), flags,
                        shown, fitted});
}

void SetDrawObserver(std::function<void(const Drawn&)> observer)
{
    DrawObserver() = std::move(observer);
}

}  // namespace TextFit
