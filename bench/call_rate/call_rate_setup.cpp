// Writes the default records a new installation gets (application
// extensions, group 701, plan "default", line "Default"), then extensions
// 101 (the caller, password "pw101") and 102 (the answering side, "pw102")
// into the settings tree under $VELA_ROOT. With the installed plan each
// call is routed as on an installed exchange, not through the fallback for
// a missing plan (which also logs an error line per call).
#include "config/pbx_extension.h"
#include "config/pbx_install.h"
#include "config/settings.h"

#include <cstdio>

int main()
{
    if (!PreInstallExtensionsAndExternalLines()) {
        fprintf(stderr, "cannot write the default records\n");
        return 1;
    }
    const char *names[] = {"101", "102"};
    const char *passwords[] = {"pw101", "pw102"};
    for (int i = 0; i < 2; i++) {
        LPBXExtension ext;
        if (!LPBXExtensionList().CreateNewRecord(ext, names[i]) || !ext.SetPassword(passwords[i])) {
            fprintf(stderr, "cannot write extension %s\n", names[i]);
            return 1;
        }
        ext.SetVoiceMailExtension("");
    }
    return 0;
}
