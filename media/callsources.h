// What the exchange plays to a caller: the stock hold music and ringing,
// a group's announcement and its hold source, chained for a queued caller.
// Every file name comes from the settings, so it is opened only inside the
// shared data folder; a hold source may also name an on-hold server.
#pragma once

#include "media/soundsource.h"

#include <string>

class LPlayerSources
{
  public:
    // Seconds of silence after each ring.
    static constexpr double kRingPauseSeconds = 2.0;
    static constexpr int kChainRate = 8000;

    // folder: the shared data folder, where the stock files lie too.
    explicit LPlayerSources(std::string folder) : folder(std::move(folder)) {}

    // A wave file named relative to the folder (or by an absolute path that
    // lies in it); a name reaching outside it gives a source in error.
    LSoundSource OpenFile(const char *name) const;
    // "-": "Hold.wav" looped without end. A server name: the on-hold client
    // (silent when the server cannot be reached). Anything else is refused
    // and the stock file plays.
    LSoundSource OpenSourceHold(const char *name) const;
    // "Ringing.wav" and a pause, looped.
    LSoundSource OpenSourceRinging() const;
    // Nothing (not valid) when both are empty; the hold source when there is
    // no announcement; else the announcement, the hold source (when named)
    // and ringing, one after the other, then silence.
    LSoundSource OpenSourceQueueNoRinging(const char *announcement, const char *hold) const;
    // As above, with ringing when that gives nothing.
    LSoundSource OpenSourceQueueWithRinging(const char *announcement, const char *hold) const;

  private:
    std::string folder;
};

// The real path of name inside folder; false (logged) when it does not
// exist or lies outside the folder ("..", another absolute path, a
// symbolic link pointing out).
bool LPlayerResolveFile(const std::string &folder, const char *name, std::string &path);
