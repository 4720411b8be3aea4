// Pumps a sound source into a sink on a thread of its own. Pacing comes
// from the sink (the RTP send sink sleeps once it runs ahead of real time);
// the pump only keeps itself from spinning.
#pragma once

#include "media/soundsink.h"
#include "media/soundsource.h"
#include "platform/thread.h"

#include <atomic>

// Told from the pump's thread what playback does.
class LSoundPlayerNotify
{
  public:
    virtual ~LSoundPlayerNotify() = default;
    virtual void PlayerStarted(int /*position*/) {}
    virtual void PlayerEnded(int /*position*/) {}
};

class LStreamPlayer : private LThread
{
  public:
    explicit LStreamPlayer(LSoundPlayerNotify *notify = nullptr) : notify(notify) {}
    ~LStreamPlayer() override;

    // Stops any playback, converts source to the sink's rate and channels
    // and starts pumping. False when the source is in error.
    bool Start(const LSoundSource &source, const LSoundSink &sink);
    // Stops the pump and closes source and sink.
    void Stop();
    bool IsPlaying() const { return IsRunning(); }
    bool HasEnded() const { return ended.load(); }
    // Samples of the converted source played so far.
    int GetPosition() const { return position.load(); }

  protected:
    void ThreadFunction() override;

  private:
    LSoundPlayerNotify *notify;
    LSoundSource source;
    LSoundSink sink;
    std::atomic<int> position{0};
    std::atomic<bool> ended{false};
};
