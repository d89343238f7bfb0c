// The shared boxes installed as the operator prompts.
#include "operatorboxes.h"

#include <QDebug>
#include <QStringList>
#include <QTimer>

#include "choosebox.h"
#include "globals.h"
#include "operatorprompts.h"
#include "warnbox.h"

namespace {

WarnBox* gNoticeBox = nullptr;
// Notices that came while another stood, shown in turn as the operator confirms.
QStringList gWaitingNotices;

void showNotice(const QString& text)
{
    if (!gNoticeBox) {
        gNoticeBox = new WarnBox(gpWarnBox ? gpWarnBox->parentWidget() : nullptr);
        QObject::connect(gNoticeBox, &QDialog::finished, gNoticeBox, [] {
            if (!gWaitingNotices.isEmpty())
                QTimer::singleShot(0, gNoticeBox, [] {
                    if (!gWaitingNotices.isEmpty())
                        showNotice(gWaitingNotices.takeFirst());
                });
        });
    }
    if (gNoticeBox->isVisible()) {
        if (text != gNoticeBox->text() && !gWaitingNotices.contains(text))
            gWaitingNotices << text;
        return;
    }
    gNoticeBox->setText(text);
    gNoticeBox->show();
    gNoticeBox->raise();
}

}  // namespace

WarnBox* OperatorNoticeBox()
{
    return gNoticeBox;
}

void InstallOperatorPrompts()
{
    OperatorPrompts prompts;
    prompts.warn = [](const QString& text) {
        if (!gpWarnBox) {
            qWarning().noquote() << "no warning box for:" << text;
            return;
        }
        gpWarnBox->setText(text);
        gpWarnBox->exec();
    };
    prompts.note = [](const QString& text) {
        if (!gpWarnBox) {
            qWarning().noquote() << "no warning box for:" << text;
            return;
        }
        gpWarnBox->setText(text);
        gpWarnBox->show();
    };
    prompts.notice = showNotice;
    prompts.ask = [](const QString& text) {
        if (!gpChooseBox) {
            qWarning().noquote() << "no question box, answered NO:" << text;
            return false;
        }
        gpChooseBox->setText(text);
        return gpChooseBox->exec() == 1;
    };
    prompts.askFullScreen = [](const QString& text, const std::function<void(QDialog*)>& waiting) {
        ChooseBox box(nullptr, gShowW, gShowH);
        box.setText(text);
        if (waiting)
            waiting(&box);
        const int answer = box.exec();
        if (waiting)
            waiting(nullptr);
        return answer;
    };
    SetOperatorPrompts(std::move(prompts));
}
