// IOStatusWidget: the status strip along the bottom of the main window.
#pragma once

#include <functional>

#include <QRect>
#include <QString>
#include <QVector>
#include <QWidget>

class MoJuWizard;
class QMouseEvent;
class QPaintEvent;
class QPainter;

class IOStatusWidget : public QWidget
{
    Q_OBJECT

public:
    explicit IOStatusWidget(MoJuWizard* parent);

    // Where the strip draws what, relative to the strip; worked out afresh for every paint
    // from the parameters, the login level and the cycle time.
    struct Lamp
    {
        int kind;  // 0 input, 1 output
        int number;
        QRect lamp;
        QRect nameBox;
        QString name;
    };
    struct Layout
    {
        QVector<Lamp> lamps;
        bool showLogin = false;
        QString loginText;
        QPoint loginAt;  // start of the text on its base line
        bool showProduct = false;
        QString productText;
        QPoint productAt;
        bool showDisk = false;
        QRect diskRect;
        QString clockText;
        QPoint clockAt;
    };
    Layout layout() const;

    // Whether the image copier has a USB disk (its mount path is set). The records layer
    // installs it when the copier exists; without it no disk icon is drawn.
    static std::function<bool()> usbDiskPresent;
    // Names of the parameter groups as the settings screen lists them; without it the
    // sub-folders of the group folder, sorted by name.
    static std::function<QStringList()> groupNames;

protected:
    // A touch anywhere on the strip logs out.
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The input and output lamps of the layout.
    void layoutLamps(Layout& out) const;
    // The login, product and clock texts.
    void paintTexts(QPainter& p, const Layout& l);
};
