// save and restore: the window's four actions without the window. The flows prepare the engine
// as the window's flows do (ScreenFlows.cpp), and the session runs it.

#include "platform/RuntimeExceptions.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/CliOutput.h"
#include "tools/cli/CliSession.h"
#include "transfer/BackupFiles.h"
#include "transfer/DataFile.h"
#include "transfer/DescriptionFile.h"

#include <cstdio>
#include <filesystem>

namespace vaultix::cli {

namespace {

[[noreturn]] void RaiseFileFailure(const std::string& Name, const platform::Exception& Error) {
    throw ECliFailure(ceFailed, Name + ": " + Error.Message());
}

void Say(const std::string& Text) {
    std::fputs((Text + "\n").c_str(), stderr);
    std::fflush(stderr);
}

} // namespace

TCliExit SaveBackup(const TCliCommand& Command) {
    const std::string& Name = Command.Files.front();
    const std::uint16_t Unit = transfer::UnitSize(
        Command.TxRow, Command.All ? transfer::ufAllModels : transfer::ufOneModel);
    const bool ByBlocks = Command.All && transfer::AllModelsByBlocks(Command.TxRow);

    TCliSession Session(Command);
    Session.OpenPort();
    try {
        // As in the window: without a new text, the description of that name stays.
        std::string Description;
        if (Command.Description) {
            Description = *Command.Description;
            if (transfer::NeedsUtf8(Description)) Say(transfer::StoredAsUtf8Notice);
        } else if (const auto Existing = transfer::LoadDescription(Name)) {
            Description = *Existing;
        }
        transfer::TTransferPlan Plan;
        Plan.File = Name;
        Plan.UnitSize = Unit;
        Plan.AllModels = ByBlocks;
        Plan.Memo = Description;
        Session.Driver().Prepare(Plan);
    } catch (const platform::Exception& Error) {
        RaiseFileFailure(Name, Error);
    }
    Say("Now let your transmitter send data. (Ctrl-C cancels.)");
    Session.Driver().Start();
    return Session.Run();
}

TCliExit RestoreBackup(const TCliCommand& Command) {
    const std::string& Name = Command.Files.front();
    const bool Picked = Command.Model.has_value();
    const std::uint16_t Unit = transfer::UnitSize(
        Command.TxRow, Picked || Command.All ? transfer::ufAllModels : transfer::ufOneModel);
    const std::size_t Skip = Picked ? *Command.Model - 1 : 0;
    // The size check of the window's restore, before anything reaches the transmitter.
    try {
        transfer::TDataFile File;
        File.OpenForReading(Name);
        if (!transfer::FileSizeFits(File.Length(), Unit))
            throw ECliFailure(ceFailed, Name + ": " + transfer::SizeMismatchMessage);
        if (const std::uint64_t Units = File.Length() / Unit; Skip >= Units)
            throw ECliFailure(ceFailed, Name + " holds " + std::to_string(Units) +
                                            " model(s); there is no model " +
                                            std::to_string(Skip + 1));
    } catch (const platform::Exception& Error) {
        RaiseFileFailure(Name, Error);
    }

    TCliSession Session(Command);
    Session.OpenPort();
    Session.Port().ClearOutput();
    if (!Command.Yes) {
        Say(Picked ? "Now prepare your transmitter to receive one model's data."
                   : "Now start reception of data at your transmitter.");
        Say("Press Enter when the transmitter is waiting for data. (Ctrl-C cancels.)");
        if (!Session.WaitForEnter()) {
            PrintError(Session.StopRequested()
                           ? "Restore cancelled; nothing was sent."
                           : "Restore cancelled: standard input ended before Enter was pressed "
                             "(use --yes when the transmitter is waiting already).");
            return ceFailed;
        }
    }
    transfer::TTransferPlan Plan;
    Plan.Sending = true;
    Plan.File = Name;
    Plan.UnitSize = Unit;
    Plan.AllModels = Picked;
    Plan.FromChooser = Picked;
    Plan.SkipUnits = Skip;
    try {
        Session.Driver().Prepare(Plan);
    } catch (const platform::Exception& Error) {
        RaiseFileFailure(Name, Error);
    }
    Session.Driver().Start();
    const TCliExit Restored = Session.Run();
    if (!Command.Verify || Restored != ceSuccess) return Restored;

    Session.Driver().PrepareVerify(Command.TxRow);
    Say("Now let your transmitter send " +
        transfer::SubjectInSentence(Session.Driver().VerifySubject()) +
        " back, as for a save, to verify it. (Ctrl-C cancels.)");
    Session.Driver().Start();
    return Session.Run();
}

} // namespace vaultix::cli
