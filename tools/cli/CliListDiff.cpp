// list and diff: what a backup holds, and what changed between two of them.

#include "tools/cli/CliCommands.h"
#include "tools/cli/CliOutput.h"
#include "tools/cli/CliUnits.h"
#include "transfer/TxTypes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

namespace vaultix::cli {

namespace {

std::vector<TUnitEntry> Entries(const TUnitFile& File, int TxRow) {
    std::vector<TUnitEntry> Result;
    Result.reserve(File.Count());
    for (std::size_t Index = 0; Index < File.Count(); ++Index)
        Result.push_back(DescribeUnit(File, TxRow, Index));
    return Result;
}

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
        Model[QStringLiteral("sha256")] = Q(Unit.Sha256);
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

enum TDiffState { dsSame, dsChanged, dsOnlyInA, dsOnlyInB };

struct TDiffLine {
    TDiffState State;
    std::optional<std::size_t> A; // unit indices from 0
    std::optional<std::size_t> B;
};

// Units of types with model numbers pair by number, so that a model added or removed at the
// transmitter does not make every later model look changed; the place pairs them otherwise,
// and also when a number is missing or shows twice in a file.
bool PairByNumber(const std::vector<TUnitEntry>& A, const std::vector<TUnitEntry>& B) {
    for (const auto* Units : {&A, &B}) {
        std::set<int> Seen;
        for (const TUnitEntry& Unit : *Units)
            if (!Unit.Number || !Seen.insert(*Unit.Number).second) return false;
    }
    return true;
}

std::vector<TDiffLine> Compare(const TUnitFile& FileA, const std::vector<TUnitEntry>& A,
                               const TUnitFile& FileB, const std::vector<TUnitEntry>& B) {
    const auto Pair = [&](std::size_t I, std::size_t J) {
        const bool Same = std::ranges::equal(FileA.UnitAt(I), FileB.UnitAt(J));
        return TDiffLine{Same ? dsSame : dsChanged, I, J};
    };
    std::vector<TDiffLine> Lines;
    std::vector<bool> PairedB(B.size(), false);
    const bool ByNumber = PairByNumber(A, B);
    for (std::size_t I = 0; I < A.size(); ++I) {
        std::optional<std::size_t> Match;
        if (ByNumber) {
            for (std::size_t J = 0; J < B.size() && !Match; ++J)
                if (B[J].Number == A[I].Number) Match = J;
        } else if (I < B.size()) {
            Match = I;
        }
        if (Match) {
            PairedB[*Match] = true;
            Lines.push_back(Pair(I, *Match));
        } else {
            Lines.push_back({dsOnlyInA, I, std::nullopt});
        }
    }
    for (std::size_t J = 0; J < B.size(); ++J)
        if (!PairedB[J]) Lines.push_back({dsOnlyInB, std::nullopt, J});
    return Lines;
}

} // namespace

TCliExit ListBackup(const TCliCommand& Command) {
    const std::filesystem::path Name = Command.Files.front();
    const TUnitFile File = LoadUnitFile(Name, Command.TxRow, true);
    const std::vector<TUnitEntry> Units = Entries(File, Command.TxRow);
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
                                 Unit.Sha256 + "\n";
        std::fputs(Line.c_str(), stdout);
    }
    return ceSuccess;
}

TCliExit DiffBackups(const TCliCommand& Command) {
    const TUnitFile FileA = LoadUnitFile(Command.Files[0], Command.TxRow, true);
    const TUnitFile FileB = LoadUnitFile(Command.Files[1], Command.TxRow, true);
    if (FileA.WholeMemory != FileB.WholeMemory)
        throw ECliFailure(ceFailed, Command.Files[0] + " and " + Command.Files[1] +
                                        " cannot be compared: one holds models, the other a "
                                        "whole memory image");
    const std::vector<TUnitEntry> A = Entries(FileA, Command.TxRow);
    const std::vector<TUnitEntry> B = Entries(FileB, Command.TxRow);
    const std::vector<TDiffLine> Lines = Compare(FileA, A, FileB, B);

    static constexpr const char* StateText[] = {"same", "changed", "only in A", "only in B"};
    std::size_t Counts[4] = {};
    const std::size_t IndexWidth = std::to_string(std::max(A.size(), B.size())).size();
    const auto Place = [&](const std::optional<std::size_t>& Index) {
        return PaddedLeft(Index ? std::to_string(*Index + 1) : "-", IndexWidth);
    };
    for (const TDiffLine& Line : Lines) {
        ++Counts[Line.State];
        std::string Entry = Printable(Line.A ? A[*Line.A].Entry : B[*Line.B].Entry);
        if (Line.A && Line.B && A[*Line.A].Entry != B[*Line.B].Entry)
            Entry += " -> " + Printable(B[*Line.B].Entry);
        const std::string Text = PaddedRight(StateText[Line.State], 9) + "  " + Place(Line.A) +
                                 "  " + Place(Line.B) + "  " + Entry + "\n";
        std::fputs(Text.c_str(), stdout);
    }
    std::string Summary;
    for (int State = dsSame; State <= dsOnlyInB; ++State) {
        if (Counts[State] == 0 && State != dsSame) continue;
        if (!Summary.empty()) Summary += ", ";
        Summary += std::to_string(Counts[State]) + " " + StateText[State];
    }
    std::fputs((Summary + ".\n").c_str(), stdout);
    const bool Equal = Counts[dsSame] == Lines.size();
    return Equal ? ceSuccess : ceFailed;
}

} // namespace vaultix::cli
