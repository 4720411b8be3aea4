// Shared pieces of the web tests: a temporary program folder (VELA_ROOT) and
// a request object whose socket output is captured through a socket pair.
#pragma once

#include "config/settings_fixture.h"
#include "support/text.h"
#include "web/weblet_form.h"
#include "web/weblet_io.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using vtest::Has;

class WebRootTest : public SettingsTest
{
  protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        sessions = shared + "/SessionData";
    }
    // Runs a script on the fields as a browser posts them ("a=1&b=x+y"), on
    // a new logged-on session unless told not to; answers what it wrote.
    std::string RunScript(const std::function<void(LWebletForm &)> &script,
                          const std::string &fields, bool logon = true,
                          uint32_t client = 0x7f000001);

    std::string sessions;
};

// A request object writing into one end of a socket pair; Output() closes
// that end and returns everything the script wrote.
class CapturedForm
{
  public:
    explicit CapturedForm(const std::string &session_folder, uint32_t client = 0x7f000001)
    {
        socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
        reader = std::thread([this] {
            char buf[4096];
            ssize_t n;
            while ((n = read(fds[1], buf, sizeof buf)) > 0)
                text.append(buf, (size_t)n);
        });
        form = std::make_unique<LWebletForm>(fds[0], &stop, session_folder);
        form->SetClientAddress(client);
        form->SetRequestScript("dialog");
        form->headers.SetParm("Host", "pbx:1081");
    }
    ~CapturedForm() { Output(); }

    LWebletForm &Form() { return *form; }
    const std::string &Output()
    {
        if (reader.joinable()) {
            form.reset();
            shutdown(fds[0], SHUT_WR);
            reader.join();
            close(fds[0]);
            close(fds[1]);
        }
        return text;
    }

  private:
    int fds[2] = {-1, -1};
    std::atomic<bool> stop{false};
    std::unique_ptr<LWebletForm> form;
    std::thread reader;
    std::string text;
};

inline std::string WebRootTest::RunScript(const std::function<void(LWebletForm &)> &script,
                                          const std::string &fields, bool logon, uint32_t client)
{
    CapturedForm captured(sessions, client);
    if (logon) {
        EXPECT_TRUE(captured.Form().CreateNewSession(false));
    }
    captured.Form().form_data.LoadHTTPString(fields.c_str());
    script(captured.Form());
    return captured.Output();
}
