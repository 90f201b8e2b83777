#include "tools/cli/CliCommandLine.h"

#include "transfer/BackupFiles.h"
#include "transfer/TxTypes.h"

#include <algorithm>
#include <charconv>

namespace vaultix::cli {

namespace {

struct TActionName {
    TCliAction Action;
    const char* Name;
};

constexpr TActionName ActionNames[] = {
    {caPorts, "ports"}, {caSave, "save"},       {caRestore, "restore"}, {caList, "list"},
    {caDiff, "diff"},   {caExtract, "extract"}, {caJoin, "join"},
};

// What each command accepts besides --help and --debug.
enum TOption : unsigned {
    opType = 1u << 0,
    opPort = 1u << 1,
    opAll = 1u << 2,
    opModel = 1u << 3,
    opDescription = 1u << 4,
    opBaud = 1u << 5,
    opYes = 1u << 6,
    opJson = 1u << 7,
    opVerify = 1u << 8,
};

unsigned AllowedOptions(TCliAction Action) {
    switch (Action) {
    case caPorts:
        return opJson;
    case caSave:
        return opType | opPort | opAll | opDescription | opBaud;
    case caRestore:
        return opType | opPort | opAll | opModel | opYes | opBaud | opVerify;
    case caList:
        return opType | opJson;
    case caDiff:
        return opType;
    case caExtract:
        return opType | opModel;
    case caJoin:
        return opType;
    case caNone:
        return 0;
    }
    return 0;
}

std::size_t ModelNumberOf(std::string_view Text) {
    std::size_t Value = 0;
    const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    if (Error != std::errc() || End != Text.data() + Text.size() || Value == 0)
        throw ECliUsage("--model takes a model's place in the file, counting from 1, not \"" +
                        std::string(Text) + "\"");
    return Value;
}

class TArgs {
public:
    explicit TArgs(std::span<const std::string_view> Args) : FArgs(Args) {}
    bool More() const { return FAt < FArgs.size(); }
    std::string_view Next() { return FArgs[FAt++]; }

private:
    std::span<const std::string_view> FArgs;
    std::size_t FAt = 0;
};

void CheckFiles(const TCliCommand& Command) {
    const std::size_t Count = Command.Files.size();
    const auto Need = [&](bool Fits, const char* What) {
        if (!Fits) throw ECliUsage(CliCommandName(Command.Action) + " needs " + What);
    };
    switch (Command.Action) {
    case caPorts:
        Need(Count == 0, "no file");
        break;
    case caSave:
    case caRestore:
    case caList:
        Need(Count == 1, "one FILE");
        break;
    case caDiff:
        Need(Count == 2, "two files, FILE_A and FILE_B");
        break;
    case caExtract:
        Need(Count == 2, "FILE and OUT");
        break;
    case caJoin:
        Need(Count >= 2, "OUT and at least one FILE");
        break;
    case caNone:
        break;
    }
}

void CheckCombination(const TCliCommand& Command) {
    const TCliAction Action = Command.Action;
    const bool NeedsType = Action != caPorts;
    if (NeedsType && Command.TxRow < 0)
        throw ECliUsage(CliCommandName(Action) + " needs --type (" + transfer::TxTypeNames(Command.Debug) +
                        ")");
    if ((Action == caSave || Action == caRestore) && Command.Port.empty())
        throw ECliUsage(CliCommandName(Action) + " needs --port (COMn or a device path)");
    if (Action == caExtract && !Command.Model) throw ECliUsage("extract needs --model N");
    CheckFiles(Command);
    if (!NeedsType) return;

    const transfer::TTxInfo& Row = transfer::TxTypes[static_cast<std::size_t>(Command.TxRow)];
    const bool ByBlocks = transfer::AllModelsByBlocks(Command.TxRow);
    if (Action == caSave && Command.All && !Row.SaveAllAllowed)
        throw ECliUsage(std::string("the type ") + Row.TxBoxEntry + " has no all-models save");
    if (Action == caRestore) {
        if (Command.All && Command.Model)
            throw ECliUsage("restore takes either --all or --model N, not both");
        if (Command.All && (ByBlocks || !Row.RestoreAllAllowed))
            throw ECliUsage(std::string(Row.TxBoxEntry) +
                            " restores all models one at a time: pick each with --model N");
        if (Command.Model && (!ByBlocks || !Row.RestoreAllAllowed))
            throw ECliUsage(std::string(Row.TxBoxEntry) +
                            " keeps all models as one memory image: restore it with --all");
    }
    if (Action == caJoin && !ByBlocks)
        throw ECliUsage(std::string(Row.TxBoxEntry) +
                        " keeps all models as one memory image, which cannot be joined");
    if (Command.Baud && Command.TxRow != transfer::TestTypeRow)
        throw ECliUsage("--baud is for the test type; every other type has its own speed");
}

} // namespace

std::string CliCommandName(TCliAction Action) {
    for (const TActionName& Entry : ActionNames)
        if (Entry.Action == Action) return std::string("vaultix-cli ") + Entry.Name;
    return "vaultix-cli";
}

int FindCliType(std::string_view Name, bool Debug) {
    const int Row = transfer::FindTxType(Name);
    if (Row < 0)
        throw ECliUsage("unknown transmitter type \"" + std::string(Name) + "\" (" +
                        transfer::TxTypeNames(Debug) + ")");
    if (Row == transfer::TestTypeRow && !Debug) throw ECliUsage("the test type needs --debug");
    return Row;
}

TCliCommand ParseCliCommand(std::span<const std::string_view> Args) {
    TCliCommand Command;
    std::optional<std::string> TypeName;
    unsigned Given = 0;
    bool OptionsEnded = false;
    TArgs Arg(Args);
    while (Arg.More()) {
        std::string_view Text = Arg.Next();
        const bool IsOption = !OptionsEnded && Text.size() > 1 && Text.front() == '-';
        if (!IsOption) {
            if (Command.Action == caNone && Command.Files.empty()) {
                const auto Found =
                    std::find_if(std::begin(ActionNames), std::end(ActionNames),
                                 [&](const TActionName& Entry) { return Text == Entry.Name; });
                if (Found == std::end(ActionNames))
                    throw ECliUsage("unknown command \"" + std::string(Text) +
                                    "\" (ports, save, restore, list, diff, extract, join)");
                Command.Action = Found->Action;
            } else {
                Command.Files.emplace_back(Text);
            }
            continue;
        }
        if (Text == "--") {
            OptionsEnded = true;
            continue;
        }
        // "--type=mc22" as well as "--type mc22".
        std::optional<std::string_view> Inline;
        if (const std::size_t Equals = Text.find('='); Equals != std::string_view::npos) {
            Inline = Text.substr(Equals + 1);
            Text = Text.substr(0, Equals);
        }
        const auto Value = [&]() -> std::string {
            if (Inline) return std::string(*Inline);
            if (!Arg.More()) throw ECliUsage(std::string(Text) + " needs a value");
            return std::string(Arg.Next());
        };
        const auto Flag = [&](unsigned Option) {
            if (Inline) throw ECliUsage(std::string(Text) + " takes no value");
            Given |= Option;
        };
        if (Text == "--help" || Text == "-h") {
            Command.ShowHelp = true;
        } else if (Text == "--version") {
            Command.ShowVersion = true;
        } else if (Text == "--debug") {
            Command.Debug = true;
        } else if (Text == "--type" || Text == "-t") {
            TypeName = Value();
            Given |= opType;
        } else if (Text == "--port" || Text == "-p") {
            Command.Port = Value();
            if (Command.Port.empty()) throw ECliUsage("--port needs a value");
            Given |= opPort;
        } else if (Text == "--model" || Text == "-m") {
            Command.Model = ModelNumberOf(Value());
            Given |= opModel;
        } else if (Text == "--description" || Text == "-d") {
            Command.Description = Value();
            Given |= opDescription;
        } else if (Text == "--baud") {
            const std::string Speed = Value();
            if (Speed != "4000" && Speed != "4800")
                throw ECliUsage("--baud takes 4000 or 4800, not \"" + Speed + "\"");
            Command.Baud = Speed == "4000" ? 4000 : 4800;
            Given |= opBaud;
        } else if (Text == "--all" || Text == "-a") {
            Flag(opAll);
            Command.All = true;
        } else if (Text == "--yes" || Text == "-y") {
            Flag(opYes);
            Command.Yes = true;
        } else if (Text == "--verify") {
            Flag(opVerify);
            Command.Verify = true;
        } else if (Text == "--json") {
            Flag(opJson);
            Command.Json = true;
        } else {
            throw ECliUsage("unknown option " + std::string(Text));
        }
    }
    if (Command.ShowHelp || Command.ShowVersion) return Command;
    if (Command.Action == caNone) throw ECliUsage("no command given");
    if (const unsigned Stray = Given & ~AllowedOptions(Command.Action); Stray != 0) {
        static constexpr std::pair<unsigned, const char*> Names[] = {
            {opType, "--type"},
            {opPort, "--port"},
            {opAll, "--all"},
            {opModel, "--model"},
            {opDescription, "--description"},
            {opBaud, "--baud"},
            {opYes, "--yes"},
            {opJson, "--json"},
            {opVerify, "--verify"}};
        for (const auto& [Option, Name] : Names)
            if ((Stray & Option) != 0)
                throw ECliUsage(CliCommandName(Command.Action) + " takes no " + Name);
    }
    // The type is looked up last: --debug may come after it.
    if (TypeName) Command.TxRow = FindCliType(*TypeName, Command.Debug);
    CheckCombination(Command);
    return Command;
}

std::string CliUsage(TCliAction Action) {
    switch (Action) {
    case caPorts:
        return "Usage: vaultix-cli ports [--json]\n"
               "\n"
               "Lists every COM port that is mapped to a device: the device, for USB adapters\n"
               "the maker, product and serial number, and whether the port is in use or\n"
               "closed to you. COM numbers follow the [Ports] section of the settings file.\n";
    case caSave:
        return "Usage: vaultix-cli save --type T --port P [--all] [--description TEXT] FILE\n"
               "\n"
               "Waits for the transmitter to send and saves what it sends to FILE, with its\n"
               "description in FILE.dsc. Start the sending at the transmitter once the\n"
               "program asks for it; Ctrl-C cancels, and an earlier backup of that name stays.\n"
               "\n"
               "  --type T            MC-18, MC-20, MC-22, MC-24 or MX-22, in any letter case, with\n"
               "                      or without the dash (\"mc22\"), or the list text\n"
               "  --port P            COMn, or a device path such as /dev/ttyUSB0\n"
               "  --all               all models (the MC-18 types: the whole memory)\n"
               "  --description TEXT  the description; without it an existing FILE.dsc stays\n";
    case caRestore:
        return "Usage: vaultix-cli restore --type T --port P [--model N | --all] [--yes] "
               "[--verify]\n"
               "                           FILE\n"
               "\n"
               "Sends the first model of FILE to the transmitter, or with --model N the N-th\n"
               "model (counting from 1) of an all-models file. Asks you to ready the\n"
               "transmitter and press Enter first.\n"
               "\n"
               "  --model N   the model to send from an all-models file (see vaultix-cli list)\n"
               "  --all       the MC-18 types: send the whole memory image\n"
               "  --yes       do not ask; the transmitter is waiting already\n"
               "  --verify    after the restore, let the transmitter send the model back (as\n"
               "              for a save) and compare it byte for byte with FILE; nothing is\n"
               "              written. Exit status 0 when identical, 1 when it differs or\n"
               "              nothing came back (the wait ends after 60 s without a byte, or\n"
               "              5 s without one once the model comes)\n";
    case caList:
        return "Usage: vaultix-cli list --type T [--json] FILE\n"
               "\n"
               "One line per model of FILE: its place in the file, its number and name as the\n"
               "model chooser shows them, and the SHA-256 of its bytes.\n";
    case caDiff:
        return "Usage: vaultix-cli diff --type T FILE_A FILE_B\n"
               "\n"
               "Compares two backups model by model: same, changed, only in A, only in B.\n"
               "Models are paired by their number where the type has numbers, else by place.\n"
               "Exit status 0 when the files hold the same models, 1 when they differ.\n";
    case caExtract:
        return "Usage: vaultix-cli extract --type T --model N FILE OUT\n"
               "\n"
               "Writes model N (counting from 1) of FILE as a one-model file OUT, and\n"
               "FILE.dsc as OUT.dsc when FILE has a description.\n";
    case caJoin:
        return "Usage: vaultix-cli join --type T OUT FILE...\n"
               "\n"
               "Writes the models of the one-model or all-models files FILE..., in order, as\n"
               "one all-models file OUT, ready for \"restore --model N\".\n";
    case caNone:
        break;
    }
    return "Usage: vaultix-cli [--debug [--baud 4000|4800]] COMMAND [OPTIONS] ...\n"
           "       vaultix-cli [COMMAND] --help | --version\n"
           "\n"
           "Saves the model memories of MC-18, MC-20, MC-22, MC-24 and MX-22 transmitters\n"
           "over a serial cable, writes them back, and looks into backup files.\n"
           "\n"
           "Commands:\n"
           "  ports   [--json]                       the serial ports and their devices\n"
           "  save    --type T --port P [--all] [--description TEXT] FILE\n"
           "                                         save a backup from the transmitter\n"
           "  restore --type T --port P [--model N | --all] [--yes] [--verify] FILE\n"
           "                                         send a backup to the transmitter\n"
           "  list    --type T [--json] FILE         the models in a backup\n"
           "  diff    --type T FILE_A FILE_B         compare two backups model by model\n"
           "  extract --type T --model N FILE OUT    one model as a file of its own\n"
           "  join    --type T OUT FILE...           several backups as one all-models file\n"
           "\n"
           "\"vaultix-cli COMMAND --help\" tells more. Exit status: 0 success; 1 transfer\n"
           "failed or cancelled, files differ, a verify found a difference or could not\n"
           "verify, or a file was refused; 2 wrong command line; 3 the port cannot be\n"
           "opened.\n";
}

} // namespace vaultix::cli
