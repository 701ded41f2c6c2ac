// Stand-in dialogs: no windows at all, just enough to connect through the
// engine, so the program links and runs before the real dialogs exist.
// Deleted when the real dialogs module arrives.

#include "Dialogseam.h"

#include "Ftd2xx.h"
#include "Serialthread.h"

namespace
{

class TStandinDialogs : public TDialogSeam
{
public:
    explicit TStandinDialogs(TMainWindowSeam &main) : FMain(main) {}

    // Connects at once: to a USB bridge when one is known (a simulated
    // OSTRA or --usb), else to COM 1 (a simulated VELLO or --com 1=...).
    void ShowConnect() override
    {
        TSerialThread *engine = FMain.Engine();
        const bool usb = !Ftd2xx::ListBridges().empty();
        engine->SelectPort(usb, 1, 19200);
        engine->SetActive(true);
        engine->StartConnect();
    }
    void CloseConnect() override {}
    void ShowLogon() override {}
    void LogonSucceeded() override {}
    void LogonFailed() override {}
    void ShowWorking() override {}
    void CloseWorking() override {}
    void EditIO(TServerSideIO *, TZelvo *) override {}
    void ShowAbout() override {}

private:
    TMainWindowSeam &FMain;
};

} // namespace

std::unique_ptr<TDialogSeam> CreateDialogs(TMainWindowSeam &main)
{
    return std::make_unique<TStandinDialogs>(main);
}
