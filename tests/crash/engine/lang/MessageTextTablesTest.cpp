// The message-text identifiers, their defaults and the editor tables.
#include "crash/engine/ELang.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

namespace crash {
namespace {

TEST(MessageTypes, KeepTheirStoredOrdinalsNamesAndDefaults)
{
    // The options stream and the texts file store texts by ordinal and name:
    // the first and last of every group pin the order down.
    static constexpr struct {
        TMessageType type;
        int ordinal;
        std::string_view name;
        std::string_view text;
    } kCases[] = {
        {mtInformationMsgCaption, 0, "mtInformationMsgCaption", "Information."},
        {mtErrorMsgCaption, 2, "mtErrorMsgCaption", "Error."},
        {mtDialog_Caption, 3, "mtDialog_Caption", "Error occurred"},
        {mtDialog_ErrorMsgCaption, 4, "mtDialog_ErrorMsgCaption",
         "An error has occurred during program execution.\r\n"
         "Please read the following information for further details."},
        {mtDialog_SupportMessage, 25, "mtDialog_SupportMessage", "Go to the Support Page"},
        {mtMSDialog_ErrorMsgCaption, 26, "mtMSDialog_ErrorMsgCaption",
         "The application has encountered a problem. We are sorry for the inconvenience."},
        {mtMSDialog_NoSendButtonCaption, 36, "mtMSDialog_NoSendButtonCaption", "&Don't Send"},
        {mtLog_AppHeader, 37, "mtLog_AppHeader", "Application"},
        {mtLog_CmpTotalMemory, 68, "mtLog_CmpTotalMemory", "Total Memory"},
        {mtLog_OSBuildN, 80, "mtLog_OSBuildN", "Build #"},
        {mtLog_CustInfoHeader, 91, "mtLog_CustInfoHeader", "Custom Information"},
        {mtCallStack_Address, 92, "mtCallStack_Address", "Address"},
        {mtCallStack_MainThread, 98, "mtCallStack_MainThread", "Main"},
        {mtCallStack_LeakCount, 109, "mtCallStack_LeakCount", "Count"},
        {mtSendDialog_Caption, 110, "mtSendDialog_Caption", "Send."},
        {mtSendDialog_Disconnected, 122, "mtSendDialog_Disconnected", "Disconnected."},
        {mtReproduceDialog_Caption, 123, "mtReproduceDialog_Caption", "Request"},
        {mtReproduceDialog_OKButtonCaption, 125, "mtReproduceDialog_OKButtonCaption", "&OK"},
        {mtModules_Handle, 126, "mtModules_Handle", "Handle"},
        {mtModules_LastModified, 131, "mtModules_LastModified", "Modified"},
        {mtProcesses_ID, 133, "mtProcesses_ID", "ID"},
        {mtProcesses_Path, 140, "mtProcesses_Path", "Path"},
        {mtCPU_Registers, 141, "mtCPU_Registers", "Registers"},
        {mtCPU_MemoryDump, 143, "mtCPU_MemoryDump", "Memory Dump"},
        {mtSend_SuccessMsg, 144, "mtSend_SuccessMsg", "The message was sent successfully."},
        {mtSend_BugClosedMsg, 146, "mtSend_BugClosedMsg",
         "These BUG is just closed.\r\nContact the program support to obtain an update."},
        {mtSend_InvalidModifyMsg, 152, "mtSend_InvalidModifyMsg", "Invalid modify request."},
        {mtException_LeakMultiFree, 153, "mtException_LeakMultiFree", "Multi Free memory leak."},
        {mtInvalidEmailMsg, 156, "mtInvalidEmailMsg", "Invalid email."},
    };
    EXPECT_EQ(kMessageTypeCount, 157u);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(static_cast<int>(c.type), c.ordinal);
        EXPECT_EQ(MessageTypeName(c.type), c.name);
        EXPECT_EQ(EVals[c.type], c.text);
    }
}

TEST(MessageTypes, NamesAreUniqueAndEveryTextHasADefault)
{
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < kMessageTypeCount; ++i) {
        const auto type = static_cast<TMessageType>(i);
        SCOPED_TRACE(i);
        EXPECT_TRUE(MessageTypeName(type).starts_with("mt")) << MessageTypeName(type);
        EXPECT_TRUE(names.insert(MessageTypeName(type)).second) << MessageTypeName(type);
        EXPECT_FALSE(EVals[i].empty());
    }
    // A value read from a damaged file must not index past the table.
    EXPECT_EQ(MessageTypeName(static_cast<TMessageType>(kMessageTypeCount)), "");
}

TEST(MessageTypes, DefaultCustomizedTextsAreTheDefaultTable)
{
    const TCustomizedTexts texts = DefaultCustomizedTexts();
    for (std::size_t i = 0; i < kMessageTypeCount; ++i) {
        SCOPED_TRACE(MessageTypeName(static_cast<TMessageType>(i)));
        EXPECT_EQ(texts[i], EVals[i]);
    }
}

