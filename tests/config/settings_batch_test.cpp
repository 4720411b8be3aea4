#include "settings_fixture.h"
#include "settings_fork.h"

#include "config/pbx_contact.h"
#include "config/settingslock.h"

#include <csignal>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <vector>

namespace
{

struct BatchCase {
    const char *name;
    std::vector<LSettingsPair> pairs;
    bool result;
    const char *text; // file afterwards
    bool rewritten;   // whether the file was replaced
};

ino_t InodeOf(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

using BatchTest = SettingsTest;

TEST_F(BatchTest, AppliesAllPairsInOneRewriteOrNone)
{
    const BatchCase cases[] = {
        {"replace and append", {{"A", "9"}, {"c", "3"}}, true, "a=9\r\nb=2\r\nc=3\r\n", true},
        {"delete and clean value", {{"b", nullptr}, {"c", "x\ny"}}, true, "a=1\r\nc=x y\r\n", true},
        {"last of a repeated key", {{"c", "1"}, {"C", "2"}}, true, "a=1\r\nb=2\r\nc=2\r\n", true},
        {"nothing changes", {{"a", "1"}, {"zz", nullptr}}, true, "a=1\r\nb=2\r\n", false},
        {"one refused key", {{"c", "1"}, {"bad=key", "2"}}, false, "a=1\r\nb=2\r\n", false},
        {"empty set", {}, true, "a=1\r\nb=2\r\n", false},
    };
    std::string path = shared + "/batch";
    for (const BatchCase &c : cases) {
        WriteFile(path, "a=1\r\nb=2\r\n");
        ino_t before = InodeOf(path);
        LSettingsFile file(path.c_str());
        EXPECT_EQ(c.result, file.SetStrings(c.pairs.data(), (int)c.pairs.size())) << c.name;
        EXPECT_EQ(c.text, ReadFile(path)) << c.name;
        EXPECT_EQ(c.rewritten, InodeOf(path) != before) << c.name;
        // The cache agrees with the file without another read of it.
        char out[LPathSize];
        LSettingsEntries entries = LSettingsParse(c.text, strlen(c.text));
        for (const LSettingsEntry &e : entries)
            EXPECT_EQ(e.value, file.GetString(e.key.c_str(), "?", out)) << c.name;
    }
}

TEST_F(BatchTest, RegistrationRecordStoresItsKeysTogether)
{
    LPBXContactRecord rec;
    rec.ChangeFilePath((shared + "/contact").c_str());
    ASSERT_TRUE(rec.SetBinding("sip:101@10.0.0.5", 5000000000LL, "0.5"));
    EXPECT_EQ("contact=sip:101@10.0.0.5\r\nexpires=2147483647\r\nq=0.5\r\n",
              ReadFile(rec.GetPath()));
    ASSERT_TRUE(rec.SetRefresh(1700000000, "1.0"));
    EXPECT_EQ("contact=sip:101@10.0.0.5\r\nexpires=1700000000\r\nq=1.0\r\n",
              ReadFile(rec.GetPath()));
}

namespace
{

const int kBatchProcesses = 4;
// A count, not a time: on a loaded machine a writer may get the lock only a
// few times a second, and the test is about lost keys, not speed.
const int kBatchesPerWriter = 12;

// The same record through a synced and through a soft-state object: the
// lock, not the sync, keeps writers from losing each other's keys.
LSettingsFile *OpenShared(int proc, LSettingsRecord &durable, LPBXContactRecord &soft)
{
    durable = LSettingsRecord("lines", "batch");
    soft.ChangeFilePath(durable.GetPath());
    return proc % 2 ? static_cast<LSettingsFile *>(&soft) : &durable;
}

int WriteBatches(int proc)
{
    LSettingsRecord durable;
    LPBXContactRecord soft;
    LSettingsFile *file = OpenShared(proc, durable, soft);
    int i = 0;
    for (; i < kBatchesPerWriter; ++i) {
        std::string a = "p" + std::to_string(proc) + "a" + std::to_string(i);
        std::string b = "p" + std::to_string(proc) + "b" + std::to_string(i);
        std::string v = std::to_string(i);
        const LSettingsPair pairs[] = {{a.c_str(), v.c_str()}, {b.c_str(), v.c_str()}};
        // A global section too: its cache is another object over the same lock.
        if (!file->SetStrings(pairs, 2) || !LSettingSetString("Shared", a.c_str(), v.c_str()))
            return -1;
        // The lock is polled, not queued: a writer that takes it again at
        // once can starve the others, which no real writer does.
        usleep(2000);
    }
    return i;
}

// Write end of a pipe on which the forked rewriter tells that its first set
// is on disk: a forked sanitizer build can take longer to get there than any
// fixed sleep, and a kill before then tests nothing.
int rewriterStarted = -1;

int RewriteBatchesForever(int soft)
{
    LSettingsRecord durable;
    LPBXContactRecord contact;
    LSettingsFile *file = OpenShared(soft, durable, contact);
    for (int gen = 1;; ++gen) {
        std::string v = std::to_string(gen);
        const LSettingsPair pairs[] = {{"a", v.c_str()}, {"b", v.c_str()}, {"c", v.c_str()}};
        if (file->SetStrings(pairs, 3) && gen == 1 && write(rewriterStarted, "1", 1) != 1)
            return -1;
    }
}

// Whether the rewriter reported its first set within 60 s.
bool RewriterStarted(int readEnd)
{
    pollfd p = {readEnd, POLLIN, 0};
    char c = 0;
    return poll(&p, 1, 60000) == 1 && read(readEnd, &c, 1) == 1;
}

} // namespace

TEST_F(BatchTest, ConcurrentBatchWritersLoseNoKeys)
{
    std::vector<pid_t> pids;
    std::vector<int> pipes;
    for (int p = 0; p < kBatchProcesses; ++p) {
        int fd = -1;
        pids.push_back(ForkReporting(&fd, WriteBatches, p));
        ASSERT_GT(pids.back(), 0);
        pipes.push_back(fd);
    }
    for (int p = 0; p < kBatchProcesses; ++p) {
        int count = -1, status = 0;
        ASSERT_EQ((ssize_t)sizeof count, read(pipes[p], &count, sizeof count));
        close(pipes[p]);
        ASSERT_EQ(pids[p], waitpid(pids[p], &status, 0));
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_EQ(count, kBatchesPerWriter) << "writer " << p << " failed a batch";
    }
    std::string text = ReadFile(shared + "/lines_/batch");
    LSettingsEntries entries = LSettingsParse(text.data(), text.size());
    EXPECT_EQ(text, LSettingsCompose(entries));
    EXPECT_EQ(size_t(kBatchProcesses * kBatchesPerWriter * 2), entries.size());
    LSettingsFile check((shared + "/lines_/batch").c_str());
    char out[LPathSize];
    for (int p = 0; p < kBatchProcesses; ++p)
        for (int i = 0; i < kBatchesPerWriter; ++i) {
            std::string a = "p" + std::to_string(p) + "a" + std::to_string(i);
            std::string b = "p" + std::to_string(p) + "b" + std::to_string(i);
            EXPECT_EQ(std::to_string(i), check.GetString(a.c_str(), "lost", out)) << a;
            EXPECT_EQ(std::to_string(i), check.GetString(b.c_str(), "lost", out)) << b;
            EXPECT_EQ(i, LSettingGetInt("Shared", a.c_str(), -1)) << a;
        }
}

TEST_F(BatchTest, KilledBatchWriterLeavesOldOrNewSet)
{
    std::mt19937 random(815);
    for (int soft : {0, 1}) {
        for (int round = 0; round < 15; ++round) {
            int fd = -1, status = 0, started[2];
            ASSERT_EQ(0, pipe(started));
            rewriterStarted = started[1];
            pid_t pid = ForkReporting(&fd, RewriteBatchesForever, soft);
            close(started[1]);
            ASSERT_GT(pid, 0);
            bool wrote = RewriterStarted(started[0]);
            close(started[0]);
            usleep(random() % 15000);
            ASSERT_EQ(0, kill(pid, SIGKILL));
            ASSERT_EQ(pid, waitpid(pid, &status, 0));
            close(fd);
            ASSERT_TRUE(wrote) << "the writer never got to write, soft " << soft;
            std::string text = ReadFile(shared + "/lines_/batch");
            LSettingsEntries entries = LSettingsParse(text.data(), text.size());
            ASSERT_EQ(text, LSettingsCompose(entries)) << "partial record, soft " << soft;
            ASSERT_EQ(3u, entries.size()) << text;
            EXPECT_EQ(entries[0].value, entries[1].value) << text;
            EXPECT_EQ(entries[0].value, entries[2].value) << text;
        }
    }
    // The killed writers' locks died with them.
    LSettingsSetWriteBudget(1000);
    EXPECT_TRUE(LSettingsRecord("lines", "batch").SetInt("after", 1));
    LSettingsSetWriteBudget(10000);
}
