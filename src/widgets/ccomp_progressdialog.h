// A progress dialog in the flat dark style of the dialog frames.
#pragma once

#include <QProgressDialog>

class CComp_ProgressDialog : public QProgressDialog
{
public:
    explicit CComp_ProgressDialog(QWidget* parent);
};
