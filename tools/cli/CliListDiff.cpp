// list and diff: what a backup holds, and what changed between two of them.

#include "tools/cli/CliCommands.h"
#include "tools/cli/CliOutput.h"
#include "transfer/BackupBrowse.h"
#include "transfer/TxTypes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vaultix::cli {

using namespace transfer;

namespace {

std::string PaddedRight(const std::string& Text, std::size_t Width) {
    const std::size_t Has = DisplayWidth(Text);
    return Has >= Width ? Text : Text + std::string(Width - Has, ' ');
}

std::string PaddedLeft(const std::string& Text, std::size_t Width) {
    return Text.size() >= Width ? Text : std::string(Width - Text.size(), ' ') + Text;
}

QString Q(const std::string& Utf8) {
    return QString::fromStdString(Utf8);
}

void PrintJson(const std::filesystem::path& Name, int TxRow, const TUnitFile& File,
               const std::vector<TUnitEntry>& Units) {
    QJsonArray Models;
    for (const TUnitEntry& Unit : Units) {
        QJsonObject Model;
        Model[QStringLiteral("index")] = static_cast<qint64>(Unit.Index);
        Model[QStringLiteral("number")] = Unit.Number ? QJsonValue(*Unit.Number) : QJsonValue();
        Model[QStringLiteral("name")] = Q(Unit.Name);
        Model[QStringLiteral("entry")] = Q(Unit.Entry);
        Model[QStringLiteral("sha256")] = Q(Sha256Hex(File.UnitAt(Unit.Index - 1)));
        Models.append(Model);
    }
    QJsonObject Root;
    Root[QStringLiteral("file")] = Q(Name.string());
    Root[QStringLiteral("type")] = Q(transfer::TxTypeAt(TxRow).Code);
    Root[QStringLiteral("unit_size")] = File.Unit;
    Root[QStringLiteral("whole_memory")] = File.WholeMemory;
    Root[QStringLiteral("models")] = Models;
    std::fputs(QJsonDocument(Root).toJson(QJsonDocument::Indented).constData(), stdout);
}

} // namespace

TCliExit ListBackup(const TCliCommand& Command) {
    const std::filesystem::path Name = Command.Files.front();
    const TUnitFile File = LoadUnitFile(Name, Command.TxRow, true);
    const std::vector<TUnitEntry> Units = DescribeUnits(File, Command.TxRow);
    if (Command.Json) {
        PrintJson(Name, Command.TxRow, File, Units);
        return ceSuccess;
    }
    const std::size_t IndexWidth = std::to_string(Units.size()).size();
    std::size_t EntryWidth = 0;
    for (const TUnitEntry& Unit : Units)
        EntryWidth = std::max(EntryWidth, DisplayWidth(Unit.Entry));
    for (const TUnitEntry& Unit : Units) {
        const std::string Line = PaddedLeft(std::to_string(Unit.Index), IndexWidth) + "  " +
                                 PaddedRight(Printable(Unit.Entry), EntryWidth) + "  " +
                                 Sha256Hex(File.UnitAt(Unit.Index - 1)) + "\n";
        std::fputs(Line.c_str(), stdout);
    }
    return ceSuccess;
}

TCliExit DiffBackups(const TCliCommand& Command) {
    const TUnitFile FileA = LoadUnitFile(Command.Files[0], Command.TxRow, true);
    const TUnitFile FileB = LoadUnitFile(Command.Files[1], Command.TxRow, true);
    const std::vector<TUnitEntry> A = DescribeUnits(FileA, Command.TxRow);
    const std::vector<TUnitEntry> B = DescribeUnits(FileB, Command.TxRow);
    const std::vector<TCompareLine> Lines = CompareBackups(FileA, A, FileB, B);

    static constexpr const char* StateText[] = {"same", "changed", "only in A", "only in B"};
    std::size_t Counts[4] = {};
    const std::size_t IndexWidth = std::to_string(std::max(A.size(), B.size())).size();
    const auto Place = [&](const std::optional<std::size_t>& Index) {
        return PaddedLeft(Index ? std::to_string(*Index + 1) : "-", IndexWidth);
    };
    for (const TCompareLine& Line : Lines) {
        ++Counts[Line.State];
        std::string Entry = Printable(Line.A ? A[*Line.A].Entry : B[*Line.B].Entry);
        if (Line.A && Line.B && A[*Line.A].Entry != B[*Line.B].Entry)
            Entry += " -> " + Printable(B[*Line.B].Entry);
        const std::string Text = PaddedRight(StateText[Line.State], 9) + "  " + Place(Line.A) +
                                 "  " + Place(Line.B) + "  " + Entry + "\n";
        std::fputs(Text.c_str(), stdout);
    }
    std::string Summary;
    for (int State = csSame; State <= csOnlyInB; ++State) {
        if (Counts[State] == 0 && State != csSame) continue;
        if (!Summary.empty()) Summary += ", ";
        Summary += std::to_string(Counts[State]) + " " + StateText[State];
    }
    std::fputs((Summary + ".\n").c_str(), stdout);
    const bool Equal = Counts[csSame] == Lines.size();
    return Equal ? ceSuccess : ceFailed;
}

} // namespace vaultix::cli
