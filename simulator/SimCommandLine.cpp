#include "simulator/SimCommandLine.h"

#include "transfer/TxTypes.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <optional>
#include <stdexcept>

namespace vaultix::simulator {

namespace {

// Decimal or 0x-hexadecimal, the whole text, at most Max.
std::optional<unsigned long long> NumberOf(std::string_view Text, unsigned long long Max) {
    if (Text.empty() || !std::isdigit(static_cast<unsigned char>(Text.front())))
        return std::nullopt;
    const std::string text(Text);
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end != text.c_str() + text.size() || value > Max) return std::nullopt;
    return value;
}

class TArgs {
public:
    explicit TArgs(std::span<const std::string_view> Args) : Args(Args) {}
    bool More() const { return At < Args.size(); }
    std::string_view Next() { return Args[At++]; }
    std::string_view Value(std::string_view Option) {
        if (!More()) throw std::invalid_argument(std::string(Option) + " needs a value");
        return Next();
    }
    unsigned long long Number(std::string_view Option,
                              unsigned long long Max = std::numeric_limits<std::uint32_t>::max()) {
        const std::string_view text = Value(Option);
        const auto value = NumberOf(text, Max);
        if (!value)
            throw std::invalid_argument(std::string(Option) + ": \"" + std::string(text) +
                                        "\" is not a number from 0 to " + std::to_string(Max));
        return *value;
    }
    // A number that may follow an option, or nothing.
    std::optional<unsigned long long> OptionalNumber() {
        if (!More()) return std::nullopt;
        const auto value = NumberOf(Args[At], std::numeric_limits<std::uint32_t>::max());
        if (value) ++At;
        return value;
    }

private:
    std::span<const std::string_view> Args;
    std::size_t At = 0;
};

} // namespace

int FindTxType(std::string_view Name) {
    if (const auto row = NumberOf(Name, transfer::TxTypeCount - 1)) return static_cast<int>(*row);
    return transfer::FindTxType(Name);
}

TSimCommand ParseCommandLine(std::span<const std::string_view> Args) {
    TSimCommand command;
    TSimOptions& options = command.Options;
    TSimFaults& faults = options.Faults;
    int modes = 0;
    bool modelsGiven = false;
    const auto mode = [&](TSimMode Mode) {
        options.Mode = Mode;
        ++modes;
    };
    const auto ms = [](unsigned long long Value) {
        return milliseconds(static_cast<milliseconds::rep>(Value));
    };
    TArgs args(Args);
    while (args.More()) {
        const std::string_view arg = args.Next();
        if (arg == "--help" || arg == "-h") {
            command.ShowHelp = true;
        } else if (arg == "--type") {
            const std::string_view name = args.Value(arg);
            options.TypeRow = FindTxType(name);
            if (options.TypeRow < 0)
                throw std::invalid_argument("unknown transmitter type \"" + std::string(name) +
                                            "\" (" + transfer::TxTypeNames(true) + ")");
        } else if (arg == "--send-one") {
            mode(TSimMode::smSendModel);
        } else if (arg == "--send-memory") {
            mode(TSimMode::smSendMemory);
        } else if (arg == "--send-all") {
            mode(TSimMode::smSendAll);
            if (const auto count = args.OptionalNumber()) {
                options.Models = static_cast<std::size_t>(*count);
                modelsGiven = true;
            }
        } else if (arg == "--receive") {
            mode(TSimMode::smReceiveModels);
            options.Models = 1;
        } else if (arg == "--receive-all") {
            mode(TSimMode::smReceiveModels);
            options.Models = static_cast<std::size_t>(args.Number(arg));
            modelsGiven = true;
        } else if (arg == "--receive-memory") {
            mode(TSimMode::smReceiveMemory);
        } else if (arg == "--send-back") {
            options.SendBack = true;
            if (const auto delay = args.OptionalNumber()) options.SendBackDelay = ms(*delay);
        } else if (arg == "--change-byte") {
            options.SendBackChange = static_cast<std::size_t>(args.Number(arg));
        } else if (arg == "--file") {
            command.FilePath = args.Value(arg);
        } else if (arg == "--output") {
            command.OutputPath = args.Value(arg);
        } else if (arg == "--check") {
            options.CheckGenerated = true;
        } else if (arg == "--seed") {
            options.Seed = static_cast<std::uint32_t>(args.Number(arg));
        } else if (arg == "--name") {
            options.Names.push_back(EncodeModelName(args.Value(arg)));
        } else if (arg == "--number") {
            options.FirstNumber = static_cast<std::uint8_t>(args.Number(arg, 255));
        } else if (arg == "--baud") {
            options.Baud = static_cast<std::uint32_t>(args.Number(arg));
            if (options.Baud == 0) throw std::invalid_argument("--baud must not be 0");
        } else if (arg == "--fast") {
            options.Paced = false;
        } else if (arg == "--device") {
            options.DevicePath = args.Value(arg);
        } else if (arg == "--delay") {
            options.StartDelay = ms(args.Number(arg));
        } else if (arg == "--wait") {
            command.WaitForEnter = true;
        } else if (arg == "--ack-timeout") {
            options.AckTimeout = ms(args.Number(arg));
        } else if (arg == "--min-ack") {
            options.MinAckDelay = ms(args.Number(arg));
        } else if (arg == "--idle-timeout") {
            options.IdleTimeout = ms(args.Number(arg));
        } else if (arg == "--linger") {
            options.Linger = ms(args.Number(arg));
        } else if (arg == "--stall-after") {
            faults.StallAfter = static_cast<std::size_t>(args.Number(arg));
        } else if (arg == "--hangup-after") {
            faults.HangupAfter = static_cast<std::size_t>(args.Number(arg));
        } else if (arg == "--garbage") {
            faults.GarbageBytes = static_cast<std::size_t>(args.Number(arg));
        } else if (arg == "--garbage-at") {
            faults.GarbageAt = static_cast<std::size_t>(args.Number(arg));
        } else if (arg == "--end-first") {
            faults.EndFirst = true;
        } else if (arg == "--bad-marker") {
            faults.BadMarker = true;
            if (const auto byte = args.OptionalNumber()) {
                if (*byte > 255) throw std::invalid_argument("--bad-marker takes a byte value");
                faults.BadMarkerByte = static_cast<std::uint8_t>(*byte);
            }
        } else if (arg == "--quiet" || arg == "-q") {
            command.Quiet = true;
        } else {
            throw std::invalid_argument("unknown option \"" + std::string(arg) + "\"");
        }
    }
    if (command.ShowHelp) return command;
    if (modes != 1)
        throw std::invalid_argument(
            "choose one of --send-one, --send-memory, --send-all, --receive, --receive-all, "
            "--receive-memory");
    const bool sending = options.Mode == TSimMode::smSendModel ||
                         options.Mode == TSimMode::smSendMemory ||
                         options.Mode == TSimMode::smSendAll;
    if (options.Mode == TSimMode::smSendAll && !modelsGiven && command.FilePath.empty())
        throw std::invalid_argument("--send-all needs a number of models, or --file");
    if (sending && !command.OutputPath.empty())
        throw std::invalid_argument("--output stores a restore; it needs a receive mode");
    if (options.SendBackChange && !options.SendBack)
        throw std::invalid_argument("--change-byte changes what --send-back sends");
    if (!sending && options.CheckGenerated && !command.FilePath.empty())
        throw std::invalid_argument("--check and --file both name the expected image");
    return command;
}

