#include "desktop/network_test_dialog.h"

#include "service/main_engine_proxy.h"
#include "service/network_test_tester.h"

#include <atomic>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace
{
// Runs f on the GUI thread (from the worker).
void OnGui(std::function<void()> f)
{
    g_idle_add(
        [](gpointer data) -> gboolean {
            auto *call = static_cast<std::function<void()> *>(data);
            (*call)();
            delete call;
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(f)));
}

// The service's SIP engine holds the SIP port the test binds.
class WindowTester : public LSettingsSipTester
{
  public:
    explicit WindowTester(MainEngineProxy &proxy) : m_proxy(proxy) {}
    bool IsEngineRunning() override { return m_proxy.IsServiceStarted(); }
    void StopEngine() override { m_proxy.ControlWithResult(LBackgroundEngine::kCtlStopSipEngine); }
    void StartEngine() override
    {
        m_proxy.ControlWithResult(LBackgroundEngine::kCtlStartSipEngine);
    }

  private:
    MainEngineProxy &m_proxy;
};

class TestDialog : public LSipTestProcess
{
  public:
    TestDialog(GtkWindow *parent, MainEngineProxy &proxy) : m_tester(proxy)
    {
        m_dialog = gtk_dialog_new_with_buttons("Network Test", parent, GTK_DIALOG_MODAL, "Cancel",
                                               GTK_RESPONSE_CANCEL, nullptr);
        gtk_window_set_default_size(GTK_WINDOW(m_dialog), 480, -1);
        GtkWidget *area = gtk_dialog_get_content_area(GTK_DIALOG(m_dialog));
        m_line1 = gtk_label_new("");
        m_line2 = gtk_label_new("");
        m_bar = gtk_progress_bar_new();
        for (GtkWidget *w : {m_line1, m_line2, m_bar})
            gtk_box_pack_start(GTK_BOX(area), w, FALSE, FALSE, 4);
        g_signal_connect(m_dialog, "response", G_CALLBACK(OnResponse), this);
        gtk_widget_show_all(m_dialog);
        m_worker = std::thread([this] { Work(); });
    }

    bool IsToStop() override { return m_stop.load(); }
    void SetStatus(int line, const char *text) override
    {
        GtkWidget *label = line == 1 ? m_line1 : m_line2;
        OnGui([label, copy = std::string(text)] {
            gtk_label_set_text(GTK_LABEL(label), copy.c_str());
        });
    }
    void SetProgress(double fraction) override
    {
        OnGui(
            [this, fraction] { gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_bar), fraction); });
    }
    void ShowInfo(const char *title, const char *text) override
    {
        Ask(GTK_MESSAGE_INFO, GTK_BUTTONS_OK, title, text);
    }
    void ShowError(const char *text) override
    {
        Ask(GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "Network Test", text);
    }
    void Confirm(const char *title, const char *text) override
    {
        Ask(GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, title, text);
    }
    Answer AskYesNoCancel(const char *title, const char *text) override
    {
        int response = Ask(GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, title, text, true);
        return response == GTK_RESPONSE_YES  ? Answer::Yes
               : response == GTK_RESPONSE_NO ? Answer::No
                                             : Answer::Cancel;
    }

  private:
    void Work()
    {
        LProcessResult result = LSipNetworkTest(*this, m_tester).Process();
        OnGui([this, result] {
            gtk_label_set_text(GTK_LABEL(m_line1), result == LProcessSuccess   ? "Test finished"
                                                   : result == LProcessStopped ? "Test cancelled"
                                                                               : "Test failed");
            GtkWidget *cancel =
                gtk_dialog_get_widget_for_response(GTK_DIALOG(m_dialog), GTK_RESPONSE_CANCEL);
            gtk_button_set_label(GTK_BUTTON(cancel), "Close");
            m_worker.join();
            m_done = true;
        });
    }
    static void OnResponse(GtkDialog *, int, gpointer data)
    {
        TestDialog *self = static_cast<TestDialog *>(data);
        self->m_stop = true;
        if (self->m_done) {
            gtk_widget_destroy(self->m_dialog);
            delete self;
        }
    }
    // A modal box on the GUI thread; the worker waits for its answer.
    int Ask(GtkMessageType type, GtkButtonsType buttons, const char *title, const char *text,
            bool withCancel = false)
    {
        std::promise<int> answer;
        std::future<int> result = answer.get_future();
        OnGui([&, copy = std::string(text), heading = std::string(title)] {
            GtkWidget *box = gtk_message_dialog_new(GTK_WINDOW(m_dialog), GTK_DIALOG_MODAL, type,
                                                    buttons, "%s", copy.c_str());
            gtk_window_set_title(GTK_WINDOW(box), heading.c_str());
            if (withCancel)
                gtk_dialog_add_button(GTK_DIALOG(box), "Cancel", GTK_RESPONSE_CANCEL);
            int response = gtk_dialog_run(GTK_DIALOG(box));
            gtk_widget_destroy(box);
            answer.set_value(response);
        });
        return result.get();
    }

    WindowTester m_tester;
    GtkWidget *m_dialog, *m_line1, *m_line2, *m_bar;
    std::atomic<bool> m_stop{false};
    bool m_done = false; // GUI thread only
    std::thread m_worker;
};
} // namespace

void VLRunNetworkTestDialog(GtkWindow *parent, MainEngineProxy &proxy)
{
    new TestDialog(parent, proxy);
}
