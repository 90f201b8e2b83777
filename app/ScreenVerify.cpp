// Verifying a restore in the window: the offer after the restore's box, the transmitter's
// send-back on the Transfer page with its progress and Cancel, and the box with the result.

#include "app/ApplicationErrors.h"
#include "app/Screen.h"
#include "app/UserDialogs.h"
#include "transfer/TransferVerify.h"
#include "transfer/TxTypes.h"

#include <QTimer>

namespace vaultix::app {

void TScreen::TransferEnded() {
    // The step that ended the transfer is still on the stack: what follows runs after it.
    if (Driver.Verifying()) {
        QTimer::singleShot(0, this, [this] { RunGuarded([this] { ShowVerifyResult(); }); });
    } else if (Engine.Sending && Engine.Outcome() == transfer::toCompleted) {
        QTimer::singleShot(0, this, [this] { RunGuarded([this] { OfferVerify(); }); });
    }
}

void TScreen::OfferVerify() {
    if (FTerminating || Engine.Running() || !Port.Open()) return;
    const int Row = TxBoxIndex();
    const std::string Subject = transfer::RestoredSubject(Driver.VerifyUnit(), Row);
    const bool Memory = Subject.starts_with("The ");
    const std::string Question = "Verify " + transfer::SubjectInSentence(Subject) +
                                 " in the transmitter?\rClick Yes, then let " +
                                 "your transmitter send " + (Memory ? "its memory" : "this model") +
                                 ", as for a save.\rIt is compared with the backup byte for "
                                 "byte; no file is written.";
    if (!ShowMessage(this, mkQuestion, Question)) return;
    // The question may have waited a while: the port or the type may have changed meanwhile.
    if (FTerminating || Engine.Running() || !Port.Open() || TxBoxIndex() != Row) return;
    ShowPage(transfer::npTransfer);
    Driver.PrepareVerify(Row);
    StartEngine();
}

void TScreen::ShowVerifyResult() {
    if (Engine.Running()) return;
    const transfer::TVerifyResult Result = Driver.VerifyResult();
    ShowMessage(this, Result.Identical() ? mkInformation : mkError, Driver.VerifyText());
}

} // namespace vaultix::app
