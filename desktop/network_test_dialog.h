// The network test in a progress dialog: the same test object that
// "vela -network-test" runs, on a worker thread, showing its two status
// lines and progress here and asking its questions in message boxes. The
// service's SIP engine is switched through the window's proxy, since the
// test binds the SIP port itself.
#pragma once

#include <gtk/gtk.h>

class MainEngineProxy;

// Opens the dialog over parent and starts the test; the dialog frees itself
// when closed after the test ended (Cancel asks a running test to stop).
void VLRunNetworkTestDialog(GtkWindow *parent, MainEngineProxy &proxy);
