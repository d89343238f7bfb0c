// The dialogs a full-screen page opens, which give way with the page.
#include "pagedialogs.h"

#include <QDialog>
#include <QPointer>
#include <QVector>

namespace PageDialogs {

namespace {

struct Open
{
    QPointer<QDialog> dialog;
    const QWidget* page;
};

// Dialogs in Exec, the innermost last; GUI thread only.
QVector<Open> gOpen;

}  // namespace

int Exec(QDialog& dialog, const QWidget* page)
{
    gOpen.append({&dialog, page});
    const int result = dialog.exec();
    for (int i = gOpen.size() - 1; i >= 0; --i) {
        if (gOpen[i].dialog == &dialog) {
            gOpen.remove(i);
            break;
        }
    }
    return result;
}

void CloseOf(const QWidget* page)
{
    // A rejected dialog leaves its loop only once the call stack returns to it, so each stays
    // listed until then; a second close finds it hidden already.
    for (int i = gOpen.size() - 1; i >= 0; --i) {
        QDialog* d = gOpen[i].dialog;
        if (d && gOpen[i].page == page && d->isVisible())
            d->reject();
    }
}

}  // namespace PageDialogs
