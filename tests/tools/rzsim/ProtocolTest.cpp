// The simulator's protocol table and scenario text, without any I/O.
#include "tools/rzsim/Simulator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace rzsim {
namespace {

const std::string T = "\xC8";

Scenario Parse(const std::string& text)
{
    Scenario sc;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, &sc, &error)) << error;
    return sc;
}

DeviceState Device(const Scenario& sc, int node)
{
    for (const DeviceState& d : sc.devices)
        if (d.node == node) return d;
    ADD_FAILURE() << "no device " << node;
    return {};
}

// One answer or none.
std::string Ask(DeviceState& d, const std::string& command, Scenario& sc)
{
    const std::vector<std::string> r = AnswerCommand(d, command, sc);
    EXPECT_LE(r.size(), 1u);
    return r.empty() ? std::string() : r.front();
}

const char* const kNetwork = R"(
device 0 model 14 uid 0012ABCD
device 1 model 3 uid 00A10001 id 1 rssi B5
device 2 model 15 ext 1 id 2 rssi none
device 5 model 1 id 1 rssi B5
device 8 model 8 rssi NN
device 9 model 9 id 0 rssi C4
set 8 ak.1 "(00107FF0"
set 8 tj.2 "\x23\x27\x24FFF603E8"
set 9 mem.1A4 FF3F0080000000000000
)";

struct AnswerCase {
    int node;
    std::string command;
    std::string reply;  // without the node prefix; "" for no answer
};

TEST(AnswerCommand, RepliesOfEveryReadCommand)
{
    const AnswerCase cases[] = {
        // Identification: value byte, model + 0x20, extension only for 15.
        {0, "MD", "md1." + T},
        {2, "MD", "md1/!" + T},
        {0, "GS", "gs0012ABCD" + T},
        // Node search answers, lengths 7 to 10.
        {5, "SN", "sn05.!B5" + T},
        {2, "SN", "sn02-/!" + T},
        {8, "SN", "sn08.(NN" + T},
        {9, "SN", "sn09/)C4" + T},
        // Gateway reads with the default payloads.
        {0, "SJ", "sj% 00  ! 0000 01F7" + T},
        {0, "GK", "gk27130400 C0A80001FFFFFF00C0A800FE" + T},
        {0, "MR01A6", "mr01A60080AB123456" + T},
        {0, "GJ", "gj! FFFFFFFF01 " + T},
        {1, "GJ", "gj! FFFFFFFF01 " + T},
        {2, "SJ", "sj% 00  ! 0000 01F7" + T},
        // I/O unit reads; memory defaults to zeros and echoes address and count.
        {1, "SK", "sk$01000000 #" + T},
        {1, "SY", "sy 00 " + T},
        {1, "MR0C91", "mr0C9100" + T},
        {1, "MR0D05", "mr0D050000000000" + T},
        {9, "MR1A4A", "mr1A4AFF3F0080000000000000" + T},
        {8, "MR1006", "mr1006000000000000" + T},
        {8, "AJ!", "aj!  " + T},
        {8, "AK!", "ak!(00107FF0" + T},
        {8, "AK\"", "ak\" 80007FFF" + T},
        {8, "TJ\"", "tj\"#'$FFF603E8" + T},
        {9, "AK ", "ak  80007FFF" + T},
        // Acknowledgements.
        {1, "SE$01000000 #", "se" + T},
        {1, "SLEP 00 ", "sl" + T},
        {1, "MW0C9103", "mw0C91" + T},
        {8, "AR\"#", "ar" + T},
        {0, "GE27130400 C0A80001FFFFFF00C0A800FE", "ge" + T},
        {0, "SP% 00  ! 0000 01F7", "sp" + T},
        // Reset: never answered.
        {1, "RSET/", ""},
        // Commands the model does not have, and malformed ones, stay silent.
        {0, "SK", ""},
        {1, "SJ", ""},
        {1, "AK ", ""},
        {9, "AJ ", ""},
        {2, "GK", ""},
        {1, "MR0C9", ""},
        {1, "MW0C91 3", ""},
        {8, "AJ%", ""},
        {0, "XX", ""},
    };
    for (const AnswerCase& c : cases) {
        Scenario sc = Parse(kNetwork);
        DeviceState d = Device(sc, c.node);
        EXPECT_EQ(Ask(d, c.command, sc), c.reply) << "node " << c.node << " command " << c.command;
    }
}

