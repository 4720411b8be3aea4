// The dialog pages (external line, its advanced settings, recorder and
// emergency settings) and the setup instructions of an extension.
#include "captured_pages.h"
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_fixture.h"
#include "config/pbx_outbound_plan.h"
#include "support/log_catcher.h"
#include "web/pages/control_pages.h"

namespace
{
LPBXExternalLine OpenLine(const char *name)
{
    EXPECT_TRUE(LPBXExternalLineList().Exists(name)) << name;
    return OpenRecord(LPBXExternalLineList(), name);
}

TEST_F(PagesTest, ExternalLineDialogChecksAndStores)
{
    LPBXExternalLine other = OpenRecord(LPBXExternalLineList(), "Carrier");
    other.SetLineID("1");
    // clang-format off
    struct Case { const char *fields, *message; } cases[] = {
        {"101=+&106=1", "External line name is blank."},
        {"101=a/b&106=1", "External line name is blank."},
        {"101=line_&106=1", "External line name is blank."},
        {"101=CARRIER&106=1", "Another external line"},
        {"101=Provider&106=", "External line ID is blank."},
        {"101=Provider&106=1&rbg1=102&103=+", "Please enter the server name."},
    };
    // clang-format on
    for (const Case &c : cases) {
        std::string out = Run(VWExternalProp, std::string("submitdef=++OK++&") + c.fields);
        EXPECT_TRUE(Has(out, c.message)) << c.fields << "\n" << out;
        EXPECT_TRUE(Has(out, "bgcolor=#ffe0e0")) << "the control's row is tinted";
    }
    EXPECT_FALSE(LPBXExternalLineList().Exists("Provider"));

    // The other device registers: no server is kept even when one was typed.
    std::string saved = Run(VWExternalProp, "submitdef=++OK++&101=+Provider+&106=+4711+&107=pw"
                                            "&108=[None]&rbg1=105&103=sip.example.com");
    EXPECT_TRUE(Has(saved, "Location: main")) << saved;
    char text[LPathSize];
    LPBXExternalLine line = OpenLine("Provider");
    EXPECT_STREQ(line.GetLineID(text), "4711");
    EXPECT_STREQ(line.GetServer(text), "");
    EXPECT_STREQ(line.GetRingOnLine(text), "");
    EXPECT_FALSE(line.GetRecordIncoming());

    // Shown again, the dialog picks the radio that matches the stored server.
    std::string shown = Run(VWExternalProp, "id=Provider");
    EXPECT_TRUE(Has(shown, "value=\"4711\""));
    EXPECT_TRUE(Has(shown, "value=105 checked"));
    // "Advanced Settings" saves first and then goes to the advanced page.
    std::string advanced = Run(VWExternalProp, "submit=Advanced+Settings&id=Provider"
                                               "&101=Provider&106=4712&rbg1=105");
    EXPECT_TRUE(Has(advanced, "Location: externaladvancedsettings")) << advanced;
    EXPECT_STREQ(OpenLine("Provider").GetLineID(text), "4712");
}

TEST_F(PagesTest, AdvancedSettingsChecksAndStores)
{
    LPBXExternalLine line = OpenRecord(LPBXExternalLineList(), "Provider");
    line.SetLineID("4711");
    // clang-format off
    struct Case { const char *fields, *message; } cases[] = {
        {"id=Missing", "Invalid external line."},
        {"id=../Provider", "Invalid external line."},
        {"id=Provider&rbg1=102&103=", "Please enter the outbound proxy."},
        {"id=Provider&rbg2=202&106=+", "Please enter the authentication id."},
        {"id=Provider&109=-5", "Please enter a SIP status"},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_TRUE(
            Has(Run(VWExternalAdvancedSettings, std::string("submitdef=++OK++&") + c.fields),
                c.message))
            << c.fields;

    // Radio 101 and 201 clear proxy and authentication ID whatever was typed;
    // an empty abort response means 200.
    std::string out = Run(VWExternalAdvancedSettings, "submitdef=++OK++&id=Provider&rbg1=101"
                                                      "&103=ignored&rbg2=201&106=ignored"
                                                      "&108=[None]&111=on&113=on");
    EXPECT_TRUE(Has(out, "Location: externallist")) << out;
    char text[LPathSize];
    line = OpenLine("Provider");
    EXPECT_STREQ(line.GetOutboundProxy(text), "");
    EXPECT_STREQ(line.GetAuthUserID(text), "");
    EXPECT_EQ(line.GetChainAbortResponse(), 200);
    EXPECT_FALSE(line.GetDisablePolling());
    EXPECT_TRUE(line.GetProhibitOddRtp());
    EXPECT_FALSE(line.GetAlwaysRelay());
    EXPECT_TRUE(line.GetRelayNotNeeded());
    std::string shown = Run(VWExternalAdvancedSettings, "id=Provider");
    EXPECT_TRUE(Has(shown, "name=111 id=111 checked")) << shown;
    EXPECT_TRUE(Has(shown, "value=101 checked"));
}

TEST_F(PagesTest, RecorderSettingsRefuseWhatIsNoHost)
{
    // clang-format off
    struct Case { const char *fields, *message; } cases[] = {
        {"101=rec+host&102=1", "The specified Tally host name is not valid."},
        {"101=<b>&102=1", "The specified Tally host name is not valid."},
        {"101=rec.example.com&102=12;3", "The specified Tally access code is not valid."},
        {"101=rec.example.com:2001&102=1234", "HTTP/1.0 302"},
    };
    // clang-format on
    char text[LPathSize];
    for (const Case &c : cases) {
        EXPECT_STREQ(LSettingGetString("Recorder", "TallyHost", "", text), "");
        EXPECT_TRUE(
            Has(Run(VWRecorderSettings, std::string("submitdef=++OK++&") + c.fields), c.message))
            << c.fields;
    }
    EXPECT_STREQ(LSettingGetString("Recorder", "TallyHost", "", text), "rec.example.com:2001");
    EXPECT_STREQ(LSettingGetString("Recorder", "TallyAccessCode", "", text), "1234");
    EXPECT_TRUE(Has(Run(VWRecorderSettings, ""), "value=\"rec.example.com:2001\""));
}

TEST_F(PagesTest, EmergencyMappingStoresTheChosenLineText)
{
    LPBXExternalLine line = OpenRecord(LPBXExternalLineList(), "provider");
    line.SetLineID("1");
    EXPECT_TRUE(Has(Run(VWEmergencyMapping, ""), ">provider</option>"));
    std::string out =
        Run(VWEmergencyMapping, "submitdef=Save+Changes&101=on&102=+911+&103=112&104=provider");
    EXPECT_TRUE(Has(out, "HTTP/1.0 302")) << out;
    char text[LPathSize];
    EXPECT_TRUE(LSettingGetBool("Emergency", "Enabled", false));
    EXPECT_STREQ(LSettingGetString("Emergency", "Number", "", text), "911");
    EXPECT_STREQ(LSettingGetString("Emergency", "Dial", "", text), "112");
    EXPECT_STREQ(LSettingGetString("Emergency", "Line", "", text), "provider");
    EXPECT_TRUE(Has(Run(VWEmergencyMapping, ""), "name=101 id=101 checked"));
}

TEST_F(PagesTest, SetupInstructionsWithDialingRules)
{
    LPBXExtension ext = OpenRecord(LPBXExtensionList(), "101");
    ext.SetPassword("s3cret&");
    ext.SetOutboundPlan("OFFICE");
    LSettingSetString("SIP", "STUNServer1", "stun1.example.com");
    LSettingSetString("SIP", "STUNServer2", "stun2.example.com");
    LPBXOutboundPlan plan = OpenRecord(LPBXOutboundPlanList(), "Office");
    plan.SetDefaultDialOnLine("");
    for (auto [prefix, line] :
         {std::pair{"9", "Provider"}, std::pair{"00", "-"}, std::pair{"8", ""}}) {
        LPBXOutboundPlan::DialBasedRule rule = OpenRecord(plan.GetDialBasedRuleList(), prefix);
        rule.SetStartsWith(prefix);
        rule.SetDialOnLine(line);
    }
    std::string out = Run(VWExtensionInstruction, "id=101");
    for (const char *part :
         {"stun2.example.com", "To dial on \"Provider\", dial \"9\".",
          "To dial on \"[Extension]\", dial \"8\".", "Anything else will dial on \"[Extension]\"."})
        EXPECT_TRUE(Has(out, part)) << part << "\n" << out;
    EXPECT_FALSE(Has(out, "dial \"00\"")) << "blocked rules are left out";
    EXPECT_FALSE(Has(out, "s3cret")) << "the stored password stays out of the page";
    for (const char *id : {"999", "../101", ""})
        EXPECT_TRUE(
            Has(Run(VWExtensionInstruction, std::string("id=") + id), "Location: extensionlist"));
}

// The plan name comes from the browser; the add form is the only page that
// checks it before the plan exists.
TEST_F(PagesTest, PlanNameCheckLogsOneLine)
{
    vtest::LogCatcher log;
    std::string out = Run(VWPlanAdd, "add=1&name=x%0d%0a2026-01-01+00:00:00+forged+line");
    EXPECT_TRUE(Has(out, "There is another outbound dialing plan")) << out;
    ASSERT_FALSE(log.Texts().empty());
    for (const std::string &line : log.Texts())
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
}
} // namespace
