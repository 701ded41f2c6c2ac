#include "ui/Fm_connect.h"

#include "common/Branding.h"
#include "engine/Serialthread.h"
#include "frontend/Session.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "ui/Dialoggeometry.h"
#include "ui/Dialogseam.h"
#include "ui/Findpanel.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{
// Paints a port entry of the open list with its device (EntryRole).
class TPortEntryDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString entry = index.data(TfmConnect::EntryRole).toString();
        if (!entry.isEmpty())
            option->text = entry;
    }
};
} // namespace

TfmConnect::TfmConnect(TMainWindowSeam &main, QWidget *parent) : QDialog(parent), FMain(main)
{
    setObjectName(QStringLiteral("fmConnect"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    UseOwnerFont(this);
    setFixedSize(247, 175);

    rgZelvoType = new QGroupBox(this);
    rgZelvoType->setObjectName(QStringLiteral("rgZelvoType"));
    rbOstra = new QRadioButton(QStringLiteral("OSTRA"), rgZelvoType);
    rbVello = new QRadioButton(QStringLiteral("VELLO"), rgZelvoType);
    FTypeGroup = new QButtonGroup(this);
    FTypeGroup->addButton(rbOstra, 0);
    FTypeGroup->addButton(rbVello, 1);
    rbOstra->setChecked(true);
    auto *typeRow = new QHBoxLayout(rgZelvoType);
    typeRow->addWidget(rbOstra);
    typeRow->addWidget(rbVello);

    auto *portGroup = new QGroupBox(QStringLiteral("Comm Port (For VELLO only)"), this);
    lblCommPort = new QLabel(QStringLiteral("Comm Port:"), portGroup);
    lblCommPort->setObjectName(QStringLiteral("lblCommPort"));
    cbCommPort = new QComboBox(portGroup);
    cbCommPort->setItemDelegate(new TPortEntryDelegate(cbCommPort));
    cbCommPort->setObjectName(QStringLiteral("cbCommPort"));
    lblCommPort->setBuddy(cbCommPort);
    cbCommPort->setAccessibleName(QStringLiteral("Comm Port"));
    // The entries name their devices: let the open list be wider than the box.
    cbCommPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbCommPort->setMinimumContentsLength(10);
    FillPorts();
    cbCommPort->setCurrentIndex(0);
    lblCommPort->setEnabled(false);
    cbCommPort->setEnabled(false);
    auto *portRow = new QHBoxLayout(portGroup);
    portRow->setSpacing(4);
    portRow->addWidget(lblCommPort);
    portRow->addWidget(cbCommPort, 1);

    btnConnect = new QPushButton(QStringLiteral("Connect"), this);
    btnConnect->setObjectName(QStringLiteral("btnConnect"));
    btnConnect->setAutoDefault(false);
    // Enter anywhere in the dialog connects.
    btnConnect->setDefault(true);

    FindPanel = new TFindPanel(this);

    auto *layout = new QVBoxLayout(this);
    // Tight enough that both groups and the buttons get their whole height
    // in the fixed 175 pixels also at a desktop font wider than the window's.
    layout->setContentsMargins(9, 6, 9, 6);
    layout->setSpacing(4);
    layout->addWidget(rgZelvoType);
    layout->addWidget(portGroup);
    // Once shown, the list takes the room the stretch below gives otherwise.
    layout->addWidget(FindPanel, 10);
    layout->addStretch(1);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(FindPanel->btnFind);
    buttonRow->addWidget(btnConnect);
    buttonRow->addStretch(1);
    layout->addLayout(buttonRow);
    // Keyboard order as drawn: model, port, the list a find fills, then the
    // buttons left to right (the find button was made before the dialog's).
    setTabOrder(rbOstra, rbVello);
    setTabOrder(rbVello, cbCommPort);
    setTabOrder(cbCommPort, FindPanel->lvFound);
    setTabOrder(FindPanel->lvFound, FindPanel->btnFind);
    setTabOrder(FindPanel->btnFind, btnConnect);

    // State changes, not clicks: the keyboard and assistive technology
    // change the choice without a mouse click.
    connect(FTypeGroup, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            onZelvoTypeClick();
    });
    connect(cbCommPort, &QComboBox::currentIndexChanged, this, [this] { cbCommPortChange(); });
    connect(btnConnect, &QPushButton::clicked, this, [this] { btnConnectClick(); });
    connect(FindPanel, &TFindPanel::Started, this,
            [this] { setFixedSize(TFindPanel::ExpandedSize); });
    FindPanel->OnUnitFound = [this](const TProbeSelection &s, const TProbeReport &) {
        UseFoundUnit(s);
    };

    const QString brand = QString::fromLatin1(Branding::BrandName);
    setWindowTitle(QStringLiteral("Connect to ") + brand);
    rgZelvoType->setTitle(brand + QStringLiteral(" type"));
}

QString TfmConnect::PortEntryText(int port)
{
    const QString device = QString::fromStdString(ComPortPath(port));
    QString text = QStringLiteral("Comm Port %1").arg(port);
    if (device.isEmpty())
        return text;
    // Devices under /dev are named without that folder ("ttyUSB0", "pts/3"),
    // so the entry fits; the tooltip holds the whole path.
    const QString dev = QStringLiteral("/dev/");
    const bool inDev = device.startsWith(dev);
    text += QStringLiteral(" (") + (inDev ? device.mid(dev.size()) : device);
    if (!QFileInfo::exists(device))
        text += QStringLiteral(", missing");
    return text + QLatin1Char(')');
}

void TfmConnect::FillPorts()
{
    // Texts are refreshed in place, so the selection (index = port - 1) stays.
    for (int port = 1; port <= PortCount; ++port) {
        const QString text = QStringLiteral("Comm Port %1").arg(port);
        if (cbCommPort->count() < port)
            cbCommPort->addItem(text, port);
        else
            cbCommPort->setItemText(port - 1, text);
        cbCommPort->setItemData(port - 1, PortEntryText(port), EntryRole);
        cbCommPort->setItemData(port - 1, QString::fromStdString(ComPortPath(port)),
                                Qt::ToolTipRole);
    }
    // The open list is as wide as its longest entry.
    cbCommPort->view()->setMinimumWidth(cbCommPort->view()->sizeHintForColumn(0) + 24);
}

int TfmConnect::SelectedPort() const
{
    const int index = cbCommPort->currentIndex();
    return index < 0 ? 1 : index + 1;
}

void TfmConnect::showEvent(QShowEvent *event)
{
    const QString brand = QString::fromLatin1(Branding::BrandName);
    rgZelvoType->setTitle(brand + QStringLiteral(" type"));
    setWindowTitle(QStringLiteral("Connect to ") + brand);
    FillPorts();
    if (FFirstShow) {
        CentreOnDesktop(this);
        FFirstShow = false;
    } else {
        CentreOnWidget(this, FMain.MainWidget());
    }
    btnConnect->setText(QStringLiteral("Connect"));
    btnConnect->setEnabled(true);
    rgZelvoType->setEnabled(true);
    TSerialThread *engine = FMain.Engine();
    if (engine != nullptr && !engine->IsUsbMode()) {
        cbCommPort->setEnabled(true);
        lblCommPort->setEnabled(true);
    }
    QDialog::showEvent(event);
}

void TfmConnect::onZelvoTypeClick()
{
    TSerialThread *engine = FMain.Engine();
    const bool vello = rbVello->isChecked();
    if (engine != nullptr) {
        if (vello)
            engine->SelectPort(false, SelectedPort(), BaudRate);
        else
            engine->SelectPort(true, 1, BaudRate);
    }
    cbCommPort->setEnabled(vello);
    lblCommPort->setEnabled(vello);
}

void TfmConnect::cbCommPortChange()
{
    // The list is off while OSTRA is chosen; a change made then by code
    // leaves the USB bridge selected.
    if (!rbVello->isChecked())
        return;
    if (TSerialThread *engine = FMain.Engine())
        engine->SelectPort(false, SelectedPort(), BaudRate);
}

void TfmConnect::Preselect(bool useUsb, int comPort)
{
    TProbeSelection selection;
    selection.UseUsb = useUsb;
    selection.ComPort = comPort;
    UseFoundUnit(selection);
}

void TfmConnect::UseFoundUnit(const TProbeSelection &selection)
{
    // A find may have mapped a COM number to the unit's device.
    FillPorts();
    (selection.UseUsb ? rbOstra : rbVello)->setChecked(true);
    if (!selection.UseUsb)
        cbCommPort->setCurrentIndex(selection.ComPort - 1);
    onZelvoTypeClick();
    TSerialThread *engine = FMain.Engine();
    // Without a description the bridge the link already looks for stays.
    if (selection.UseUsb && !selection.BridgeDescription.empty() && engine != nullptr &&
        engine->Comms() != nullptr)
        engine->Comms()->SetBrandName(selection.BridgeDescription);
}

void TfmConnect::btnConnectClick()
{
    // The ports a find holds are let go before the link opens one.
    FindPanel->Cancel();
    btnConnect->setText(QStringLiteral("Connecting..."));
    rgZelvoType->setEnabled(false);
    cbCommPort->setEnabled(false);
    lblCommPort->setEnabled(false);
    if (TSerialThread *engine = FMain.Engine())
        TSession(*engine).StartConnect();
}
