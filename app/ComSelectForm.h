#pragma once
// The modal "Select Port" dialog: the way out when the configured port number is not valid. It
// lists the serial ports COM1 to COM50 that exist (also those another program holds), read
// afresh each time it is made, says what device the highlighted one is, and gives the number of
// the one the user picks.

#include <QDialog>

#include <cstdint>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace vaultix::app {

// How a modal dialog was closed.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3 };

class TComSelectForm final : public QDialog {
public:
    // Probes the ports and fills the list (FormCreate). Without a parent the dialog is centred
    // on the screen.
    explicit TComSelectForm(QWidget* Parent = nullptr);

    // mrOk from OK, mrAbort from Cancel, mrCancel from the close box (and Escape). Only mrOk is
    // a choice.
    TModalResult ShowModal();

    // The number of the selected port ("COM12" gives 12); 0 when nothing is selected.
    std::uint16_t SelectedPort() const;

    QFrame* const Bevel1;
    QLabel* const Label1;
    QLabel* const Label2;
    QComboBox* const PortsComboBox;
    // The device behind the highlighted entry and, for a USB adapter, its maker and product.
    QLabel* const DeviceLabel;
    QPushButton* const OkBtn;
    QPushButton* const AbortBtn;

    // The close box and Escape.
    void reject() override;

private:
    void FormCreate();
    void UpdateOkBtn();
    void ShowDevice(int Index);
};

// Shows the dialog modally as the port component's way of asking for a port (see
// serial::SetPortPrompt) and gives its choice: 0 unless ended with OK.
std::uint16_t PromptWithComSelectForm();

} // namespace vaultix::app
