#pragma once

#include "app/controller.h"
#include "app/mainpanel.h"
#include "support/uirun.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

// A launched main window; its desktop records what the window asks of one.
struct Window : RecordingHost
{
    Controller controller{this};

    // Runs pause `pauseMs` after each file instead of a second.
    explicit Window(int pauseMs = 1000)
    {
        controller.applicationDidFinishLaunching();
        download::Policy policy;
        policy.pauseMs = pauseMs;
        controller.setPolicy(policy);
    }
    template <class T = QLineEdit> T* get(const QString& name) const
    {
        return controller.mainWindow()->findChild<T*>(name);
    }
    QStringList fields() const
    {
        QStringList out;
        for (const char* name : {"mLocation", "mFileName", "mNumber", "mExtension"})
            out << get(QLatin1String(name))->text();
        return out;
    }
    // The alert's text; none while no alert shows.
    QString alert() const
    {
        const auto* box = get<QMessageBox>(QStringLiteral("alertSheet"));
        return box ? box->text() : QString();
    }
};

// A window whose runs write straight into a folder of the test's own; a run the test left
// going ends before the window goes.
struct RunWindow : Window
{
    QTemporaryDir output;

    RunWindow() : Window(20)
    {
        controller.mCreateNewFolder = false;
        controller.mOutputDirectory = output.path();
    }
    ~RunWindow()
    {
        if (controller.isRunning())
            controller.stop_download();
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isRunning(), 20000);
    }
    QDialog* textSheet() const { return get<QDialog>(QStringLiteral("TextSheet")); }
    QTextEdit* listText() const { return get<QTextEdit>(QStringLiteral("mText_url")); }
};
