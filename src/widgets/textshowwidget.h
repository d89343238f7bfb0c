// A framed text panel with a close button (tool output is shown in it).
#pragma once

#include <QTextBrowser>
#include <QWidget>

class TextShowWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TextShowWidget(QWidget* parent);

    QTextBrowser* textBrowser;  // the owner writes, appends and clears the text here

signals:
    void sigHideWidget();
};
