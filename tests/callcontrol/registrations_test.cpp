// Registrations kept in memory and written behind the answer: readers see a
// binding as soon as it is acknowledged, the records catch up, and an
// exchange started again finds them there.
#include "callcontrol/call_target_env.h"
#include "callcontrol/registrar.h"
#include "callcontrol/registrations.h"
#include "registrar_fixture.h"

#include "platform/clock.h"

#include <algorithm>
#include <sys/stat.h>

namespace
{
class Registrations : public RegistrarTest
{
  protected:
    // A phone at host (port 5060) registers there for expires seconds.
    Answer Register(LPBXContactStore &store, const std::string &host, int expires)
    {
        auto m = Request("REGISTER", "sip:pbx",
                         "To: <sip:101@pbx>\r\nContact: <sip:101@" + host +
                             ">;expires=" + std::to_string(expires) + "\r\nAuthorization: " +
                             Answering("101", "101", "pw", "REGISTER", "sip:pbx") + "\r\n",
                         (host + ":5060").c_str());
        LPBXHandleRegister(*m, guards, responder, store, kNow);
        return responder.Last();
    }
    // contact=expires of every binding, sorted (records come in folder order).
    static std::string Text(const LPBXBindings &bindings)
    {
        std::vector<std::string> items;
        for (const LPBXBinding &b : bindings)
            items.push_back(b.contact + "=" + std::to_string(b.expires - kNow) + " ");
        std::sort(items.begin(), items.end());
        std::string out;
        for (const std::string &item : items)
            out += item;
        return out;
    }
    static std::string OnDisk(const LPBXContactList &account)
    {
        LPBXFileContacts files;
        return Text(files.Read(account));
    }
};
} // namespace

TEST_F(Registrations, ReadersSeeABindingOnceAnsweredAndTheRecordsCatchUp)
{
    LPBXExtension ext = MakeExtension("101", "pw");
    LPBXRegistrations store;
    store.Start();
    ASSERT_EQ(Register(store, "10.0.0.5", 600).status, 200);
    // A call placed right after the 200 is built from what the store holds.
    LSystemClock clock;
    LPBXCallTargetEnvironment environment(clock, &store);
    EXPECT_EQ(Text(environment.GetContacts(ext)), "sip:101@10.0.0.5=600 ");
    store.Flush();
    EXPECT_EQ(OnDisk(ext), "sip:101@10.0.0.5=600 ");

    // A second phone, then the first one leaves: both changes reach the
    // records by the time the writer stops.
    ASSERT_EQ(Register(store, "10.0.0.9", 300).status, 200);
    ASSERT_EQ(Register(store, "10.0.0.5", 0).status, 200);
    EXPECT_EQ(responder.Last().extra, "Contact: <sip:101@10.0.0.9>;expires=300;q=0.5\r\n");
    store.Stop();
    EXPECT_EQ(OnDisk(ext), "sip:101@10.0.0.5=0 sip:101@10.0.0.9=300 ");

    // Started again, the exchange answers from the records it left.
    LPBXRegistrations restarted;
    restarted.Start();
    ASSERT_EQ(Register(restarted, "10.0.0.9", 900).status, 200);
    EXPECT_EQ(responder.Last().extra, "Contact: <sip:101@10.0.0.9>;expires=900;q=0.5\r\n");
}

TEST_F(Registrations, RecordsWrittenByOthersAreSeenWhenNothingIsPending)
{
    LPBXExtension ext = MakeExtension("101", "pw");
    LPBXRegistrations store;
    store.Start();
    EXPECT_EQ(Text(store.Read(ext)), "");
    ASSERT_TRUE(ext.AddContact("sip:101@10.0.0.7", kNow + 60, "0.5"));
    EXPECT_EQ(Text(store.Read(ext)), "sip:101@10.0.0.7=60 ");

    // The account is deleted with its records: the memory forgets them too,
    // and a pending write does not bring the folders back.
    ASSERT_EQ(Register(store, "10.0.0.5", 600).status, 200);
    store.Flush();
    LPBXDeleteRecordTree(ext);
    EXPECT_EQ(Text(store.Read(ext)), "");
    LPBXBindings again{{"sip:101@10.0.0.8", kNow + 60, "0.5", ""}};
    store.Write(ext, again);
    store.Flush();
    struct stat st;
    EXPECT_NE(stat((std::string(ext.GetPath()) + "_").c_str(), &st), 0);
    EXPECT_EQ(Text(store.Read(ext)), "");
}
