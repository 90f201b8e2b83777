#include "simulator/SimPlan.h"

#include "transfer/TxTypes.h"

#include <stdexcept>
#include <string>

namespace vaultix::simulator {

namespace {

bool IsSend(TSimMode Mode) {
    return Mode == TSimMode::smSendModel || Mode == TSimMode::smSendMemory ||
           Mode == TSimMode::smSendAll;
}

[[noreturn]] void Refuse(const std::string& Why) {
    throw std::invalid_argument(Why);
}

void CheckImageSize(const TImage& Image, std::size_t Expected, const char* What) {
    if (!Image.empty() && Image.size() != Expected)
        Refuse(std::string(What) + " must be " + std::to_string(Expected) + " bytes, not " +
               std::to_string(Image.size()));
}

} // namespace

TSimPlan PlanRun(const TSimOptions& Options) {
    if (!transfer::IsValidTxSelection(Options.TypeRow))
        Refuse("unknown transmitter type row " + std::to_string(Options.TypeRow));
    const transfer::TTxInfo& row = transfer::TxTypes[static_cast<std::size_t>(Options.TypeRow)];
    const std::string type = row.TxBoxEntry;
    const std::size_t memorySize = transfer::WholeMemorySize(Options.TypeRow);
    const bool blockType = memorySize == 0 && row.SaveAllAllowed;

    TSimPlan plan;
    plan.Baud = Options.Baud != 0 ? Options.Baud : row.BaudRate;
    switch (Options.Mode) {
    case TSimMode::smSendModel:
    case TSimMode::smReceiveModels:
        plan.UnitSize = row.ModelSize;
        plan.Units = Options.Mode == TSimMode::smSendModel ? 1 : Options.Models;
        break;
    case TSimMode::smSendMemory:
    case TSimMode::smReceiveMemory:
        if (memorySize == 0) Refuse(type + " has no whole-memory transfer; it goes model by model");
        plan.UnitSize = memorySize;
        plan.Units = 1;
        break;
    case TSimMode::smSendAll:
        if (!blockType) Refuse(type + " does not send all models with the block protocol");
        plan.UnitSize = row.ModelSize;
        plan.Units = Options.Image.empty() ? Options.Models : Options.Image.size() / row.ModelSize;
        if (!Options.Image.empty() && Options.Image.size() % row.ModelSize != 0)
            Refuse("an all-models image of " + type + " must be a whole number of " +
                   std::to_string(row.ModelSize) + "-byte models, not " +
                   std::to_string(Options.Image.size()) + " bytes");
        break;
    }
    if (Options.Mode == TSimMode::smReceiveModels && plan.Units == 0)
        Refuse("a restore moves at least one model");

    if (IsSend(Options.Mode)) {
        if (Options.Mode != TSimMode::smSendAll)
            CheckImageSize(Options.Image, plan.TotalBytes(), "the image to send");
        if (!Options.Image.empty())
            plan.Data = Options.Image;
        else if (Options.Mode == TSimMode::smSendMemory)
            plan.Data = MakeNoise(plan.TotalBytes(), Options.Seed);
        else
            plan.Data =
                MakeModelSeries(row, plan.Units, Options.Seed, Options.Names, Options.FirstNumber);
    } else {
        CheckImageSize(Options.Image, plan.TotalBytes(), "the expected image");
        if (!Options.Image.empty()) {
            plan.Data = Options.Image;
            plan.Check = true;
        } else if (Options.CheckGenerated) {
            plan.Data = Options.Mode == TSimMode::smReceiveMemory
                            ? MakeNoise(plan.TotalBytes(), Options.Seed)
                            : MakeModelSeries(row, plan.Units, Options.Seed, Options.Names,
                                              Options.FirstNumber);
            plan.Check = true;
        }
    }

    if (Options.SendBack && IsSend(Options.Mode))
        Refuse("only a receive mode sends the restore back");
    const TSimFaults& faults = Options.Faults;
    const bool blockProtocol = Options.Mode == TSimMode::smSendAll;
    if (!IsSend(Options.Mode) && faults.GarbageBytes > 0)
        Refuse("garbage is sent only while the simulator sends");
    if ((faults.BadMarker || faults.EndFirst) && !blockProtocol)
        Refuse("the marker faults belong to sending all models with the block protocol");
    if (faults.BadMarker && plan.Units == 0)
        Refuse("a bad marker goes after the first block: send at least one model");
    if (faults.BadMarker &&
        (faults.BadMarkerByte == MarkerBlock || faults.BadMarkerByte == MarkerEnd))
        Refuse("the bad marker's second byte must be neither 0xAA nor 0xFF");
    if (faults.BadMarker && faults.EndFirst)
        Refuse("the end marker first leaves no block for a bad marker to follow");
    return plan;
}

} // namespace vaultix::simulator
