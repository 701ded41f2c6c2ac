// zelvo-dialog-shots DIR: shows each dialog alone, in a typical state, and
// saves a picture of it as DIR/dialog-<name>.png. Run it under a display
// (xvfb-run) from a directory holding Images/working_generic.avi.

#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "ui/Dialogseam.h"
#include "ui/Findpanel.h"
#include "ui/Fm_about.h"
#include "ui/Fm_connect.h"
#include "ui/Fm_editio.h"
#include "ui/Fm_logon.h"
#include "ui/Fm_working.h"
#include "link/Ftd2xx.h"
#include "link/Portdiagnosis.h"
#include "link/Portmap.h"
#include "engine/Serialthread.h"
#include "model/Serversideio.h"
#include "sim/UnitSimulator.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "unit/Zelvo.h"
#include "link/Zelvocommsinterface.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace
{

class TShotMain : public TMainWindowSeam
{
public:
    QWidget *MainWidget() override { return nullptr; }
    TSerialThread *Engine() override { return nullptr; }
    void RequestLogon(const QByteArray &, const QByteArray &) override {}
    TCancelOutcome CancelJob() override { return CANCEL_NOTHING; }
};

void Settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

bool Save(QWidget *w, const QString &dir, const char *name)
{
    Settle();
    const QString path =
        QDir(dir).filePath(QStringLiteral("dialog-%1.png").arg(QLatin1String(name)));
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A record as the server sends it: id, tag, type, UOM, logging flags, name.
std::unique_ptr<TServerSideIO> Record(int id, const char *tag, int type, int uom, const char *name)
{
    QByteArray raw;
    auto u32 = [&raw](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            raw.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    u32(static_cast<uint32_t>(id));
    QByteArray t(tag);
    t.append(QByteArray(6 - t.size(), ' '));
    raw.append(t);
    raw.append(static_cast<char>(type));
    u32(static_cast<uint32_t>(uom));
    raw.append('\0');
    raw.append(static_cast<char>(qstrlen(name)));
    raw.append(name);
    auto record = std::make_unique<TServerSideIO>();
    record->Populate(reinterpret_cast<const uint8_t *>(raw.constData()),
                     static_cast<std::size_t>(raw.size()));
    return record;
}

void AddType(TZelvo &unit, int id, int category, const char *name)
{
    auto type = std::make_unique<TAvailableInputType>(&unit.AvailableInputTypes());
    type->InputTypeID = static_cast<uint8_t>(id);
    type->UOMCategory = static_cast<uint8_t>(category);
    type->Selectable = true;
    type->Name = QString::fromLatin1(name);
    unit.AvailableInputTypes().Add(std::move(type));
}

void AddUom(TZelvo &unit, int id, int category, const char *name)
{
    auto uom = std::make_unique<TUOMDescription>(&unit.UOMDescriptions());
    uom->UOMID = id;
    uom->Category = category;
    uom->Name = QString::fromLatin1(name);
    unit.UOMDescriptions().Add(std::move(uom));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    for (const char *font :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        if (QFileInfo::exists(QString::fromLatin1(font)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(font));
    QFont base(QStringLiteral("Tahoma"));
    base.setPointSize(8);
    QApplication::setFont(base);

    const QString dir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(dir);
    TShotMain main;
    bool ok = true;

    {
        TfmConnect connect(main);
        connect.show();
        connect.rbVello->setChecked(true);
        connect.onZelvoTypeClick();
        connect.cbCommPort->setCurrentIndex(0);
        ok &= Save(&connect, dir, "connect");
        connect.btnConnectClick();
        ok &= Save(&connect, dir, "connect-connecting");
    }
    {
        // After a find: a VELLO on COM3, an OSTRA on its bridge, a silent
        // device on COM1, the other COM numbers without a device. Only
        // pseudo-terminals are probed: the machine's own device lists are
        // pointed at an empty folder.
        QTemporaryDir empty;
        SetPortDiagnosisRoots(empty.path().toStdString(), empty.path().toStdString(),
                              empty.path().toStdString());
        zsim::Options vo;
        vo.model = zsim::Model::Vello;
        zsim::UnitSimulator vello(vo);
        zsim::Options oo;
        oo.model = zsim::Model::Ostra;
        zsim::UnitSimulator ostra(oo);
        const int silent = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (vello.Start() && ostra.Start() && silent >= 0 && ::grantpt(silent) == 0 &&
            ::unlockpt(silent) == 0) {
            MapComPort(1, ::ptsname(silent));
            MapComPort(3, vello.SlavePath());
            Ftd2xx::RegisterVirtualBridge("Zelvo", ostra.SlavePath());
            TfmConnect connect(main);
            connect.FindPanel->SetProbeRoots({empty.path().toStdString()});
            connect.show();
            connect.FindPanel->btnFind->click();
            for (int i = 0; i < 500 && connect.FindPanel->IsFinding(); ++i)
                Settle();
            Settle();
            const QString path = QDir(dir).filePath(QStringLiteral("connect-find.png"));
            const bool saved = !connect.FindPanel->IsFinding() && connect.grab().save(path);
            std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
            ok &= saved;
            Ftd2xx::ClearVirtualBridges();
            ClearComPortMap();
        } else {
            ok = false;
        }
        if (silent >= 0)
            ::close(silent);
        ResetPortDiagnosisRoots();
    }
    {
        TfmLogon logon(main);
        logon.show();
        logon.edEmailAddress->setText(QStringLiteral("installer@zelvo.example"));
        logon.edPassword->setText(QStringLiteral("commission"));
        logon.btnLoginClick();
        logon.LogonFailed();
        ok &= Save(&logon, dir, "logon");
    }
    {
        TfmWorking working(main, QStringLiteral("Images/working_generic.avi"));
        working.show();
        for (int i = 0; i < 9; ++i)
            working.NextFrame();
        ok &= Save(&working, dir, "working");
        working.ShowCancelState(CANCEL_TOO_LATE);
        ok &= Save(&working, dir, "working-cancel-refused");
        TfmWorking still(main, QStringLiteral("Images/no-such-animation.avi"));
        still.show();
        ok &= Save(&still, dir, "working-static");
    }
    {
        TZelvoCommsInterface comms;
        TZelvo unit(comms, nullptr);
        AddType(unit, 1, 1, "Digital input");
        AddType(unit, 2, 2, "4-20 mA current");
        AddType(unit, 3, 3, "0-10 V voltage");
        AddUom(unit, 5, 1, "On/Off");
        AddUom(unit, 11, 2, "Bar");
        AddUom(unit, 12, 2, "kPa");
        AddUom(unit, 13, 2, "Metres of water");
        AddUom(unit, 21, 3, "Volts");
        auto record = Record(42, "AIN01", 2, 12, "Outlet pressure");
        record->SetLoggingMode(LOG_LOG_AND_DISPLAY);
        TfmEditIO edit(main);
        if (edit.OpenEditor(record.get(), &unit)) {
            edit.show();
            ok &= Save(&edit, dir, "editio");
        } else {
            ok = false;
        }
    }
    {
        TfmAbout about(nullptr);
        about.show();
        ok &= Save(&about, dir, "about");
    }
    return ok ? 0 : 1;
}
