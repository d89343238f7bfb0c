// The full-screen start-up screen with its progress bar and status line.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QProgressBar>
#include <QSplashScreen>
#include <QString>

constexpr int kSplashWidth = 1920;
constexpr int kSplashHeight = 1080;
constexpr int kSplashLastStep = 100;

class SplashFrame : public QSplashScreen
{
    Q_OBJECT

public:
    // Builds the screen and shows it at once.
    SplashFrame();
    ~SplashFrame() override;

    // Moves the bar to step (0..100, never backwards), shows text when one is given and
    // processes pending events; a step above 99 is the last and removes the inner panel.
    void flushstep(int step, QString text = QString());
    QString getStyle();

    // Guarded: both go away with the panel at the last step.
    QPointer<QProgressBar> progressBar;
    QPointer<QDialog> panel;
    int curValue = 0;
};

extern SplashFrame* g_splashframe;
