#include "settings_fixture.h"
#include "settings_fork.h"

#include "config/settingslock.h"

#include <csignal>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

const int kProcesses = 3;
const int kThreads = 2;

// A count, not a time: on a loaded machine a writer may get the lock only a
// few times a second, and the test is about lost keys, not speed.
const int kKeysPerThread = 20;

// One writer thread: new keys of its own, alternately into one record file
// and one global section. Returns how many it wrote.
int WriteKeys(int proc, int thread)
{
    LSettingsRecord rec("lines", "shared");
    int i = 0;
    for (; i < kKeysPerThread; ++i) {
        char key[64];
        snprintf(key, sizeof key, "p%dt%dk%d", proc, thread, i);
        if (!rec.SetInt(key, i) || !LSettingSetInt("Shared", key, i))
            return -1;
    }
    return i;
}

int RunWriterProcess(int proc)
{
    int counts[kThreads];
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { counts[t] = WriteKeys(proc, t); });
    for (std::thread &t : threads)
        t.join();
    // All threads of a process wrote about the same number; report the
    // smallest and check the exact count per thread by file content.
    int least = counts[0];
    for (int c : counts)
        least = c < least ? c : least;
    return least;
}

} // namespace

using ProcessTest = SettingsTest;

TEST_F(ProcessTest, ConcurrentWritersLoseNoKeys)
{
    std::vector<pid_t> pids;
    std::vector<int> pipes;
    for (int p = 0; p < kProcesses; ++p) {
        int fd = -1;
        pids.push_back(ForkReporting(&fd, RunWriterProcess, p));
        ASSERT_GT(pids.back(), 0);
        pipes.push_back(fd);
    }
    for (int p = 0; p < kProcesses; ++p) {
        int least = -1, status = 0;
        ASSERT_EQ((ssize_t)sizeof least, read(pipes[p], &least, sizeof least));
        close(pipes[p]);
        ASSERT_EQ(pids[p], waitpid(pids[p], &status, 0));
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_EQ(least, kKeysPerThread) << "writer " << p << " failed a write";
    }
    for (const std::string &path : {shared + "/lines_/shared", shared + "/shared"}) {
        std::string text = ReadFile(path);
        LSettingsEntries entries = LSettingsParse(text.data(), text.size());
        // Every line whole, every key once, and each thread's keys without a
        // gap from 0 to its last.
        EXPECT_EQ(text, LSettingsCompose(entries));
        std::set<std::string> seen;
        int perThread[kProcesses][kThreads] = {};
        for (const LSettingsEntry &e : entries) {
            int p = -1, t = -1, k = -1, used = 0;
            ASSERT_EQ(3, sscanf(e.key.c_str(), "p%dt%dk%d%n", &p, &t, &k, &used)) << e.key;
            ASSERT_EQ(e.key.size(), (size_t)used) << e.key;
            ASSERT_TRUE(p >= 0 && p < kProcesses && t >= 0 && t < kThreads) << e.key;
            EXPECT_EQ(std::to_string(k), e.value) << e.key;
            EXPECT_TRUE(seen.insert(e.key).second) << e.key;
            perThread[p][t]++;
        }
        for (int p = 0; p < kProcesses; ++p)
            for (int t = 0; t < kThreads; ++t) {
                EXPECT_EQ(perThread[p][t], kKeysPerThread)
                    << path << " lost keys of p" << p << "t" << t;
            }
    }
}

namespace
{

int RewriteForever(int)
{
    LSettingsRecord rec("lines", "crash");
    for (int gen = 0;; ++gen)
        rec.SetInt("gen", gen);
}

} // namespace

TEST_F(ProcessTest, KilledWriterLeavesOldOrNewRecord)
{
    LSettingsRecord rec("lines", "crash");
    std::string big(200, 'v');
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(rec.SetString(("key" + std::to_string(i)).c_str(), big.c_str()));
    // A writer killed before its first write leaves this old record whole.
    ASSERT_TRUE(rec.SetInt("gen", 0));
    std::mt19937 random(4711);
    int gens = 0;
    for (int round = 0; round < 20; ++round) {
        int fd = -1;
        pid_t pid = ForkReporting(&fd, RewriteForever, 0);
        ASSERT_GT(pid, 0);
        usleep(1000 + random() % 20000);
        ASSERT_EQ(0, kill(pid, SIGKILL));
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        close(fd);
        std::string text = ReadFile(rec.GetPath());
        LSettingsEntries entries = LSettingsParse(text.data(), text.size());
        ASSERT_EQ(text, LSettingsCompose(entries)) << "partial record after kill " << round;
        ASSERT_EQ(31u, entries.size());
        for (int i = 0; i < 30; ++i)
            ASSERT_EQ(big, entries[i].value);
        EXPECT_EQ("gen", entries[30].key);
        gens += atoi(entries[30].value.c_str()) > 0;
    }
    EXPECT_GT(gens, 0) << "the writer never got to write";
    // The killed writers' locks died with them.
    LSettingsSetWriteBudget(1000);
    EXPECT_TRUE(rec.SetInt("gen", -1));
    LSettingsSetWriteBudget(10000);
}

namespace
{

int WriteSameSize(int value)
{
    return LSettingsRecord("lines", "seen").SetInt("port", value) ? 0 : 1;
}

} // namespace

TEST_F(ProcessTest, OtherProcessChangeOfSameSizeIsSeenAtOnce)
{
    LSettingsRecord rec("lines", "seen");
    ASSERT_TRUE(rec.SetInt("port", 5060));
    for (int value : {5070, 5080, 5090}) {
        EXPECT_EQ(value - 10, rec.GetInt("port", 0));
        int fd = -1, result = -1, status = 0;
        pid_t pid = ForkReporting(&fd, WriteSameSize, value);
        ASSERT_GT(pid, 0);
        ASSERT_EQ((ssize_t)sizeof result, read(fd, &result, sizeof result));
        close(fd);
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        ASSERT_EQ(0, result);
        EXPECT_EQ(value, rec.GetInt("port", 0));
    }
}