TEST(AnswerCommand, WritesAreReadBack)
{
    const struct {
        int node;
        std::string write;
        std::string read;
        std::string reply;
    } cases[] = {
        // The gateway's relay write (all fields zero but the destination).
        {0, "SP  05    0000 0000", "SJ", "sj  05    0000 0000" + T},
        // The serial converter's example write.
        {2, "SP% 03  !!0D00 01F7", "SJ", "sj% 03  !!0D00 01F7" + T},
        {0, "GE27130400 C0A80001FFFFFF00C0A800FE", "GK", "gk27130400 C0A80001FFFFFF00C0A800FE" + T},
        {0, "GE04000401 0A000001FF000000C0A800FE", "GK", "gk04000401 0A000001FF000000C0A800FE" + T},
        {1, "SE%05090000\"'", "SK", "sk%05090000\"'" + T},
        {1, "SLEP&FE!", "SY", "sy&FE!" + T},
        {1, "MW0CB105", "MR0CB1", "mr0CB105" + T},
        {1, "MW0D05003200000A", "MR0D05", "mr0D05003200000A" + T},
        {9, "MW19C50001000000", "MR19C5", "mr19C50001000000" + T},
        {8, "AR$#", "AJ$", "aj$# " + T},
        {8, "AL!(FFF00010", "AK!", "ak!(FFF00010" + T},
        {8, "TC#%#", "TJ#", "tj#%# 000003E8" + T},
        {8, "TF##80000064", "TJ#", "tj# !#80000064" + T},
        // A write of the wrong length changes nothing but is acknowledged.
        {0, "SP  05", "SJ", "sj% 00  ! 0000 01F7" + T},
        {1, "SE%0509", "SK", "sk$01000000 #" + T},
    };
    for (const auto& c : cases) {
        Scenario sc = Parse(kNetwork);
        DeviceState d = Device(sc, c.node);
        EXPECT_FALSE(Ask(d, c.write, sc).empty()) << c.write;
        EXPECT_EQ(Ask(d, c.read, sc), c.reply) << c.write;
    }
}

std::string GroupWrite(const std::string& group, const std::string& node, char encryption = ' ')
{
    return "GI! " + group + node + "pass    " + encryption + std::string(64, '0');
}

TEST(AnswerCommand, ParentGroupWriteCreatesAGroup)
{
    Scenario sc = Parse(kNetwork);
    DeviceState d = Device(sc, 0);
    const std::string write = GroupWrite("FFFFFFFF", "01", '!');
    ASSERT_EQ(write.size() + 1, 88u);
    const std::uint32_t created = NewGroupNumber(0x0012ABCD);
    EXPECT_NE(created, 0xFFFFFFFFu);
    EXPECT_EQ(Ask(d, write, sc), "gi015A12ABCD" + T);
    EXPECT_EQ(created, 0x5A12ABCDu);
    EXPECT_EQ(Ask(d, "GJ", sc), "gj! 5A12ABCD01!" + T);
    EXPECT_EQ(d.lastGroupWrite, write.substr(2));
    // A uid that would give FFFFFFFF still gets a real group.
    EXPECT_NE(NewGroupNumber(0xA5FFFFFF), 0xFFFFFFFFu);
}

TEST(AnswerCommand, ChildGroupWriteStoresWhatWasSent)
{
    Scenario sc = Parse(kNetwork);
    DeviceState d = Device(sc, 0);
    EXPECT_EQ(Ask(d, GroupWrite("0012ABCE", "05"), sc), "gi050012ABCE" + T);
    EXPECT_EQ(Ask(d, "GJ", sc), "gj! 0012ABCE05 " + T);
}

TEST(AnswerCommand, MalformedGroupWriteIsRefused)
{
    Scenario sc = Parse(kNetwork);
    DeviceState d = Device(sc, 0);
    EXPECT_EQ(Ask(d, "GI! FFFFFFFF01pass", sc), "gi01!" + T);
    EXPECT_EQ(Ask(d, GroupWrite("XYZ12345", "05"), sc), "gi05!" + T);
    EXPECT_EQ(Ask(d, "GJ", sc), "gj! FFFFFFFF01 " + T);
    EXPECT_TRUE(d.lastGroupWrite.empty());
}

TEST(AnswerCommand, RegistrationStatusesFollowTheSequenceAndRepeatTheLast)
{
    Scenario sc = Parse(kNetwork + std::string("gq 2 1 0\n"));
    DeviceState d = Device(sc, 0);
    const std::string expected[] = {"gq\"", "gq!", "gq ", "gq "};
    for (const std::string& e : expected) EXPECT_EQ(Ask(d, "GQ", sc), e + T);
}

TEST(AnswerCommand, ResetIsCountedWithoutAnswer)
{
    Scenario sc = Parse(kNetwork);
    DeviceState d = Device(sc, 1);
    EXPECT_TRUE(AnswerCommand(d, "RSET/", sc).empty());
    EXPECT_TRUE(AnswerCommand(d, "RSET/", sc).empty());
    EXPECT_EQ(d.resetCount, 2);
}

