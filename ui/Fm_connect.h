#pragma once

#include <QDialog>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TFindPanel;
class TMainWindowSeam;
struct TProbeSelection;

// Chooses how the unit is reached (OSTRA over the USB bridge, VELLO over a
// numbered COM port) and starts the connection. Modal; the main window
// closes it on the connected and on the disconnected event.
class TfmConnect : public QDialog
{
    Q_OBJECT
public:
    static constexpr int BaudRate = 19200;
    static constexpr int PortCount = 16;

    explicit TfmConnect(TMainWindowSeam &main, QWidget *parent = nullptr);

    // "Comm Port n", followed on this platform by the device it means and
    // whether that device exists.
    static QString PortEntryText(int port);
    // Item data role of a port entry holding PortEntryText: the open list
    // shows it, the closed box shows "Comm Port n" alone so that it fits.
    static constexpr int EntryRole = Qt::UserRole + 1;

    // Handlers, public so the window's tests can drive them.
    void onZelvoTypeClick();
    void cbCommPortChange();
    void btnConnectClick();

    QGroupBox *rgZelvoType = nullptr;
    QRadioButton *rbOstra = nullptr;
    QRadioButton *rbVello = nullptr;
    QLabel *lblCommPort = nullptr;
    QComboBox *cbCommPort = nullptr;
    QPushButton *btnConnect = nullptr;
    // "Find": looks for the unit on every port and selects what it found.
    TFindPanel *FindPanel = nullptr;

    // Starts the dialog on a model and port: the USB bridge the link looks
    // for, or COM port `comPort`.
    void Preselect(bool useUsb, int comPort);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FillPorts();
    // Selects the model and port of a unit a find reported; connects nothing.
    void UseFoundUnit(const TProbeSelection &selection);
    // The COM port number of the list's selection (1 when none).
    int SelectedPort() const;

    TMainWindowSeam &FMain;
    QButtonGroup *FTypeGroup = nullptr;
    bool FFirstShow = true;
};
