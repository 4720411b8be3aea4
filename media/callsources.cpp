#include "media/callsources.h"

#include "media/merleclient.h"
#include "media/soundcat.h"
#include "media/soundrepeat.h"
#include "media/wavefile.h"
#include "platform/log.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace
{
bool RealPath(const std::string &path, std::string &out)
{
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return false;
    out = resolved;
    return true;
}
} // namespace

bool LPlayerResolveFile(const std::string &folder, const char *name, std::string &path)
{
    std::string base, full;
    if (!name || !*name || !RealPath(folder, base))
        return false;
    std::string given = name[0] == '/' ? std::string(name) : folder + "/" + name;
    if (!RealPath(given, full)) {
        LOGERRORTEXT("Sound file not found: ", name);
        return false;
    }
    if (full.compare(0, base.size() + 1, base + "/") != 0) {
        LOGERRORTEXT("Sound file refused, it is outside the shared data folder: ", name);
        return false;
    }
    path = full;
    return true;
}

LSoundSource LPlayerSources::OpenFile(const char *name) const
{
    std::string path;
    if (!LPlayerResolveFile(folder, name, path))
        return LSoundSource(new LSoundSourceError(LSoundErrorFile));
    return LWaveFile::OpenSource(path.c_str());
}

LSoundSource LPlayerSources::OpenSourceHold(const char *name) const
{
    if (strcmp(name, "-") != 0) {
        if (LMerleIsServerName(name))
            return LMerleClientSource::OpenSource(name);
        LOGERRORTEXT("On-hold server refused, it is not host:port: ", name);
    }
    LSoundSource file = OpenFile("Hold.wav");
    return LSPRepeat(LSoundTime::Zero(), file.GetEnd()).OpenSource(file);
}

LSoundSource LPlayerSources::OpenSourceRinging() const
{
    LSoundSource file = OpenFile("Ringing.wav");
    LSoundTime end = file.GetEnd() + LSoundTime::FromSeconds(kRingPauseSeconds);
    return LSPRepeat(LSoundTime::Zero(), end).OpenSource(file);
}

LSoundSource LPlayerSources::OpenSourceQueueNoRinging(const char *announcement,
                                                      const char *hold) const
{
    if (!*announcement && !*hold)
        return LSoundSource();
    if (!*announcement)
        return OpenSourceHold(hold);
    LSoundSourceCat chain;
    chain.AddSource(OpenFile(announcement));
    if (*hold)
        chain.AddSource(OpenSourceHold(hold));
    chain.AddSource(OpenSourceRinging());
    return chain.OpenSource(kChainRate, 1);
}

LSoundSource LPlayerSources::OpenSourceQueueWithRinging(const char *announcement,
                                                        const char *hold) const
{
    LSoundSource source = OpenSourceQueueNoRinging(announcement, hold);
    return source ? source : OpenSourceRinging();
}