TEST(AnswerCommand, Faults)
{
    const struct {
        std::string faults;
        int node;
        std::string command;
        std::string reply;
    } cases[] = {
        {"fault 0 noanswer SJ", 0, "SJ", ""},
        {"fault 0 noanswer SJ", 0, "GK", "gk27130400 C0A80001FFFFFF00C0A800FE" + T},
        {"fault 1 noanswer SJ", 0, "SJ", "sj% 00  ! 0000 01F7" + T},
        {"fault * noanswer md", 0, "MD", ""},
        {"fault 0 noanswer MR01A", 0, "MR01A6", ""},
        {"fault 0 noanswer MR01A", 0, "MR0CB1", "mr0CB100" + T},
        {"fault 0 badlen SJ", 0, "SJ", "sj% 00  ! 0000 01F" + T},
        {"fault 0 badlen GJ", 0, "GJ", "gj! FFFFFFFF01" + T},
        {"fault 0 error GI 5", 0, GroupWrite("FFFFFFFF", "01"), "gi01%" + T},
        {"fault 2 error SP 0x41", 2, "SP% 03  !!0D00 01F7", "spA00" + T},
        {"fault 0 unsupported 5", 0, "MD", "md1%" + T},
        {"fault 0 unsupported 15", 0, "MD", "md1/ " + T},
    };
    for (const auto& c : cases) {
        Scenario sc = Parse(kNetwork + c.faults + "\n");
        DeviceState d = Device(sc, c.node);
        const DeviceState before = d;
        EXPECT_EQ(Ask(d, c.command, sc), c.reply) << c.faults << " / " << c.command;
        if (c.faults.find("error") != std::string::npos) {
            EXPECT_EQ(d.relay, before.relay) << "an error answer stores nothing";
            EXPECT_EQ(d.group, before.group) << "an error answer stores nothing";
        }
    }
}

TEST(Scenario, BadLinesAreReportedWithTheirNumber)
{
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"device 0 model 14\ndevice 0 model 13", "line 2: device 0 given twice"},
        {"device 255 model 3", "line 1: bad node 255"},
        {"set 4 relay x", "line 1: no device 4"},
        {"device 1 model 3\nset 1 relay \"% 00\"", "line 2: relay needs 17 bytes, got 4"},
        {"device 1 model 3\nset 1 mem.0C 05", "line 2: memory address needs 3 hex digits"},
        {"device 1 model 3\nset 1 colour red", "line 2: unknown field colour"},
        {"fault 1 error SJ 3", "line 1: error answers exist for GI and SP only"},
        {"fault 1 sometimes SJ", "line 1: unknown fault sometimes"},
        {"fault garbage ABC", "line 1: garbage needs pairs of hex digits"},
        {"fault drop-after 0", "line 1: bad frame count"},
        {"gq", "line 1: gq needs at least one status"},
        {"set 0 relay \"abc", "line 1: unterminated quote"},
        {"set 0 relay \"\\x4\"", "line 1: bad \\x escape"},
        {"launch", "line 1: unknown directive launch"},
    };
    for (const auto& c : cases) {
        Scenario sc;
        std::string error;
        EXPECT_FALSE(ParseScenario(c.text, &sc, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(Scenario, AttachedGatewayIsAddedAndDevicesAreOrdered)
{
    const Scenario sc = Parse("device 7 model 3 # a node\n\n# comment\ndevice 2 model 15 ext 2\n");
    ASSERT_EQ(sc.devices.size(), 3u);
    EXPECT_EQ(sc.devices[0].node, 0);
    EXPECT_EQ(sc.devices[0].model, 13);
    EXPECT_EQ(sc.devices[1].node, 2);
    EXPECT_EQ(sc.devices[2].node, 7);
}

TEST(Scenario, DefaultScenarioIsTheDemonstrationFile)
{
    std::ifstream in(RZSIM_DEMO);
    std::stringstream text;
    text << in.rdbuf();
    const Scenario demo = Parse(text.str());
    ASSERT_EQ(demo.devices.size(), 4u);
    EXPECT_EQ(demo.devices[2].ext, 1);
    EXPECT_EQ(Simulator(demo).DumpState(), Simulator(DefaultScenario()).DumpState());
}

TEST(Scenario, DumpedStateLoadsBackUnchanged)
{
    Scenario sc = Parse(std::string(kNetwork) + "set 0 relay \"\\x22\\x5C00  ! 0000 01F7\"\ngq 2 0\n"
                                                "fault garbage 00C8FF\nfault 1 delay SK 30\nfault drop-after 3\n");
    DeviceState& gw = sc.devices[0];
    EXPECT_EQ(gw.relay.substr(0, 2), "\"\\");
    AnswerCommand(gw, GroupWrite("FFFFFFFF", "01"), sc);
    Simulator sim(sc);
    const std::string text = sim.DumpState();
    Scenario back;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, &back, &error)) << error << "\n" << text;
    Simulator again(back);
    EXPECT_EQ(again.DumpState(), text);
    EXPECT_EQ(back.faults.size(), 3u);
    EXPECT_EQ(back.faults[0].bytes, std::string("\x00\xC8\xFF", 3));
}

}  // namespace
}  // namespace rzsim
