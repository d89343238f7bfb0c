// A scrollable message with Cancel and OK; exec gives 1 (OK), 0 (Cancel) or -1 (closed).
#pragma once

#include <QDialog>
#include <QString>

class CComp_SimpMsgBox : public QDialog
{
public:
    CComp_SimpMsgBox(const QString& text, QWidget* parent);
};
