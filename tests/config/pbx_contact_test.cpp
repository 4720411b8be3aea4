// Registrations kept under extensions and lines, and what deleting an
// account does to them.
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "pbx_fixture.h"
#include "support/file_size_limit.h"

namespace
{
using PBXContacts = PBXTest;

LPBXExtension MakeExtension(const char *name, const char *password)
{
    LPBXExtension ext = OpenRecord(LPBXExtensionList(), name);
    ext.SetPassword(password);
    return ext;
}
} // namespace

TEST_F(PBXContacts, LowestFreeNumberIsTakenAndReused)
{
    LPBXExtension ext = MakeExtension("101", "pw");
    ASSERT_TRUE(ext.AddContact("sip:101@10.0.0.5:5060", 1000, "0.5"));
    ASSERT_TRUE(ext.AddContact("sip:101@10.0.0.6:5062", 2000, "1.0"));
    EXPECT_EQ(Keys<LPBXContactListIterator>(ext), (KeySet{"1", "2"}));

    ASSERT_TRUE(ext.GetContactList().Delete("1"));
    ASSERT_TRUE(ext.AddContact("sip:101@10.0.0.7", 3000, "0.5"));
    EXPECT_EQ(Keys<LPBXContactListIterator>(ext), (KeySet{"1", "2"}));

    LPBXContactRecord rec = OpenRecord(ext.GetContactList(), "1");
    char out[LPathSize];
    EXPECT_STREQ(rec.GetContact(out), "sip:101@10.0.0.7");
    EXPECT_EQ(rec.GetContactExpiresTime(), 3000);
    EXPECT_STREQ(rec.GetQ(out), "0.5");
    EXPECT_EQ(ReadFile(rec.GetPath()), "contact=sip:101@10.0.0.7\r\nexpires=3000\r\nq=0.5\r\n");
}

// A full disk must not leave an empty record behind for each attempt.
TEST_F(PBXContacts, AContactTheDiskRefusesLeavesNoRecord)
{
    LPBXExtension ext = MakeExtension("101", "pw");
    unsigned failed = LSettingsFailedWrites();
    {
        vtest::FileSizeLimit full(0);
        EXPECT_FALSE(ext.AddContact("sip:101@10.0.0.5:5060", 1000, "0.5"));
        EXPECT_FALSE(ext.AddContact("sip:101@10.0.0.5:5060", 1000, "0.5"));
    }
    EXPECT_TRUE(Keys<LPBXContactListIterator>(ext).empty());
    EXPECT_EQ(LSettingsFailedWrites(), failed + 2);
    ASSERT_TRUE(ext.AddContact("sip:101@10.0.0.5:5060", 1000, "0.5"));
    EXPECT_EQ(Keys<LPBXContactListIterator>(ext), (KeySet{"1"}));
}

TEST_F(PBXContacts, DeletedExtensionLeavesNothingListedOrReadable)
{
    LPBXExtension ext = MakeExtension("101", "secret");
    ASSERT_TRUE(ext.AddContact("sip:101@10.0.0.5", 1000, "0.5"));
    ASSERT_TRUE(ext.AddContact("sip:101@10.0.0.6", 1000, "0.5"));
    ASSERT_TRUE(ext.SetNonce("v1qaq2w"));
    MakeExtension("102", "other");

    ASSERT_TRUE(LPBXExtensionList().Delete("101"));
    EXPECT_EQ(Keys<LPBXExtensionListIterator>(), KeySet{"102"});
    EXPECT_FALSE(LPBXExtensionList().Exists("101"));
    EXPECT_FALSE(Exists(Lines() + "/extensions_/101_"));
    LPBXExtension gone = OpenRecord(LPBXExtensionList(), "101");
    EXPECT_EQ(Keys<LPBXContactListIterator>(gone), KeySet{});

    // Late writers of registration state must not bring it back.
    EXPECT_FALSE(gone.AddContact("sip:101@10.0.0.5", 2000, "0.5"));
    EXPECT_FALSE(gone.SetNonce("v3qaq4w"));
    EXPECT_FALSE(gone.SetNonceTime(12345));
    EXPECT_EQ(Keys<LPBXExtensionListIterator>(), KeySet{"102"});
    EXPECT_FALSE(Exists(Lines() + "/extensions_/101"));
}

TEST_F(PBXContacts, DeletingALineDeletesItsRegistrations)
{
    ASSERT_TRUE(CreateExternalLine("dev", "", "dev1"));
    LPBXExternalLine line = OpenRecord(LPBXExternalLineList(), "dev");
    ASSERT_TRUE(line.AddContact("sip:dev1@h", 1, "0.5"));
    ASSERT_TRUE(LPBXExternalLineList().Delete("DEV"));
    EXPECT_EQ(Keys<LPBXExternalLineListIterator>(), KeySet{});
    EXPECT_FALSE(Exists(Lines() + "/external_/dev_"));
}
