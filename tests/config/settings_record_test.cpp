#include "pbx_fixture.h"

#include <set>
#include <unistd.h>

namespace
{
// A stand-in entity: what every entity class of the exchange looks like.
class TestEntity : public LSettingsRecord
{
  public:
    int GetWeight() { return GetInt("Weight", 5); }
};

using TestList = LSettingsListTemplate<TestEntity>;
using TestIterator = LSettingsListIteratorTemplate<TestEntity>;
} // namespace

using RecordTest = PBXTest;

TEST_F(RecordTest, PathsOfRecordsAndSubRecords)
{
    LSettingsRecord ext("Lines", "Extensions");
    EXPECT_EQ(shared + "/lines_/extensions", ext.GetPath());
    LSettingsRecord e101(ext, "101"), contact;
    EXPECT_EQ(shared + "/lines_/extensions_/101", e101.GetPath());
    ASSERT_TRUE(e101.OpenSubRecord("ContactList", contact));
    EXPECT_EQ(shared + "/lines_/extensions_/101_/contactlist", contact.GetPath());
    // Forming a path creates nothing.
    EXPECT_FALSE(Exists(shared + "/lines_"));
    ASSERT_TRUE(e101.SetString("Password", "pw"));
    EXPECT_EQ("password=pw\r\n", ReadFile(shared + "/lines_/extensions_/101"));
}

TEST_F(RecordTest, HostileKeysAreRefused)
{
    LSettingsRecord list("lines", "extensions"), rec;
    std::string tooLong(260 - shared.size(), 'x');
    for (const char *bad :
         {"../../x", "a/b", "a\\b", ".", "..", "a..b", "x_", "", "a\nb", tooLong.c_str()}) {
        EXPECT_FALSE(list.OpenSubRecord(bad, rec)) << bad;
        EXPECT_FALSE(rec.IsValid());
        EXPECT_FALSE(rec.SetString("k", "v"));
        EXPECT_FALSE(list.CreateSubRecord(bad, rec));
        EXPECT_FALSE(LSettingsRecord("lines", bad).IsValid());
    }
    EXPECT_FALSE(Exists(shared + "/lines_"));
    EXPECT_FALSE(Exists(root + "/vela/x"));
}

TEST_F(RecordTest, PrimaryKeyMovesThePathOnly)
{
    LSettingsRecord rec("groups", "Sales");
    ASSERT_TRUE(rec.SetInt("x", 1));
    char key[LPathSize];
    EXPECT_STREQ("sales", rec.GetPrimaryKey(key));
    ASSERT_TRUE(rec.SetPrimaryKey("Support"));
    EXPECT_EQ(shared + "/groups_/support", rec.GetPath());
    EXPECT_FALSE(Exists(shared + "/groups_/support"));
    EXPECT_EQ(0, rec.GetInt("x", 0));
    EXPECT_FALSE(rec.SetPrimaryKey("../x"));
    EXPECT_EQ(shared + "/groups_/support", rec.GetPath());
}

TEST_F(RecordTest, SubRecordLifecycle)
{
    LSettingsRecord ext("lines", "ext"), rec;
    EXPECT_FALSE(ext.TestSubRecordExists("1"));
    ASSERT_TRUE(ext.CreateSubRecord("1", rec));
    EXPECT_TRUE(ext.TestSubRecordExists("1"));
    EXPECT_FALSE(ext.CreateSubRecord("1", rec));
    LSettingsRecord child(rec, "c");
    ASSERT_TRUE(child.SetString("a", "1"));
    // The record keeps its sub-records: its folder stays.
    EXPECT_TRUE(ext.DeleteSubRecord("1"));
    EXPECT_FALSE(ext.TestSubRecordExists("1"));
    EXPECT_TRUE(Exists(shared + "/lines_/ext_/1_/c"));
    ASSERT_TRUE(child.DeleteRecord());
    ASSERT_TRUE(rec.SetString("a", "1"));
    // Only the tree's own lock file remains in 1_: it goes with the record.
    EXPECT_TRUE(ext.DeleteSubRecord("1"));
    EXPECT_FALSE(Exists(shared + "/lines_/ext_/1_"));
}