TEST(EditorLabels, ListEveryTextOnceInGroupOrder)
{
    // clang-format off
    static constexpr std::string_view kHeadings[] = {
        "Message captions", "Exception Dialog (VexlorLog type)", "Exception Dialog (MS Classic type)",
        "Send Dialog", "Reproduce Dialog", "General Data", "Call Stack", "Threads Data", "Leaks Data",
        "Modules List", "Processes List", "CPU", "Send messages", "Other messages",
    };
    // clang-format on
    std::size_t heading = 0;
    int previous = -1;
    std::set<int> seen;
    for (const EMsgsRec& row : EMsgs) {
        SCOPED_TRACE(std::string(row.Msg));
        if (row.No == kEMsgsGroup) {
            ASSERT_LT(heading, std::size(kHeadings));
            EXPECT_EQ(row.Msg, kHeadings[heading++]);
            continue;
        }
        ASSERT_GE(row.No, 0);
        ASSERT_LT(row.No, static_cast<int>(kMessageTypeCount));
        EXPECT_TRUE(seen.insert(row.No).second) << "labelled twice: " << row.No;
        // Within a group the labels follow the identifiers' own order.
        if (EMsgs[&row - EMsgs.data() - 1].No != kEMsgsGroup) {
            EXPECT_EQ(row.No, previous + 1);
        }
        previous = row.No;
    }
    EXPECT_EQ(heading, std::size(kHeadings));
    EXPECT_EQ(seen.size(), kMessageTypeCount);
}

TEST(EditorLabels, GeneralDataLabelsComeFromTheDefaults)
{
    int labelled = 0;
    for (const EMsgsRec& row : EMsgs) {
        if (row.No == kEMsgsGroup) continue;
        const auto type = static_cast<TMessageType>(row.No);
        const std::string_view name = MessageTypeName(type);
        if (!name.starts_with("mtLog_")) continue;
        SCOPED_TRACE(name);
        const std::string text(EVals[type]);
        EXPECT_EQ(row.Msg, name.ends_with("Header") ? text + " Header" : "    " + text);
        ++labelled;
    }
    EXPECT_EQ(labelled, 55);
}

TEST(ShowOptions, NamesComeFromTheirSectionAndLabel)
{
    for (std::size_t i = 0; i < kShowOptionCount; ++i) {
        const auto option = static_cast<TShowOption>(i);
        SCOPED_TRACE(EShowOptions[i]);
        std::string expected =
            std::string(EVals[ShowOptionSection(option)]) + "|" + std::string(EVals[ShowOptionLabel(option)]);
        if (option == soAppName) expected = "Application|Name";
        if (option == soCustomData) expected = "Custom Data|All";
        EXPECT_EQ(EShowOptions[i], expected);
        EXPECT_TRUE(MessageTypeName(ShowOptionSection(option)).ends_with("Header"));
    }
    EXPECT_EQ(ShowOptionLabel(soActCtlsControlText), mtLog_ActCtrlsControlText);
    EXPECT_EQ(ShowOptionLabel(soCmpSysUpTime), mtLog_CmpSystemUpTime);
    EXPECT_EQ(ShowOptionLabel(soCustomData), mtLog_CustInfoHeader);
    EXPECT_EQ(static_cast<int>(soCustomData), 47);
}

TEST(ShowOptions, StoreOneBitPerItemInSixBytes)
{
    using Bytes = TShowOptions::Bytes;
    static constexpr struct {
        const char* what;
        TShowOptions set;
        Bytes bytes;
    } kCases[] = {
        {"none", {}, {0, 0, 0, 0, 0, 0}},
        {"all", TShowOptions::All(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"first and last", {soAppStartDate, soCustomData}, {0x01, 0, 0, 0, 0, 0x80}},
        {"byte edges", {soExcAddress, soExcModuleName, soNetDHCP}, {0x80, 0x01, 0, 0, 0, 0x40}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.set.ToBytes(), c.bytes);
        EXPECT_EQ(TShowOptions::FromBytes(c.bytes), c.set);
    }
}

TEST(EnumSets, IgnoreBitsAndMembersOutsideTheEnumeration)
{
    enum Ten : std::uint8_t { tFirst, tLast = 9 };
    using TenSet = EnumSet<Ten, 10>;
    static_assert(TenSet::kByteCount == 2);
    const TenSet loaded = TenSet::FromBytes({0xFF, 0xFF});
    EXPECT_EQ(loaded, TenSet::All());
    EXPECT_EQ(loaded.ToBytes(), (TenSet::Bytes{0xFF, 0x03}));

    TenSet set{tFirst};
    set.Include(static_cast<Ten>(10));
    EXPECT_EQ(set, TenSet{tFirst});
    EXPECT_FALSE(set.Contains(static_cast<Ten>(10)));
    EXPECT_EQ((TenSet::All() - TenSet{tFirst, tLast}), TenSet::FromBytes({0xFE, 0x01}));
    EXPECT_EQ((TenSet::All() * TenSet{tLast}), TenSet{tLast});
}

TEST(Variables, OfferTheReportVariablesFirst)
{
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < EVariablesOptions.size(); ++i) {
        const std::string_view row = EVariablesOptions[i];
        SCOPED_TRACE(row);
        const auto bar = row.find(" | ");
        ASSERT_NE(bar, std::string_view::npos);
        const std::string_view name = row.substr(0, bar);
        EXPECT_EQ(name.starts_with('_'), i < 9);
        EXPECT_TRUE(names.insert(name).second);
    }
    EXPECT_TRUE(names.contains("_LineBreak"));
    EXPECT_TRUE(names.contains("Date") && names.contains("Time") && names.contains("CD"));
}

TEST(Versions, CurrentStreamVersion)
{
    EXPECT_EQ(VexlorLogCurrentVersion, 6101);
}

}  // namespace
}  // namespace crash
