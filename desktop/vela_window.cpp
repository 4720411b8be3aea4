// The desktop window: the service's status log, buttons that stop and start
// the SIP engine, restart the web server and run the network test (in a
// progress dialog), and a link to the control panel. It talks to the
// background service over the control channel, starts the system service
// when none answers, and runs the engine itself when that fails too.
#include "config/folders.h"
#include "config/settings.h"
#include "desktop/network_test_dialog.h"
#include "desktop/run_once.h"
#include "service/main_engine_proxy.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace
{
struct VLWindow : LControlWindowSink {
    GtkWidget *window = nullptr;
    GtkTextBuffer *log = nullptr;
    GtkWidget *link = nullptr;
    MainEngineProxy *proxy = nullptr;
    int runOnce = -1;

    // From the proxy's receive thread: the line is shown on the GUI thread.
    void ShowLogLine(int, const std::string &timeText, const std::string &text) override
    {
        g_idle_add(AppendLine, new VLLine{this, timeText + " " + text});
    }
    void EngineNotify(int, const std::string &) override {}
    void ShowError(const std::string &text) override
    {
        g_idle_add(ErrorBox, new VLLine{this, text});
    }

    struct VLLine {
        VLWindow *window;
        std::string text;
    };
    static gboolean AppendLine(gpointer data)
    {
        VLLine *line = static_cast<VLLine *>(data);
        GtkTextIter end;
        gtk_text_buffer_get_end_iter(line->window->log, &end);
        gtk_text_buffer_insert(line->window->log, &end, (line->text + "\n").c_str(), -1);
        delete line;
        return G_SOURCE_REMOVE;
    }
    static gboolean ErrorBox(gpointer data)
    {
        VLLine *line = static_cast<VLLine *>(data);
        GtkWidget *box =
            gtk_message_dialog_new(GTK_WINDOW(line->window->window), GTK_DIALOG_MODAL,
                                   GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", line->text.c_str());
        gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
        delete line;
        return G_SOURCE_REMOVE;
    }
};

void Show(VLWindow &w, const char *text)
{
    g_idle_add(VLWindow::AppendLine, new VLWindow::VLLine{&w, text});
}

void OnStop(GtkButton *, gpointer data)
{
    VLWindow &w = *static_cast<VLWindow *>(data);
    w.proxy->ControlWithResult(LBackgroundEngine::kCtlStopSipEngine);
    Show(w, "SIP engine stopped");
}
void OnStart(GtkButton *, gpointer data)
{
    VLWindow &w = *static_cast<VLWindow *>(data);
    w.proxy->ControlWithResult(LBackgroundEngine::kCtlStartSipEngine);
    Show(w, "SIP engine started");
}
std::string PanelLink()
{
    return "http://127.0.0.1:" + std::to_string(LSettingGetInt("WebServer", "Port", 80)) + "/";
}
void OnWeb(GtkButton *, gpointer data)
{
    VLWindow &w = *static_cast<VLWindow *>(data);
    w.proxy->CtlRestartWeb();
    gtk_link_button_set_uri(GTK_LINK_BUTTON(w.link), PanelLink().c_str());
}
void OnNetworkTest(GtkButton *, gpointer data)
{
    VLWindow &w = *static_cast<VLWindow *>(data);
    VLRunNetworkTestDialog(GTK_WINDOW(w.window), *w.proxy);
}

GtkWidget *Button(const char *label, GCallback handler, VLWindow &w, GtkWidget *box)
{
    GtkWidget *button = gtk_button_new_with_label(label);
    g_signal_connect(button, "clicked", handler, &w);
    gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
    return button;
}

void Build(VLWindow &w)
{
    w.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(w.window), "Vela");
    gtk_window_set_default_size(GTK_WINDOW(w.window), 640, 400);
    g_signal_connect(w.window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

    GtkWidget *rows = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(rows), 8);
    GtkWidget *buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    Button("Stop SIP engine", G_CALLBACK(OnStop), w, buttons);
    Button("Start SIP engine", G_CALLBACK(OnStart), w, buttons);
    Button("Restart web server", G_CALLBACK(OnWeb), w, buttons);
    Button("Network test", G_CALLBACK(OnNetworkTest), w, buttons);
    w.link = gtk_link_button_new_with_label(PanelLink().c_str(), "Control panel");
    gtk_box_pack_end(GTK_BOX(buttons), w.link, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(rows), buttons, FALSE, FALSE, 0);

    GtkWidget *view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_monospace(GTK_TEXT_VIEW(view), TRUE);
    w.log = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkWidget *scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(scroll), view);
    gtk_box_pack_start(GTK_BOX(rows), scroll, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(w.window), rows);
    gtk_widget_show_all(w.window);
}

// Another start handed its arguments over: show them and come to the front.
gboolean OnRunOnce(GIOChannel *, GIOCondition, gpointer data)
{
    VLWindow &w = *static_cast<VLWindow *>(data);
    std::string arguments = VLRunOnceTake(w.runOnce);
    Show(w, ("Started again with arguments: " + arguments).c_str());
    gtk_window_present(GTK_WINDOW(w.window));
    return G_SOURCE_CONTINUE;
}
} // namespace

int main(int argc, char **argv)
{
    if (!gtk_init_check(&argc, &argv)) {
        const char *display = getenv("DISPLAY");
        std::fprintf(stderr, "Unable to open the display %s\n", display ? display : "");
        return 1;
    }
    char folder[LPathSize];
    LGetFolder(LFolder::UserData, folder);
    LCreateFolder(folder);
    int runOnce = VLRunOnceClaim(std::string(folder) + "/.Vela.runonce", argc, argv);
    if (runOnce == -1)
        return 0;
    VLWindow w;
    w.runOnce = runOnce;
    if (runOnce >= 0)
        g_io_add_watch(g_io_channel_unix_new(runOnce), G_IO_IN, OnRunOnce, &w);
    std::string path = std::string(LGetFolder(LFolder::SharedData, folder)) + "/.spipe.velad";
    LSystemServiceScript service;
    MainEngineProxy proxy(path, w, &service);
    w.proxy = &proxy;
    Build(w);
    if (!proxy.Start())
        Show(w, "Running the engine in this window (no background service)");
    gtk_main();
    proxy.Stop();
    if (runOnce >= 0) {
        close(runOnce);
        unlink((std::string(folder) + "/.Vela.runonce").c_str());
    }
    return 0;
}