TEST_F(RecordTest, NumberedRecordsTakeTheLowestFreeNumber)
{
    TestList list("lines", "numbered");
    TestEntity rec;
    ASSERT_TRUE(list.CreateNewRecord(rec));
    EXPECT_EQ(shared + "/lines_/numbered_/1", rec.GetPath());
    LSettingsRecord three;
    ASSERT_TRUE(list.CreateSubRecord("3", three));
    ASSERT_TRUE(list.CreateNewRecord(rec));
    EXPECT_EQ(shared + "/lines_/numbered_/2", rec.GetPath());
    // 4 exists through its sub-records only; it is not handed out again.
    EXPECT_FALSE(LSettingsRecord(list, "4_").IsValid());
    ASSERT_EQ(0, mkdir((shared + "/lines_/numbered_/4_").c_str(), 0750));
    ASSERT_TRUE(list.CreateNewRecord(rec));
    EXPECT_EQ(shared + "/lines_/numbered_/5", rec.GetPath());
    EXPECT_TRUE(list.Delete("2"));
    ASSERT_TRUE(list.CreateNewRecord(rec));
    EXPECT_EQ(shared + "/lines_/numbered_/2", rec.GetPath());
    // A registration is filled through the descriptor that made its record.
    int fd = -1;
    ASSERT_TRUE(LSettingsCreateNumbered(list, rec, &fd));
    ASSERT_EQ(4, write(fd, "x=1\n", 4));
    close(fd);
    EXPECT_EQ(shared + "/lines_/numbered_/6", rec.GetPath());
    char value[LPathSize];
    EXPECT_STREQ("1", rec.GetString("x", "", value));
}

TEST_F(RecordTest, NumberedCreationStopsOnErrors)
{
    // The list folder's place is taken by a file: no number can be created,
    // and the attempt ends at once instead of trying forever.
    WriteFile(shared + "/lines_", "");
    TestList list("lines", "broken");
    TestEntity rec;
    EXPECT_FALSE(list.CreateNewRecord(rec));
    EXPECT_FALSE(rec.IsValid());
}

TEST_F(RecordTest, EnumerationListsFilesAndFolderOnlyRecords)
{
    TestList list("groups", "all");
    std::string folder = shared + "/groups_/all_";
    // Folder-only names of several lengths: a shorter one listed after a
    // longer one keeps none of its letters.
    for (const char *sub : {"/a_", "/b_", "/cc_", "/ddd_", "/eeee_"})
        ASSERT_TRUE(LCreateFolder((folder + sub).c_str()));
    WriteFile(folder + "/a", "weight=9\r\n");
    WriteFile(folder + "/c..new", "leftover of a crash\r\n");
    WriteFile(folder + "/..lock", "");
    // Links are followed: to a record file, to a record's folder; one that
    // leads nowhere is no record.
    ASSERT_EQ(0, symlink("a", (folder + "/f").c_str()));
    ASSERT_EQ(0, symlink("b_", (folder + "/g_").c_str()));
    ASSERT_EQ(0, symlink("gone", (folder + "/h").c_str()));
    EXPECT_EQ((KeySet{"a", "b", "cc", "ddd", "eeee", "f", "g"}), Keys<TestIterator>(list));
    TestIterator it("groups", "all");
    std::set<int> weights;
    for (; it; it.Next())
        weights.insert(it->GetWeight());
    EXPECT_EQ((std::set<int>{5, 9}), weights);
    EXPECT_TRUE(Keys<TestIterator>("groups", "none").empty());
}

TEST_F(RecordTest, DeleteThroughIteratorAdvances)
{
    TestList list("groups", "del");
    TestEntity rec;
    for (const char *key : {"x", "y", "z"}) {
        ASSERT_TRUE(list.Open(rec, key));
        ASSERT_TRUE(rec.SetInt("weight", 1));
    }
    TestIterator it(list);
    int deleted = 0;
    while (it)
        deleted += list.Delete(it) ? 1 : 0;
    EXPECT_EQ(3, deleted);
    EXPECT_TRUE(Keys<TestIterator>(list).empty());
}

// Folders are made as deep as asked, existing ones are fine, and a file in
// the way is an error rather than a silent success.
TEST_F(RecordTest, FolderCreationMakesEveryMissingLevel)
{
    WriteFile(shared + "/plain", "x=1\r\n");
    // clang-format off
    const struct { std::string path; bool made; } cases[] = {
        {shared + "/n1_/n2_/n3_/n4_", true},
        {shared + "/n1_/n2_/n3_/n4_", true},
        {shared + "/n1_/other_/", true},
        {shared + "/plain", false},
        {shared + "/plain/below_", false},
        {"", false},
    };
    // clang-format on
    for (const auto &c : cases) {
        EXPECT_EQ(LCreateFolder(c.path.c_str()), c.made) << c.path;
        struct stat st;
        if (c.made) {
            EXPECT_TRUE(stat(c.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) << c.path;
        }
    }
}
