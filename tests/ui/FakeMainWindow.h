#pragma once

#include "engine/Serialthread.h"
#include "protocol/Commands.h"
#include "ui/Dialogseam.h"

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
    // The request as the logon message carries it: the 128-byte e-mail field
    // and the 16-byte digest.
    bool RequestLogon(const std::string &email, const std::string &password) override
    {
        std::vector<std::uint8_t> payload;
        if (!BuildLogonPayload(email, password, payload))
            return false;
        const QByteArray bytes(reinterpret_cast<const char *>(payload.data()),
                               static_cast<qsizetype>(payload.size()));
        Requests.push_back({bytes.left(128), bytes.mid(128)});
        return true;
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
