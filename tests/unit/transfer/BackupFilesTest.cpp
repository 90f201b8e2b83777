// Unit sizes, the size rule of a restore, file names and dialog filters, and the model chooser
// entries read out of all-models files.

#include "TransferFakes.h"

#include "platform/RuntimeExceptions.h"
#include "transfer/BackupBrowse.h"
#include "transfer/BackupFiles.h"
#include "transfer/ModelList.h"

namespace vaultix::transfer::test {
namespace {

std::size_t OpenFileCount() {
    const auto Fds = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(Fds), end(Fds)));
}

TEST(BackupFiles, UnitSizeFollowsTypeAndFlow) {
    const std::vector<std::pair<int, int>> Expected = {
        {258, 2050}, {258, 8194}, {1024, 1024}, {3072, 3072}, {1024, 1024}};
    for (int Row = 0; Row < 5; ++Row) {
        SCOPED_TRACE(Row);
        EXPECT_EQ(UnitSize(Row, ufOneModel), Expected[Row].first);
        EXPECT_EQ(UnitSize(Row, ufAllModels), Expected[Row].second);
        EXPECT_EQ(AllModelsByBlocks(Row), Row >= 2);
    }
    EXPECT_EQ(UnitSize(TestTypeRow, ufOneModel), 65535);
    EXPECT_EQ(UnitSize(-1, ufOneModel), 1024) << "no selection uses the default type";
}

TEST(BackupFiles, TypeOfAFileOpenedWithoutOneFollowsItsSize) {
    // MC-18 and MC-20 share their model size, MC-22 and MX-22 theirs, and three of their
    // models are one MC-24 model; the memory images of the MC-18 types fit no other type.
    const std::vector<std::pair<std::uint64_t, std::vector<int>>> Fits = {
        {258, {0, 1}},  {2050, {0}}, {8194, {1}}, {1024, {2, 4}}, {3072, {2, 3, 4}},
        {2048, {2, 4}}, {0, {}},     {1000, {}},  {65535, {}}};
    for (const auto& [Size, Rows] : Fits)
        EXPECT_EQ(TypesFittingSize(Size, false), Rows) << Size;
    EXPECT_EQ(TypesFittingSize(65535, true), std::vector<int>{TestTypeRow});

    // The type the person works with when it fits, else the file's extension, else the first.
    EXPECT_EQ(PreferredType({2, 3, 4}, 4, "club.a22"), 4);
    EXPECT_EQ(PreferredType({2, 3, 4}, 0, "club.m24"), 3);
    EXPECT_EQ(PreferredType({0, 1}, 2, "CLUB.M20"), 1);
    EXPECT_EQ(PreferredType({2, 4}, 0, "club.bin"), 2);
    EXPECT_EQ(PreferredType({}, 2, "club.a22"), -1);
}

TEST(BackupFiles, NamesAndDialogFilter) {
    EXPECT_EQ(AllModelsExtension("m22"), "a22");
    EXPECT_EQ(AllModelsExtension("m18"), "a18");
    EXPECT_EQ(DialogFilter("a22"), "Transmitter Settings (*.a22)|*.a22");
    EXPECT_EQ(DialogFilter("m20"), "Transmitter Settings (*.m20)|*.m20");
    EXPECT_EQ(DescriptionFileName("/backups/club.a22"), "/backups/club.a22.dsc");
}

TEST(BackupFiles, SizeCheckAcceptsWholeNonEmptyMultiplesOnly) {
    TTempDir Dir;
    const auto Check = [&](std::size_t Length, std::uint16_t Unit) {
        const auto Name = Dir / ("f" + std::to_string(Length));
        WriteAll(Name, TBytes(Length, 1));
        return CheckDataFileSize(Name, Unit);
    };
    EXPECT_FALSE(Check(0, 1024));
    EXPECT_FALSE(Check(258, UnitSize(0, ufAllModels))) << "one MC-18 model to Restore all";
    EXPECT_FALSE(Check(2050, UnitSize(0, ufOneModel))) << "an MC-18 memory to Restore one";
    EXPECT_TRUE(Check(3072, UnitSize(2, ufOneModel))) << "three MC-22 blocks to Restore one";
    EXPECT_TRUE(Check(3072, UnitSize(2, ufAllModels)));
    EXPECT_FALSE(Check(3000, 1024));
    EXPECT_FALSE(FileSizeFits(1024, 0));
    EXPECT_THROW(CheckDataFileSize(Dir / "missing.m22", 1024), platform::EInOutError);
    EXPECT_EQ(SizeMismatchMessage, std::string("FileSize does not match type of TX.\rAction "
                                               "cancelled!"));
}

TEST(ModelList, EntriesPadTheNumberToThreeCharacters) {
    TTempDir Dir;
    const auto File = Dir / "club.a22";
    TBytes All;
    for (int Number : {0, 7, 12, 123, 255})
        All = Concat({All, ModelMemory(2, "N" + std::to_string(Number), Number)});
    WriteAll(File, All);
    std::vector<std::string> Entries = {"stale"};
    ListModels(File, TxTypes[2], 1024, Entries);
    EXPECT_EQ(Entries,
              (std::vector<std::string>{" 0 N0", " 7 N7", "12 N12", "123 N123", "255 N255"}));

    const auto Mc18 = Dir / "memory.a18";
    WriteAll(Mc18, Concat({ModelMemory(0, "ACRO", 0), ModelMemory(0, "HELI", 0)}));
    ListModels(Mc18, TxTypes[0], 258, Entries);
    EXPECT_EQ(Entries, (std::vector<std::string>{"   ACRO", "   HELI"}));
}

TEST(ModelList, OnlyTheSizeDecidesHowAFileIsListed) {
    TTempDir Dir;
    const auto File = Dir / "one.m24";
    WriteAll(File, ModelMemory(3, "BIG", 5));
    std::vector<std::string> Entries;
    ListModels(File, TxTypes[2], 1024, Entries);
    EXPECT_EQ(Entries.size(), 3u) << "an MC-24 model reads as three MC-22 units";
}

TEST(ModelList, UnitCutShortFailsAndKeepsTheEntriesSoFar) {
    TTempDir Dir;
    const auto File = Dir / "club.a22";
    WriteAll(File, Concat({ModelMemory(2, "ONE", 1), ModelMemory(2, "TWO", 2), TBytes(10, 0)}));
    std::vector<std::string> Entries;
    const std::size_t OpenBefore = OpenFileCount();
    EXPECT_THROW(ListModels(File, TxTypes[2], 1024, Entries), platform::EInOutError);
    EXPECT_EQ(Entries, (std::vector<std::string>{" 1 ONE", " 2 TWO"}));
    EXPECT_EQ(OpenFileCount(), OpenBefore) << "the file is closed on the way out";
}

TEST(ModelList, NamesShowAsUnicode) {
    TTempDir Dir;
    const auto File = Dir / "club.a22";
    // 132 is the transmitter's a-umlaut, 154 its U-umlaut.
    WriteAll(File, ModelMemory(2, "K\x84\x9A", 3));
    std::vector<std::string> Entries;
    ListModels(File, TxTypes[2], 1024, Entries);
    ASSERT_EQ(Entries.size(), 1u);
    EXPECT_EQ(Entries[0], " 3 K\xE4\xDC");
    EXPECT_EQ(ModelEntryUtf8(Entries[0]), " 3 K\u00E4\u00DC");
}

} // namespace
} // namespace vaultix::transfer::test
