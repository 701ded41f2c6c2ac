#pragma once

#include "ui/Dialogseam.h"
#include "engine/Serialthread.h"

#include <QByteArray>
#include <QWidget>

#include <vector>

// The main window as the dialogs see it: a plain widget to centre on, an
// engine (or none), and a record of logon requests.
class TFakeMainWindow : public TMainWindowSeam
{
public:
    struct TLogonRequest {
        QByteArray Email;
        QByteArray Digest;
    };

    explicit TFakeMainWindow(TSerialThread *engine = nullptr) : FEngine(engine)
    {
        FWidget.setGeometry(100, 80, 674, 407);
    }

    QWidget *MainWidget() override { return &FWidget; }
    TSerialThread *Engine() override { return FEngine; }
    void RequestLogon(const QByteArray &email, const QByteArray &digest) override
    {
        Requests.push_back({email, digest});
    }

    // The engine's answer, or CancelAnswer without an engine.
    TCancelOutcome CancelJob() override
    {
        ++CancelRequests;
        return FEngine ? FEngine->RequestCancel() : CancelAnswer;
    }

    void SetEngine(TSerialThread *engine) { FEngine = engine; }

    std::vector<TLogonRequest> Requests;
    int CancelRequests = 0;
    TCancelOutcome CancelAnswer = CANCEL_PENDING;

private:
    QWidget FWidget;
    TSerialThread *FEngine;
};
