// The statistics page's boxes, children of the page so that they show above it.
#include "statisticsprompts.h"

#include <QDialog>
#include <QWidget>

#include "choosebox.h"
#include "operatorprompts.h"
#include "warnbox.h"

namespace {

constexpr int kChooseWidth = 750;
constexpr int kChooseHeight = 370;

// The page's box of that kind, made on first use (the boxes have no meta-object of their own,
// so they are found by name).
template <typename Box, typename Make>
Box* boxOf(QWidget* page, const char* boxName, Make make)
{
    const QString name = QString::fromLatin1(boxName);
    if (auto* box = dynamic_cast<Box*>(page->findChild<QDialog*>(name, Qt::FindDirectChildrenOnly)))
        return box;
    Box* box = make();
    box->setObjectName(name);
    return box;
}

WarnBox* warnBoxOf(QWidget* page)
{
    return boxOf<WarnBox>(page, StatisticsPrompts::kWarnBoxName, [page] { return new WarnBox(page); });
}

ChooseBox* chooseBoxOf(QWidget* page)
{
    return boxOf<ChooseBox>(page, StatisticsPrompts::kChooseBoxName,
                            [page] { return new ChooseBox(page, kChooseWidth, kChooseHeight); });
}

}  // namespace

namespace StatisticsPrompts {

void makeBoxes(QWidget* page)
{
    warnBoxOf(page)->hide();
    chooseBoxOf(page)->hide();
}

void warn(const QString& text, QWidget* page)
{
    if (!page) {
        WarnOperator(text);
        return;
    }
    WarnBox* box = warnBoxOf(page);
    // The start notice may still be up: the answer replaces it.
    box->hide();
    box->setText(text);
    box->exec();
}

void notify(const QString& text, QWidget* page)
{
    if (!page) {
        WarnOperator(text);
        return;
    }
    WarnBox* box = warnBoxOf(page);
    box->setText(text);
    box->show();
    box->raise();
    box->update();
}

bool ask(const QString& text, QWidget* page)
{
    if (!page)
        return AskOperator(text);
    ChooseBox* box = chooseBoxOf(page);
    box->setText(text);
    return box->exec() == 1;
}

}  // namespace StatisticsPrompts
