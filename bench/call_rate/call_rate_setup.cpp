// Writes extensions 101 (the caller, password "pw101") and 102 (the
// answering side, "pw102") into the settings tree under $VELA_ROOT.
#include "config/pbx_extension.h"
#include "config/settings.h"

#include <cstdio>

int main()
{
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
