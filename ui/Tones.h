#pragma once
// The end-of-run signal: five pairs of short tones, 400 Hz then 1000 Hz, 50 ms each,
// played through ALSA on a thread of their own so that the window never waits for them.
// Without a sound device nothing is heard and nothing is printed.

#include <condition_variable>
#include <mutex>
#include <thread>

class TonePlayer {
public:
    TonePlayer() = default;
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;
    ~TonePlayer();

    // Starts the ten tones (after the previous signal, if one is still sounding). Never
    // waits: the signal is queued for the player's thread.
    void play_end_of_run();
    // How many signals were started; the tests read it.
    int signals_started() const { return signals_started_; }

private:
    void play_queued();

    std::mutex lock_;
    std::condition_variable queued_changed_;
    int queued_ = 0;
    bool stopping_ = false;
    std::thread player_;
    int signals_started_ = 0;
};