const char* UsageText() {
    return R"(Usage: vaultix-sim --type TYPE MODE [OPTIONS]

Plays a transmitter on the far end of a serial line. Without --device it creates a
pseudo-terminal pair and prints the device for the application to open on the first line
of its output; the simulator keeps that device open itself until it ends.

Types: MC-18, MC-20, MC-22, MC-24, MX-22, Test (ByteCount).

Modes (exactly one):
  --send-one          send one model memory
  --send-memory       send the whole memory as one unit (MC-18: 2050, MC-20: 8194 bytes)
  --send-all [N]      send N models with the block protocol (MC-22, MC-24, MX-22): 0x80 0xAA
                      before each block, 0x80 0xFF at the end; each block, and the end
                      marker, must be answered by 0x40 0xAA no sooner than --min-ack
  --receive           receive a restore of one model
  --receive-all N     receive a restore of N models, one after another
  --receive-memory    receive a restore of the whole memory
  --send-back [MS]    with a receive mode: then wait MS (default 1000) and send back what
                      was received, as when the user sends the model to verify the restore
  --change-byte N     ... with the byte at offset N changed

Data:
  --file PATH         send this file (a whole number of units), or with a receive mode
                      check every byte of the restore against it
  --check             receive: check against the images --seed generates
  --output PATH       receive: store the bytes of the restore
  --seed N            seed of the generated memory content (default 1)
  --name TEXT         name of the next generated model (UTF-8; ä ö ü and the other letters
                      of the transmitter are kept); repeat for more models
  --number N          model number of the first generated model (default 1)

Line:
  --device PATH       use this serial device instead of a new pseudo-terminal pair
  --baud N            line speed (default: the type's, 4000 or 4800)
  --fast              do not pace the output at the line speed (12 bits a byte)
  --delay MS          wait before the first byte
  --wait              wait for Enter before the first byte, like the transmitter's button

Checks:
  --min-ack MS        earliest acknowledgement after a block (default 700)
  --ack-timeout MS    a missing acknowledgement fails after this long (default 5000)
  --idle-timeout MS   receive: fail after this long without a byte (default: wait)
  --linger MS         listen this long after the end for stray bytes (default 1000)

Faults (byte counts are of the transfer itself, markers included):
  --stall-after N     go silent after N bytes until stopped (receive: stop reading)
  --hangup-after N    close the line after N bytes, as if the cable were pulled
  --garbage N         send N noise bytes ...
  --garbage-at K      ... after K bytes of the transfer (default 0: before it)
  --bad-marker [B]    after the first block send 0x80 B (default 0x55) and expect it to be
                      acknowledged again
  --end-first         send the end marker before any block; no acknowledgement is due

  --quiet             print only the device and the summary
  --help              this text

Ctrl-C stops the simulator. The exit code is 0 when the run went as asked (a requested
hang-up or stall included), 1 when a check failed, 2 for a usage error.
)";
}

} // namespace vaultix::simulator
